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

// Button texts in the box's order, the default one, and the answer the
// operator's key or click gives.
struct BoxCase {
  const char* name;
  bool question;
  PromptDefault preselected;
  const char* press; // a button's text to click, or "Escape" / "Return"
  QStringList buttons;
  QString defaultButton;
  bool answer;
};

TEST(MessageBoxPrompter, ButtonsAreGermanAndTheDefaultIsTheOneAsked) {
  const std::vector<BoxCase> cases{
      {"tell", false, PromptDefault::Yes, "Return", {"OK"}, "OK", false},
      {"ask, Ja clicked", true, PromptDefault::Yes, "&Ja", {"&Ja", "&Nein"}, "&Ja", true},
      {"ask, Enter on Ja", true, PromptDefault::Yes, "Return", {"&Ja", "&Nein"}, "&Ja", true},
      {"ask, Nein clicked", true, PromptDefault::Yes, "&Nein", {"&Ja", "&Nein"}, "&Ja", false},
      {"destructive, Enter on Nein", true, PromptDefault::No, "Return", {"&Ja", "&Nein"}, "&Nein", false},
      {"destructive, Ja clicked", true, PromptDefault::No, "&Ja", {"&Ja", "&Nein"}, "&Nein", true},
      {"ask, Escape", true, PromptDefault::Yes, "Escape", {"&Ja", "&Nein"}, "&Ja", false},
  };
  MessageBoxPrompter prompter;
  for (const BoxCase& c : cases) {
    SCOPED_TRACE(c.name);
    QStringList buttons;
    QString defaultButton;
    OnNextBox([&](QMessageBox& box) {
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
    const bool answer = c.question ? prompter.ask(PromptIcon::Question, "Ersetzen?", {}, c.preselected)
                                   : (prompter.tell(PromptIcon::Information, "Fertig"), false);
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
