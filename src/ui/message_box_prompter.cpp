#include "message_box_prompter.h"

#include <QApplication>
#include <QMessageBox>

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

QString BoxTitle(const std::string& title) {
  return title.empty() ? MessageBoxPrompter::DefaultTitle() : QString::fromStdString(title);
}

} // namespace

MessageBoxPrompter::MessageBoxPrompter(QWidget* parent) : parent_(parent) {}

QString MessageBoxPrompter::DefaultTitle() { return QGuiApplication::applicationDisplayName(); }

QWidget* MessageBoxPrompter::BoxParent() const {
  return parent_ ? parent_.data() : QApplication::activeWindow();
}

void MessageBoxPrompter::tell(PromptIcon icon, const std::string& text, const std::string& title) {
  QMessageBox box(BoxIcon(icon), BoxTitle(title), QString::fromStdString(text), QMessageBox::Ok,
                  BoxParent());
  box.exec();
}

bool MessageBoxPrompter::ask(PromptIcon icon, const std::string& text, const std::string& title,
                             PromptDefault preselected) {
  QMessageBox box(BoxIcon(icon), BoxTitle(title), QString::fromStdString(text),
                  QMessageBox::Yes | QMessageBox::No, BoxParent());
  box.setDefaultButton(preselected == PromptDefault::Yes ? QMessageBox::Yes : QMessageBox::No);
  return box.exec() == QMessageBox::Yes;
}

void MessageBoxPrompter::beep() { QApplication::beep(); }

} // namespace trelvan
