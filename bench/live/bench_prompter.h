#pragma once
// The benches' answer to every message: "no", and the text on stderr, so a
// run never waits for a person.
#include <cstdio>
#include <string>

#include "core/prompter.h"

namespace trelvan::bench {

class SilentPrompter : public Prompter {
 public:
  using Prompter::ask;
  using Prompter::tell;
  void tell(PromptIcon, const std::string& text, const std::string&) override { std::fprintf(stderr, "%s\n", text.c_str()); }
  bool ask(PromptIcon, const std::string&, const std::string&, PromptDefault) override { return false; }
  void beep() override {}
};

} // namespace trelvan::bench
