#include "user_locale.h"

#include <QLocale>

#include "core/decimal_separator.h"

namespace trelvan {

std::string UserDecimalSeparator() {
  // QLocale reads LC_ALL, LC_NUMERIC and LANG itself, so the operator's
  // setting counts even where the C library has no such locale installed.
  std::string separator = QLocale::system().decimalPoint().toStdString();
  // A locale whose separator could be misread as part of a number (a custom
  // one, a broken one) gives way to the C locale's.
  if (DecimalSeparatorProblem(separator)) separator = ".";
  return separator;
}

} // namespace trelvan
