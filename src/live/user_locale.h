#pragma once
// The decimal separator of the user's number settings (LC_NUMERIC); "." in the
// C locale, and where the locale's would not pass DecimalSeparatorProblem.
// Read once per program (the application, a command) and handed down;
// everything below takes the separator as a parameter.

#include <string>

namespace trelvan {

std::string UserDecimalSeparator();

} // namespace trelvan
