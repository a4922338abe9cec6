#include "ui/message_box_prompter.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <functional>

namespace trelvan {
namespace {

// Runs `act` on the message box as soon as one is up.
void OnNextBox(std::function<void(QMessageBox&)> act) {
  auto* poll = new QTimer;
  poll->setInterval(10);
  QObject::connect(poll, &QTimer::timeout, [poll, act] {
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
      poll->stop();
      poll->deleteLater();
      act(*box);
    }
  });
  poll->start();
}

// The box's title (the application's name unless one is given), icon, button
// texts, the default button, and the answer the operator's key or click gives.
struct BoxCase {
  const char* name;
  PromptIcon icon; // Question: asked, otherwise told
  std::string title;
  QMessageBox::Icon shownIcon;
  PromptDefault preselected;
  const char* press; // a button's text to click, or "Escape" / "Return"
  QStringList buttons;
  QString defaultButton;
  bool answer;
};

TEST(MessageBoxPrompter, ShowsTheTextUnderItsTitleWithGermanButtonsAndTheDefaultAsked) {
  const PromptIcon ask = PromptIcon::Question;
  const QMessageBox::Icon question = QMessageBox::Question;
  const PromptDefault yes = PromptDefault::Yes, no = PromptDefault::No;
  const QStringList jaNein{"&Ja", "&Nein"};
  const std::vector<BoxCase> cases{
      {"tell", PromptIcon::Warning, "", QMessageBox::Warning, yes, "Return", {"OK"}, "OK", false},
      {"tell, titled", PromptIcon::Error, "Export", QMessageBox::Critical, yes, "OK", {"OK"}, "OK", false},
      {"ask, Enter on Ja", ask, "", question, yes, "Return", jaNein, "&Ja", true},
      {"ask, Nein clicked", ask, "", question, yes, "&Nein", jaNein, "&Ja", false},
      {"destructive, Enter on Nein", ask, "", question, no, "Return", jaNein, "&Nein", false},
      {"destructive, Ja clicked", ask, "", question, no, "&Ja", jaNein, "&Nein", true},
      {"ask, Escape", ask, "", question, yes, "Escape", jaNein, "&Ja", false},
  };
  MessageBoxPrompter prompter;
  for (const BoxCase& c : cases) {
    SCOPED_TRACE(c.name);
    QStringList buttons;
    QString title, text, defaultButton;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    OnNextBox([&](QMessageBox& box) {
      title = box.windowTitle();
      text = box.text();
      icon = box.icon();
      for (QAbstractButton* b : box.buttons()) buttons << b->text();
      if (box.defaultButton()) defaultButton = box.defaultButton()->text();
      const QString press = c.press;
      if (press == "Escape" || press == "Return") {
        QTest::keyClick(&box, press == "Escape" ? Qt::Key_Escape : Qt::Key_Return);
        return;
      }
      for (QAbstractButton* b : box.buttons())
        if (b->text() == press) b->click();
      if (box.isVisible()) box.reject(); // no such button
    });
    const bool asked = c.icon == PromptIcon::Question;
    const bool answer = asked ? prompter.ask(c.icon, "Ersetzen?", c.title, c.preselected)
                              : (prompter.tell(c.icon, "Falsche Adresse", c.title), false);
    EXPECT_EQ(title, c.title.empty() ? "TRELVAN" : QString::fromStdString(c.title));
    EXPECT_EQ(text, asked ? "Ersetzen?" : "Falsche Adresse");
    EXPECT_EQ(icon, c.shownIcon);
    buttons.sort();
    QStringList expected = c.buttons;
    expected.sort();
    EXPECT_EQ(buttons, expected);
    EXPECT_EQ(defaultButton, c.defaultButton);
    EXPECT_EQ(answer, c.answer);
  }
}

} // namespace
} // namespace trelvan
