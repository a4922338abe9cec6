#pragma once
// Blanks around a piece of text: spaces, tabs and line ends.

#include <string_view>

namespace trelvan {

constexpr std::string_view Trim(std::string_view s) {
  constexpr std::string_view kBlanks = " \t\r\n";
  const std::size_t first = s.find_first_not_of(kBlanks);
  if (first == std::string_view::npos) return {};
  return s.substr(first, s.find_last_not_of(kBlanks) - first + 1);
}

} // namespace trelvan
