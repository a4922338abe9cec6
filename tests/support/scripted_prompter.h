#pragma once
// A Prompter for tests: records every message and answers questions from a
// queue (No when the queue is empty).

#include <deque>
#include <string>
#include <vector>

#include "core/prompter.h"

namespace trelvan::testing {

class ScriptedPrompter : public Prompter {
 public:
  struct Message {
    PromptIcon icon;
    std::string text;
    std::string title;
    bool question;
    PromptDefault preselected = PromptDefault::Yes; // of a question
  };
  using Prompter::ask;
  using Prompter::tell;

  void tell(PromptIcon icon, const std::string& text, const std::string& title) override {
    messages.push_back({icon, text, title, false});
  }
  bool ask(PromptIcon icon, const std::string& text, const std::string& title,
           PromptDefault preselected) override {
    messages.push_back({icon, text, title, true, preselected});
    if (answers.empty()) return false;
    const bool a = answers.front();
    answers.pop_front();
    return a;
  }
  void beep() override { ++beeps; }

  std::vector<std::string> texts() const {
    std::vector<std::string> t;
    for (const auto& m : messages) t.push_back(m.text);
    return t;
  }

  std::deque<bool> answers;
  std::vector<Message> messages;
  int beeps = 0;
};

} // namespace trelvan::testing
