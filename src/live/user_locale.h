#pragma once
// The decimal separator of the user's number settings (LC_NUMERIC); "." in the
// C locale. Only the shells ask; everything below takes the separator as a
// parameter.

#include <string>

namespace trelvan {

std::string UserDecimalSeparator();

} // namespace trelvan
