#include "user_locale.h"

#include <QLocale>

namespace trelvan {

std::string UserDecimalSeparator() {
  // QLocale reads LC_ALL, LC_NUMERIC and LANG itself, so the operator's
  // setting counts even where the C library has no such locale installed.
  return QLocale::system().decimalPoint().toStdString();
}

} // namespace trelvan
