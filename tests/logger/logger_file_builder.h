#pragma once
// Builds logger files byte by byte, the way the station's logger lays them
// out: a 58-byte header, then 21-byte records, 16-bit values little-endian.
// The bytes the export must ignore are filled with 0xEE.

#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>

namespace trelvan::testing {

struct RecordBytes {
  std::uint8_t day = 0x25, month = 0x03, year = 0x12;
  std::uint8_t hour = 0x09, minute = 0x05;
  std::uint32_t volume1 = 0; // written least significant byte first: 0x00012345
  std::int16_t primary1 = 0, secondary1 = 0;
  std::uint32_t volume2 = 0;
  std::int16_t primary2 = 0, secondary2 = 0;
};

class LoggerFileBuilder {
 public:
  LoggerFileBuilder() : header_(58, '\xEE') { channel1("03", "", 0).channel2("  ", "", 0); }

  // The name is padded with blanks to 16 bytes (longer names are cut).
  LoggerFileBuilder& channel1(std::string_view code, std::string_view name, std::int16_t unit) {
    return Channel(0, code, name, unit);
  }
  LoggerFileBuilder& channel2(std::string_view code, std::string_view name, std::int16_t unit) {
    return Channel(1, code, name, unit);
  }
  LoggerFileBuilder& record(const RecordBytes& r) {
    Append(r.day, r.month, r.year, r.hour, r.minute, r.volume1, r.primary1, r.secondary1, r.volume2, r.primary2,
        r.secondary2);
    return *this;
  }
  LoggerFileBuilder& emptyRecord() { records_.append(21, '\0'); return *this; }
  std::string bytes() const { return header_ + records_; }

 private:
  LoggerFileBuilder& Channel(int channel, std::string_view code, std::string_view name, std::int16_t unit) {
    std::string field(name.substr(0, 16));
    field.resize(16, ' ');
    header_.replace(channel == 0 ? 0 : 18, 16, field);
    header_.replace(channel == 0 ? 36 : 38, 2, std::string(code).append(2, ' ').substr(0, 2));
    const auto u = static_cast<std::uint16_t>(unit);
    header_[channel == 0 ? 42 : 44] = static_cast<char>(u & 0xFF);
    header_[channel == 0 ? 43 : 45] = static_cast<char>(u >> 8);
    return *this;
  }
  // Each value least significant byte first.
  template <class... T>
  void Append(T... values) {
    auto one = [this](auto v) {
      for (std::size_t i = 0; i < sizeof v; ++i)
        records_ += static_cast<char>(static_cast<std::make_unsigned_t<decltype(v)>>(v) >> (8 * i));
    };
    (one(values), ...);
  }

  std::string header_;
  std::string records_;
};

} // namespace trelvan::testing
