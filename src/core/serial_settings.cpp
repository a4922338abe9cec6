#include "serial_settings.h"

#include <optional>

#include "text_file.h"
#include "texts.h"

namespace trelvan {

namespace {

namespace txt = core_texts;

// Print notation: a blank in place of a plus sign, the digits, one trailing blank.
std::string PrintNumber(int n) {
  return (n < 0 ? "-" : " ") + std::to_string(n < 0 ? -n : n) + " ";
}

} // namespace

void SerialSettings::SetSpeed(int index) {
  speedIndex = static_cast<std::int16_t>(index);
  speedText = index >= 0 && index < 3 ? std::string(kSpeedTexts[static_cast<std::size_t>(index)]) : "";
}

void SerialSettings::SetParity(int index) {
  parityIndex = static_cast<std::int16_t>(index);
  parityLetter = index >= 0 && index < 4 ? std::string(ParityLetters[static_cast<std::size_t>(index)]) : "";
}

void SerialSettings::SetStopBits(int index) {
  stopBitsIndex = static_cast<std::int16_t>(index);
  stopBitsText = index >= 0 && index < 2 ? StopBitsPiece(index) : "";
}

void SerialSettings::SetTextsFromIndexes() {
  SetSpeed(speedIndex);
  SetParity(parityIndex);
  SetStopBits(stopBitsIndex);
  dataBitsText = "8";
}

std::string StopBitsPiece(int index) {
  const int bits = index + 1;
  return (bits < 0 ? "-" : " ") + std::to_string(bits < 0 ? -bits : bits);
}

std::string SettingsText(const SerialSettings& s) {
  return s.speedText + "," + s.parityLetter + "," + s.dataBitsText + "," + s.stopBitsText;
}

std::string FormatSerialFile(const SerialSettings& s) {
  // Line 1: the port in the first print zone, the speed index in the second
  // (zones are 14 characters wide): " 1" + 13 blanks + "0 " for Com1, 9600.
  std::string line1 = PrintNumber(s.portNumber);
  const std::size_t zone = 14;
  line1.append((zone - line1.size() % zone) % zone, ' ');
  line1 += PrintNumber(s.speedIndex);
  return line1 + "\r\n" + PrintNumber(s.parityIndex) + "\r\n" + PrintNumber(s.stopBitsIndex) + "\r\n";
}

ConfigStatus ParseSerialFile(SerialSettings& settings, std::string_view bytes) {
  SerialSettings read; // defaults for whatever cannot be read
  std::string firstProblem;
  auto problem = [&](int line, std::string_view field, const std::string& what) {
    if (firstProblem.empty()) firstProblem = txt::FieldProblem(line, field, what);
  };

  struct Field {
    std::string_view name;
    int lo, hi;
    std::int16_t SerialSettings::*target;
  };
  const Field fields[] = {
      {txt::kPort, 1, 4, &SerialSettings::portNumber},
      {txt::kSpeed, 0, 2, &SerialSettings::speedIndex},
      {txt::kParity, 0, 2, &SerialSettings::parityIndex},
      {txt::kStopBits, 0, 1, &SerialSettings::stopBitsIndex},
  };
  FieldReader reader(bytes, /*blankSeparates=*/true);
  for (const Field& field : fields) {
    auto f = reader.Next();
    if (!f) {
      problem(reader.line(), field.name, std::string(txt::kFileEndsEarly));
      break;
    }
    auto n = f->quoted ? std::nullopt : ParseWholeNumber(f->text);
    if (!n)
      problem(f->line, field.name, txt::FoundInsteadOf(f->text, f->quoted, txt::kANumber));
    else if (*n < field.lo || *n > field.hi)
      problem(f->line, field.name, txt::OutOfRange(*n, field.lo, field.hi));
    else
      read.*field.target = static_cast<std::int16_t>(*n);
  }
  read.SetTextsFromIndexes();
  settings = read;
  if (firstProblem.empty()) return {};
  return {ConfigStatus::Kind::Invalid, txt::FileFaulty(kSerialFileName, firstProblem)};
}

ConfigStatus LoadSerialSettings(SerialSettings& settings, const std::filesystem::path& folder) {
  const FileBytes file = ReadSmallFile(folder / kSerialFileName);
  if (file.status == ReadStatus::Missing) {
    settings = SerialSettings{};
    return {ConfigStatus::Kind::Missing, txt::FileMissing(kSerialFileName, txt::kSerialDefaults)};
  }
  if (file.status == ReadStatus::Unreadable) {
    settings = SerialSettings{};
    return {ConfigStatus::Kind::IoError,
            txt::FileUnreadable(kSerialFileName, file.reason, txt::kSerialDefaults)};
  }
  return ParseSerialFile(settings, file.bytes);
}

ConfigStatus SaveSerialSettings(const SerialSettings& settings, const std::filesystem::path& folder) {
  return WriteFileAtomically(folder / kSerialFileName, FormatSerialFile(settings));
}

} // namespace trelvan
