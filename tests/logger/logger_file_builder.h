#pragma once
// Builds logger files byte by byte, the way the station's logger lays them
// out: a 58-byte header, then 21-byte records, 16-bit values little-endian.
// The bytes the export must ignore are filled with 0xEE.

#include <cstdint>
#include <string>
#include <string_view>

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
  LoggerFileBuilder() : header_(58, '\xEE') {
    channel1("03", "", 0);
    channel2("  ", "", 0);
  }

  // The name is padded with blanks to 16 bytes (longer names are cut).
  LoggerFileBuilder& channel1(std::string_view code, std::string_view name, std::int16_t unit) {
    Put(0, code, name, unit);
    return *this;
  }
  LoggerFileBuilder& channel2(std::string_view code, std::string_view name, std::int16_t unit) {
    Put(1, code, name, unit);
    return *this;
  }
  LoggerFileBuilder& record(const RecordBytes& r) {
    Byte(r.day); Byte(r.month); Byte(r.year); Byte(r.hour); Byte(r.minute);
    U32(r.volume1); I16(r.primary1); I16(r.secondary1);
    U32(r.volume2); I16(r.primary2); I16(r.secondary2);
    return *this;
  }
  LoggerFileBuilder& emptyRecord() {
    records_.append(21, '\0');
    return *this;
  }
  LoggerFileBuilder& raw(std::string_view bytes) {
    records_.append(bytes);
    return *this;
  }
  std::string bytes() const { return header_ + records_; }

 private:
  void Put(int channel, std::string_view code, std::string_view name, std::int16_t unit) {
    std::string field(name.substr(0, 16));
    field.resize(16, ' ');
    header_.replace(channel == 0 ? 0 : 18, 16, field);
    header_.replace(channel == 0 ? 36 : 38, 2, std::string(code).append(2, ' ').substr(0, 2));
    const auto u = static_cast<std::uint16_t>(unit);
    header_[channel == 0 ? 42 : 44] = static_cast<char>(u & 0xFF);
    header_[channel == 0 ? 43 : 45] = static_cast<char>(u >> 8);
  }
  void Byte(std::uint8_t b) { records_ += static_cast<char>(b); }
  void I16(std::int16_t v) {
    const auto u = static_cast<std::uint16_t>(v);
    Byte(static_cast<std::uint8_t>(u & 0xFF));
    Byte(static_cast<std::uint8_t>(u >> 8));
  }
  void U32(std::uint32_t v) {
    for (int i = 0; i < 4; ++i) Byte(static_cast<std::uint8_t>(v >> (8 * i)));
  }

  std::string header_;
  std::string records_;
};

} // namespace trelvan::testing
