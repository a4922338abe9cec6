#include "ui/message_box_prompter.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
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

TEST(MessageBoxPrompter, ShowsTheTextWithItsIconUnderTheApplicationsName) {
  MessageBoxPrompter prompter;
  QString title, text;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  OnNextBox([&](QMessageBox& box) {
    title = box.windowTitle();
    text = box.text();
    icon = box.icon();
    box.button(QMessageBox::Ok)->click();
  });
  prompter.tell(PromptIcon::Warning, "Falsche Adresse");
  EXPECT_EQ(title, "TRELVAN");
  EXPECT_EQ(text, "Falsche Adresse");
  EXPECT_EQ(icon, QMessageBox::Warning);

  OnNextBox([&](QMessageBox& box) {
    title = box.windowTitle();
    icon = box.icon();
    box.button(QMessageBox::Ok)->click();
  });
  prompter.tell(PromptIcon::Error, "kaputt", "Export");
  EXPECT_EQ(title, "Export");
  EXPECT_EQ(icon, QMessageBox::Critical);
}

TEST(MessageBoxPrompter, AskAnswersYesOrNo) {
  MessageBoxPrompter prompter;
  for (auto [button, answer] : {std::pair{QMessageBox::Yes, true}, std::pair{QMessageBox::No, false}}) {
    OnNextBox([button = button](QMessageBox& box) { box.button(button)->click(); });
    EXPECT_EQ(prompter.ask(PromptIcon::Question, "Ersetzen?"), answer);
  }
}

} // namespace
} // namespace trelvan
