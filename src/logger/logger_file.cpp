#include "logger_file.h"

#include "core/catalogue.h"
#include "core/cp1252.h"
#include "number_text.h"

namespace trelvan {

namespace {

namespace layout = logger_layout;

const unsigned char* Bytes(std::string_view bytes) {
  return reinterpret_cast<const unsigned char*>(bytes.data());
}

std::array<std::uint8_t, 4> VolumeAt(const unsigned char* at) { return {at[0], at[1], at[2], at[3]}; }

// Bytes that must not reach a file name: they would name another folder, are
// refused by common file systems, or are control characters (0x81, 0x8D,
// 0x8F, 0x90 and 0x9D are unassigned in Windows-1252 and read as controls).
bool UnsafeInFileName(unsigned char c) {
  if (c < 0x20 || c == 0x7F) return true;
  switch (c) {
  case '/': case '\\': case ':': case '*': case '?': case '"': case '<': case '>': case '|':
  case 0x81: case 0x8D: case 0x8F: case 0x90: case 0x9D:
    return true;
  default:
    return false;
  }
}

} // namespace

std::optional<LoggerFileHeader> LoggerFileHeader::Parse(std::string_view bytes) {
  if (bytes.size() < kLoggerHeaderSize) return std::nullopt;
  const auto& one = layout::Channel(1);
  const auto& two = layout::Channel(2);
  LoggerFileHeader h;
  h.name1 = std::string(bytes.substr(one.name, kLoggerNameSize));
  h.name2 = std::string(bytes.substr(two.name, kLoggerNameSize));
  h.typeCode1 = std::string(bytes.substr(one.typeCode, 2));
  h.typeCode2 = std::string(bytes.substr(two.typeCode, 2));
  h.unitWord1 = Int16At(Bytes(bytes) + one.unitWord);
  h.unitWord2 = Int16At(Bytes(bytes) + two.unitWord);
  return h;
}

std::optional<LoggerRecord> LoggerRecord::Parse(std::string_view bytes) {
  if (bytes.size() < kLoggerRecordSize) return std::nullopt;
  const unsigned char* b = Bytes(bytes);
  const auto& one = layout::Channel(1);
  const auto& two = layout::Channel(2);
  LoggerRecord r;
  r.date = {b[layout::kDate], b[layout::kDate + 1], b[layout::kDate + 2]};
  r.hour = b[layout::kHour];
  r.minute = b[layout::kMinute];
  r.volume1 = VolumeAt(b + one.volume);
  r.primary1 = Int16At(b + one.primary);
  r.secondary1 = Int16At(b + one.secondary);
  r.volume2 = VolumeAt(b + two.volume);
  r.primary2 = Int16At(b + two.primary);
  r.secondary2 = Int16At(b + two.secondary);
  return r;
}

std::string DateText(const LoggerRecord& record) {
  char buf[8];
  char* p = number_text::AppendHex(buf, record.date[0]);
  *p++ = '/';
  p = number_text::AppendHex(p, record.date[1]);
  *p++ = '/';
  p = number_text::AppendHex(p, record.date[2]);
  return {buf, p};
}

std::string TimeText(const LoggerRecord& record) {
  char buf[5];
  char* p = number_text::AppendHex(buf, record.hour);
  *p++ = ':';
  p = number_text::AppendHex(p, record.minute);
  return {buf, p};
}

std::string VolumeText(const std::array<std::uint8_t, 4>& volume) {
  std::string text;
  for (int i = 3; i >= 0; --i) {
    char two[2];
    number_text::AppendHex2(two, volume[static_cast<std::size_t>(i)]);
    text.append(two, 2);
  }
  return text;
}

LoggerChannelLayout LayoutForChannel(std::string_view typeCode, std::int16_t unitWord,
                                     int channel) {
  LoggerChannelLayout layout;
  layout.typeName = TypeNameFromCode(typeCode);
  const MeasurementType* type = MeasurementTypeForCode(typeCode);
  if (!type || type->unitRule == UnitRule::None) {
    // No unit rule: the unit is unknown, so the value stays as logged. The
    // second value keeps its usual tenths.
    return layout;
  }
  const DecodedUnit unit = DecodeUnit(type->unitRule, unitWord);
  layout.firstDivisor = unit.divisor;
  if (type->typeIndex == kDualResistivityTypeIndex) {
    // Two resistivities: the second one in hundredths, labelled MOhm on
    // channel 1 and with the first one's unit on channel 2.
    layout.secondDivisor = 100;
    layout.unitColumns = unit.unitText + "\t" + (channel == 1 ? "MOhm" : unit.unitText);
    return layout;
  }
  layout.unitColumns = unit.unitText + "\t°C";
  if (type->typeIndex == kFlowTypeIndex) {
    layout.unitColumns += "\tGesamtvolumen M3";
    layout.withVolume = true;
  }
  return layout;
}

std::string OutputHeaderBlock(std::string_view nameField, const LoggerChannelLayout& layout) {
  std::string block = "Logger : ";
  block += nameField;
  block += "\r\n\r\n";
  block += Utf8ToCp1252Lossy(layout.typeName);
  block += "\r\n\r\nDatum\tUhr\t";
  block += Utf8ToCp1252Lossy(layout.unitColumns);
  block += "\r\n";
  return block;
}

std::string OutputFileName(std::string_view typeName, std::string_view nameField) {
  std::string_view name = nameField.substr(0, kLoggerNameSize - 1);
  while (!name.empty() && name.front() == ' ') name.remove_prefix(1);
  while (!name.empty() && (name.back() == ' ' || name.back() == '\0')) name.remove_suffix(1);
  std::string safe(name);
  for (char& c : safe)
    if (UnsafeInFileName(static_cast<unsigned char>(c))) c = '_';
  return std::string(typeName) + "_" + Cp1252ToUtf8(safe) + ".xls";
}

std::string FormatQuotient(int raw, int divisor, std::string_view decimalSeparator) {
  std::string text(16 + decimalSeparator.size(), '\0');
  char* end = number_text::AppendQuotient(text.data(), raw, number_text::DecimalsOf(divisor),
                                          decimalSeparator);
  text.resize(static_cast<std::size_t>(end - text.data()));
  return text;
}

std::string ProgressText(std::uint64_t position, const LoggerRecord& record,
                         bool channel1WithVolume) {
  std::string text = std::to_string(position);
  text += " : ";
  text += DateText(record);
  text += ' ';
  text += TimeText(record);
  text += "  ";
  text += std::to_string(record.primary1);
  text += ' ';
  text += std::to_string(record.secondary1);
  text += ' ';
  if (channel1WithVolume) text += VolumeText(record.volume1);
  return text;
}

} // namespace trelvan
