#pragma once
// Every message the operator sees goes through this interface, so that tests
// can answer the questions and check the texts. The desktop implementation
// shows modal message boxes with the application's name as title.

#include <string>

namespace trelvan {

enum class PromptIcon { Information, Warning, Error, Question };
// The button a question's box preselects, the one Enter chooses. A question
// whose "Ja" destroys data preselects "Nein".
enum class PromptDefault { Yes, No };

class Prompter {
 public:
  virtual ~Prompter() = default;
  // A message with an OK button. An empty title means the application's name.
  virtual void tell(PromptIcon icon, const std::string& text, const std::string& title) = 0;
  // A Yes/No question; true for Yes.
  virtual bool ask(PromptIcon icon, const std::string& text, const std::string& title,
                   PromptDefault preselected) = 0;
  virtual void beep() = 0;

  void tell(PromptIcon icon, const std::string& text) { tell(icon, text, {}); }
  bool ask(PromptIcon icon, const std::string& text, const std::string& title) {
    return ask(icon, text, title, PromptDefault::Yes);
  }
  bool ask(PromptIcon icon, const std::string& text) { return ask(icon, text, {}, PromptDefault::Yes); }
};

} // namespace trelvan
