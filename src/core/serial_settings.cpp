#include "serial_settings.h"

#include <optional>

#include "cp1252.h"
#include "text_file.h"

namespace trelvan {

namespace {

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
    if (firstProblem.empty())
      firstProblem = "Die Datei \"PortCom.dat\" ist fehlerhaft: Zeile " + std::to_string(line) +
                     ", " + std::string(field) + ": " + what + ".";
  };

  struct Field {
    const char* name;
    int lo, hi;
    std::int16_t SerialSettings::*target;
  };
  const Field fields[] = {
      {"Port", 1, 4, &SerialSettings::portNumber},
      {"Geschwindigkeit", 0, 2, &SerialSettings::speedIndex},
      {"Parität", 0, 2, &SerialSettings::parityIndex},
      {"Stop", 0, 1, &SerialSettings::stopBitsIndex},
  };
  FieldReader reader(bytes, /*blankSeparates=*/true);
  for (const Field& field : fields) {
    auto f = reader.Next();
    if (!f) {
      problem(reader.line(), field.name, "Datei endet zu früh");
      break;
    }
    auto n = f->quoted ? std::nullopt : ParseWholeNumber(f->text);
    if (!n)
      problem(f->line, field.name, "\"" + Cp1252ToUtf8(f->text) + "\" ist keine Zahl");
    else if (*n < field.lo || *n > field.hi)
      problem(f->line, field.name,
              std::to_string(*n) + " liegt nicht zwischen " + std::to_string(field.lo) + " und " +
                  std::to_string(field.hi));
    else
      read.*field.target = static_cast<std::int16_t>(*n);
  }
  read.SetTextsFromIndexes();
  settings = read;
  if (firstProblem.empty()) return {};
  return {ConfigStatus::Kind::Invalid, firstProblem};
}

ConfigStatus LoadSerialSettings(SerialSettings& settings, const std::filesystem::path& folder) {
  const FileBytes file = ReadWholeFile(folder / kSerialFileName);
  if (file.status == ReadStatus::Missing) {
    settings = SerialSettings{};
    return {ConfigStatus::Kind::Missing,
            "Die Datei \"PortCom.dat\" fehlt. Es gilt Com1, 9600 Baud, ohne Parität, 8 Datenbits, "
            "1 Stoppbit; die Datei wird beim nächsten Speichern angelegt."};
  }
  if (file.status == ReadStatus::Unreadable) {
    settings = SerialSettings{};
    return {ConfigStatus::Kind::IoError,
            "Die Datei \"PortCom.dat\" kann nicht gelesen werden: " + file.reason};
  }
  return ParseSerialFile(settings, file.bytes);
}

ConfigStatus SaveSerialSettings(const SerialSettings& settings, const std::filesystem::path& folder) {
  if (auto error = WriteFileAtomically(folder / kSerialFileName, FormatSerialFile(settings)))
    return {ConfigStatus::Kind::IoError, *error};
  return {};
}

} // namespace trelvan
