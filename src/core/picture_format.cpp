#include "picture_format.h"

#include <charconv>
#include <cmath>
#include <cstdlib>

namespace trelvan {

namespace {

bool IsDigitPlace(char c) { return c == '0' || c == '#'; }

// A decimal number as digits and a power of ten: value = digits * 10^-scale.
struct Decimal {
  bool negative = false;
  std::string digits; // no leading zeros except a lone "0"
  int scale = 0;      // digits after the point
};

Decimal ToDecimal(double value) {
  Decimal d;
  if (!std::isfinite(value)) value = 0;
  char buf[512]; // the longest fixed text of a double is 309 digits and a sign
  // Shortest text that reads back as the same double, in plain notation.
  auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed);
  std::string_view text(buf, static_cast<std::size_t>(res.ptr - buf));
  if (!text.empty() && text.front() == '-') {
    d.negative = true;
    text.remove_prefix(1);
  }
  auto point = text.find('.');
  if (point == std::string_view::npos) {
    d.digits = std::string(text);
  } else {
    d.digits = std::string(text.substr(0, point)) + std::string(text.substr(point + 1));
    d.scale = static_cast<int>(text.size() - point - 1);
  }
  return d;
}

// Rounds to `places` digits after the point, half away from zero.
void RoundTo(Decimal& d, int places) {
  if (d.scale <= places) {
    d.digits.append(static_cast<std::size_t>(places - d.scale), '0');
    d.scale = places;
    return;
  }
  const std::size_t keep = d.digits.size() - static_cast<std::size_t>(d.scale - places);
  const bool roundUp = d.digits[keep] >= '5';
  d.digits.resize(keep);
  d.scale = places;
  if (roundUp) {
    int i = static_cast<int>(d.digits.size()) - 1;
    for (; i >= 0; --i) {
      if (d.digits[static_cast<std::size_t>(i)] == '9') {
        d.digits[static_cast<std::size_t>(i)] = '0';
      } else {
        ++d.digits[static_cast<std::size_t>(i)];
        break;
      }
    }
    if (i < 0) d.digits.insert(d.digits.begin(), '1');
  }
}

} // namespace

std::string FormatPicture(double value, std::string_view pattern,
                          std::string_view decimalSeparator) {
  // The number section runs from the first to the last digit place or point.
  std::size_t first = std::string_view::npos, last = 0;
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    if (IsDigitPlace(pattern[i]) || pattern[i] == '.') {
      if (first == std::string_view::npos) first = i;
      last = i;
    }
  }
  const bool percent = pattern.find('%') != std::string_view::npos;

  Decimal d = ToDecimal(value);
  if (percent) d.scale -= 2; // times 100, exactly
  if (d.scale < 0) {
    d.digits.append(static_cast<std::size_t>(-d.scale), '0');
    d.scale = 0;
  }

  if (first == std::string_view::npos) {
    // No digit places: the pattern prints as it stands.
    return std::string(pattern);
  }

  const std::string_view number = pattern.substr(first, last - first + 1);
  const auto point = number.find('.');
  const std::string_view intPart = number.substr(0, point);
  const std::string_view fracPart =
      point == std::string_view::npos ? std::string_view{} : number.substr(point + 1);

  int fracPlaces = 0, fracForced = 0;
  for (std::size_t i = 0; i < fracPart.size(); ++i) {
    if (!IsDigitPlace(fracPart[i])) continue;
    ++fracPlaces;
    if (fracPart[i] == '0') fracForced = fracPlaces;
  }
  int intForced = 0;
  {
    bool seenZero = false;
    for (char c : intPart) {
      if (c == '0') seenZero = true;
      if (seenZero && IsDigitPlace(c)) ++intForced;
    }
  }

  RoundTo(d, fracPlaces);
  std::string intDigits = d.digits.substr(0, d.digits.size() - static_cast<std::size_t>(d.scale));
  std::string fracDigits = d.digits.substr(d.digits.size() - static_cast<std::size_t>(d.scale));
  while (!intDigits.empty() && intDigits.front() == '0') intDigits.erase(intDigits.begin());
  if (static_cast<int>(intDigits.size()) < intForced)
    intDigits.insert(0, static_cast<std::size_t>(intForced) - intDigits.size(), '0');
  while (static_cast<int>(fracDigits.size()) > fracForced && !fracDigits.empty() &&
         fracDigits.back() == '0')
    fracDigits.pop_back();

  const bool isZero = d.digits.find_first_not_of('0') == std::string::npos;

  std::string out(pattern.substr(0, first));
  if (d.negative && !isZero) out += '-';
  out += intDigits;
  if (point != std::string_view::npos && !fracDigits.empty()) {
    out += decimalSeparator;
    out += fracDigits;
  }
  out += pattern.substr(last + 1);
  return out;
}

} // namespace trelvan
