#pragma once
// The desktop's Prompter: modal message boxes over the active window, titled
// with the application's name unless the caller gives a title. The buttons
// carry German texts of their own ("OK", "&Ja", "&Nein"), so the boxes read
// the same on any machine, whatever its language and translation files.

#include <QPointer>
#include <QString>
#include <QWidget>

#include "core/prompter.h"

namespace trelvan {

class MessageBoxPrompter : public Prompter {
 public:
  // `parent` owns the boxes; without one they stand over the active window.
  explicit MessageBoxPrompter(QWidget* parent = nullptr);

  using Prompter::ask;
  using Prompter::tell;
  void tell(PromptIcon icon, const std::string& text, const std::string& title) override;
  // "Ja" and "Nein", `preselected` the default button; Escape answers "Nein".
  bool ask(PromptIcon icon, const std::string& text, const std::string& title,
           PromptDefault preselected) override;
  void beep() override;

  // The title an empty one stands for: the application's display name.
  static QString DefaultTitle();

 private:
  QWidget* BoxParent() const;

  QPointer<QWidget> parent_;
};

} // namespace trelvan
