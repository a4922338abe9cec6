#pragma once
// The decimal separator of shown and exported numbers. Whatever it comes from
// (the user's locale, a command-line option) it is checked here, once: one
// character that cannot be read as part of a number or as a gap between
// fields, so "7,23" or "7.23" can never turn into "723" or "7523".

#include <optional>
#include <string>
#include <string_view>

namespace trelvan {

// The German reason `separator` cannot serve (empty, more than one character,
// a digit, a sign, a blank or a control character), or nothing when it can.
// `separator` is UTF-8.
std::optional<std::string> DecimalSeparatorProblem(std::string_view separator);

} // namespace trelvan
