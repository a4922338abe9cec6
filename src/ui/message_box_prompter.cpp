#include "message_box_prompter.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

namespace trelvan {

namespace {

QMessageBox::Icon BoxIcon(PromptIcon icon) {
  switch (icon) {
    case PromptIcon::Information: return QMessageBox::Information;
    case PromptIcon::Warning: return QMessageBox::Warning;
    case PromptIcon::Error: return QMessageBox::Critical;
    case PromptIcon::Question: return QMessageBox::Question;
  }
  return QMessageBox::NoIcon;
}

// A box without buttons yet; the callers add theirs with German texts.
std::unique_ptr<QMessageBox> Box(PromptIcon icon, const std::string& text, const std::string& title,
                                 QWidget* parent) {
  const QString caption = title.empty() ? MessageBoxPrompter::DefaultTitle() : QString::fromStdString(title);
  return std::make_unique<QMessageBox>(BoxIcon(icon), caption, QString::fromStdString(text),
                                       QMessageBox::NoButton, parent);
}

} // namespace

MessageBoxPrompter::MessageBoxPrompter(QWidget* parent) : parent_(parent) {}

QString MessageBoxPrompter::DefaultTitle() { return QGuiApplication::applicationDisplayName(); }

QWidget* MessageBoxPrompter::BoxParent() const {
  return parent_ ? parent_.data() : QApplication::activeWindow();
}

void MessageBoxPrompter::tell(PromptIcon icon, const std::string& text, const std::string& title) {
  const auto box = Box(icon, text, title, BoxParent());
  QPushButton* ok = box->addButton(QMessageBox::Ok);
  ok->setText("OK");
  box->setDefaultButton(ok);
  box->exec();
}

bool MessageBoxPrompter::ask(PromptIcon icon, const std::string& text, const std::string& title,
                             PromptDefault preselected) {
  const auto box = Box(icon, text, title, BoxParent());
  QPushButton* yes = box->addButton(QMessageBox::Yes);
  QPushButton* no = box->addButton(QMessageBox::No);
  yes->setText("&Ja");
  no->setText("&Nein");
  box->setDefaultButton(preselected == PromptDefault::Yes ? yes : no);
  box->setEscapeButton(no);
  box->exec();
  return box->clickedButton() == yes;
}

void MessageBoxPrompter::beep() { QApplication::beep(); }

} // namespace trelvan
