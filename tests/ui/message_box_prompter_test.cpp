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

// The box's title (the application's name unless one is given), icon, German
// button texts, the default button, and the answer the operator's key or
// click gives.
TEST(MessageBoxPrompter, ShowsTheTextUnderTheTitleWithGermanButtonsAndTheDefaultAsked) {
  struct Case {
    const char* name;
    bool asked;
    std::string title; // empty: the application's name
    PromptDefault preselected;
    const char* press; // a button's text to click, or "Escape" / "Return"
    QString defaultButton;
    bool answer;
  };
  const PromptDefault yes = PromptDefault::Yes, no = PromptDefault::No;
  const Case cases[] = {
      {"tell, titled", false, "Export", yes, "Return", "OK", false},
      {"ask, Enter on Ja", true, "", yes, "Return", "&Ja", true},
      {"ask, Nein clicked", true, "", yes, "&Nein", "&Ja", false},
      {"ask, Escape", true, "", yes, "Escape", "&Ja", false},
      {"destructive, Enter on Nein", true, "", no, "Return", "&Nein", false},
      {"destructive, Ja clicked", true, "", no, "&Ja", "&Nein", true},
  };
  MessageBoxPrompter prompter;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    bool shown = false;
    OnNextBox([&](QMessageBox& box) {
      shown = true;
      EXPECT_EQ(box.windowTitle(), c.title.empty() ? "TRELVAN" : QString::fromStdString(c.title));
      EXPECT_EQ(box.text(), c.asked ? "Ersetzen?" : "Falsche Adresse");
      EXPECT_EQ(box.icon(), c.asked ? QMessageBox::Question : QMessageBox::Critical);
      QStringList buttons;
      for (QAbstractButton* b : box.buttons()) buttons << b->text();
      buttons.sort();
      EXPECT_EQ(buttons, (c.asked ? QStringList{"&Ja", "&Nein"} : QStringList{"OK"}));
      EXPECT_EQ(box.defaultButton() ? box.defaultButton()->text() : "", c.defaultButton);
      const QString press = c.press;
      if (press == "Escape" || press == "Return")
        return QTest::keyClick(&box, press == "Escape" ? Qt::Key_Escape : Qt::Key_Return);
      for (QAbstractButton* b : box.buttons())
        if (b->text() == press) b->click();
      if (box.isVisible()) box.reject(); // no such button
    });
    const bool answer = c.asked ? prompter.ask(PromptIcon::Question, "Ersetzen?", c.title, c.preselected)
                                : (prompter.tell(PromptIcon::Error, "Falsche Adresse", c.title), false);
    EXPECT_TRUE(shown);
    EXPECT_EQ(answer, c.answer);
  }
}

} // namespace
} // namespace trelvan
