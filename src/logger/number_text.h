#pragma once
// Writers behind the export's hot loop: each appends at `out` and returns the
// new end. The caller guarantees the room: at most 14 bytes plus the
// separator per call (sign, ten digits, three decimals).

#include <charconv>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace trelvan::number_text {

inline constexpr char kHexDigits[] = "0123456789ABCDEF";

// Plain decimal digits. std::to_chars measured as fast as a table of digit
// pairs on the export benchmark, so there is none.
inline char* AppendUnsigned(char* out, std::uint32_t v) {
  return std::to_chars(out, out + 10, v).ptr;
}

// Uppercase hexadecimal without leading zero: 0x05 -> "5", 0x1A -> "1A".
inline char* AppendHex(char* out, std::uint8_t b) {
  if (b >= 0x10) *out++ = kHexDigits[b >> 4];
  *out++ = kHexDigits[b & 0x0F];
  return out;
}

// Exactly two uppercase hexadecimal digits.
inline char* AppendHex2(char* out, std::uint8_t b) {
  out[0] = kHexDigits[b >> 4];
  out[1] = kHexDigits[b & 0x0F];
  return out + 2;
}

// Decimal places of a divisor 1, 10, 100 or 1000; any other divisor is
// treated as 1, so a value is never divided by something it was not meant for.
inline int DecimalsOf(int divisor) {
  switch (divisor) {
  case 10: return 1;
  case 100: return 2;
  case 1000: return 3;
  default: return 0;
  }
}

// raw / 10^Decimals as exact decimal text. The divisions are by constants, so
// the compiler turns them into multiplications.
template <int Decimals>
inline char* AppendQuotientT(char* out, std::int32_t raw, std::string_view separator) {
  std::uint32_t v;
  if (raw < 0) {
    *out++ = '-';
    v = static_cast<std::uint32_t>(-static_cast<std::int64_t>(raw));
  } else {
    v = static_cast<std::uint32_t>(raw);
  }
  if constexpr (Decimals == 0) {
    return AppendUnsigned(out, v);
  } else {
    constexpr std::uint32_t kScale = Decimals == 1 ? 10 : Decimals == 2 ? 100 : 1000;
    out = AppendUnsigned(out, v / kScale);
    std::uint32_t frac = v % kScale;
    if (frac == 0) return out;
    int places = Decimals;
    while (frac % 10 == 0) {
      frac /= 10;
      --places;
    }
    std::memcpy(out, separator.data(), separator.size());
    out += separator.size();
    for (int i = places - 1; i >= 0; --i) {
      out[i] = static_cast<char>('0' + frac % 10);
      frac /= 10;
    }
    return out + places;
  }
}

inline char* AppendQuotient(char* out, std::int32_t raw, int decimals,
                            std::string_view separator) {
  switch (decimals) {
  case 1: return AppendQuotientT<1>(out, raw, separator);
  case 2: return AppendQuotientT<2>(out, raw, separator);
  case 3: return AppendQuotientT<3>(out, raw, separator);
  default: return AppendQuotientT<0>(out, raw, separator);
  }
}

} // namespace trelvan::number_text
