#include "decimal_separator.h"

namespace trelvan {

namespace {

// Bytes of the UTF-8 character that starts with `lead`; 0 for a byte that
// cannot start one.
int Utf8Length(unsigned char lead) {
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF) return 2;
  if (lead >= 0xE0 && lead <= 0xEF) return 3;
  if (lead >= 0xF0 && lead <= 0xF4) return 4;
  return 0;
}

bool IsContinuation(unsigned char c) { return (c & 0xC0) == 0x80; }

} // namespace

std::optional<std::string> DecimalSeparatorProblem(std::string_view separator) {
  const std::string rule =
      " Erlaubt ist ein einzelnes Zeichen, keine Ziffer, kein Vorzeichen und kein Leerzeichen.";
  if (separator.empty()) return "Das Dezimaltrennzeichen ist leer." + rule;
  const int length = Utf8Length(static_cast<unsigned char>(separator[0]));
  bool wellFormed = length != 0 && separator.size() == static_cast<std::size_t>(length);
  for (std::size_t i = 1; wellFormed && i < separator.size(); ++i)
    wellFormed = IsContinuation(static_cast<unsigned char>(separator[i]));
  const std::string quoted = "\"" + std::string(separator.substr(0, 16)) +
                             (separator.size() > 16 ? "…" : "") + "\"";
  if (!wellFormed) return "Das Dezimaltrennzeichen " + quoted + " ist nicht ein einzelnes Zeichen." + rule;
  if (length == 1) {
    const unsigned char c = static_cast<unsigned char>(separator[0]);
    if (c >= '0' && c <= '9') return "Das Dezimaltrennzeichen " + quoted + " ist eine Ziffer." + rule;
    if (c == '+' || c == '-') return "Das Dezimaltrennzeichen " + quoted + " ist ein Vorzeichen." + rule;
    if (c <= 0x20 || c == 0x7F) return "Das Dezimaltrennzeichen ist ein Leer- oder Steuerzeichen." + rule;
  } else if (separator == "\u00A0" || separator == "\u202F" || separator == "\u2009" ||
             separator == "\u2212") {
    // Blanks a locale may use between digit groups, and the minus sign.
    return "Das Dezimaltrennzeichen " + quoted + " ist ein Leerzeichen oder Vorzeichen." + rule;
  }
  return std::nullopt;
}

} // namespace trelvan
