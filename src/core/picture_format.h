#pragma once
// Picture patterns: "0" a digit place that always prints, "#" a digit place that
// prints only a significant digit, "." the decimal point, "%" multiplies by 100
// and prints where it stands; every other character prints as it stands.

#include <string>
#include <string_view>

namespace trelvan {

// Renders value by pattern. The decimal point prints as decimalSeparator.
// Rounding is half away from zero on the shortest decimal text of the value
// (0.125 with two places gives 0.13), so binary fractions never tip a digit.
std::string FormatPicture(double value, std::string_view pattern,
                          std::string_view decimalSeparator = ".");

} // namespace trelvan
