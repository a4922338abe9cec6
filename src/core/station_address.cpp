#include "station_address.h"

#include <charconv>
#include <cmath>

#include "core/trim.h"

namespace trelvan {

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The decimal number at the start of `text` ("3abc" -> 3, "2.6" -> 2.6, "" -> 0).
double LeadingNumber(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  std::size_t end = i;
  if (end < text.size() && (text[end] == '-' || text[end] == '+')) ++end;
  const std::size_t digitsStart = end;
  while (end < text.size() && IsDigit(text[end])) ++end;
  if (end < text.size() && text[end] == '.') {
    ++end;
    while (end < text.size() && IsDigit(text[end])) ++end;
  }
  if (end == digitsStart) return 0;
  std::string_view number = text.substr(i, end - i);
  if (number.front() == '+') number.remove_prefix(1);
  double value = 0;
  const auto [ptr, ec] = std::from_chars(number.data(), number.data() + number.size(), value);
  (void)ptr;
  return ec == std::errc() ? value : 0;
}

} // namespace

std::optional<int> StationNumber(std::string_view addressText) {
  const double number = std::round(LeadingNumber(addressText));
  if (!(number >= kFirstStation && number <= kLastStation)) return std::nullopt;
  return static_cast<int>(number);
}

bool IsConfigurableStationAddress(std::string_view addressText) {
  const std::string_view text = Trim(addressText);
  std::size_t i = 0;
  long whole = 0;
  for (; i < text.size() && IsDigit(text[i]); ++i) {
    whole = whole * 10 + (text[i] - '0');
    if (whole > kLastConfigurableStation) return false;
  }
  if (i == 0) return false;
  if (i < text.size() && text[i] == '.') {
    for (++i; i < text.size(); ++i)
      if (text[i] != '0') return false;
  }
  return i == text.size() && whole >= kFirstStation;
}

} // namespace trelvan
