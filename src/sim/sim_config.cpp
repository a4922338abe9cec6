#include "sim_config.h"

#include <charconv>
#include <filesystem>
#include <iostream>
#include <sstream>

#include "core/station_address.h"
#include "core/text_file.h"
#include "core/trim.h"

namespace trelvan::sim {

namespace {

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

std::optional<long> Number(std::string_view s) {
  int base = 10;
  if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
    s.remove_prefix(2);
    base = 16;
  }
  long value = 0;
  const auto [ptr, ec] = std::from_chars(s.data(), s.data() + s.size(), value, base);
  if (s.empty() || ec != std::errc() || ptr != s.data() + s.size()) return std::nullopt;
  return value;
}

struct Family {
  const char* name;
  int typeIndex;
};
constexpr Family kFamilies[] = {
    {"resistivity", 0}, {"conductivity", 1}, {"ph", 2},          {"redox", 3},
    {"oxygen", 4},      {"flow", 5},         {"chlorine", 6},    {"turbidity", 12},
    {"dual-resistivity", 13}, {"multi-unit", 14}, {"oxidant", 15},
};

std::optional<int> TypeIndexOf(std::string_view word) {
  if (const auto n = Number(word); n && *n >= 0 && *n < kMeasurementTypeCount) return static_cast<int>(*n);
  const std::string lower = Lower(word);
  for (const Family& f : kFamilies) {
    if (lower == f.name) return f.typeIndex;
  }
  for (const MeasurementType& type : MeasurementTypeCatalogue()) {
    if (Lower(Trim(type.listLabel)) == lower) return type.typeIndex;
  }
  return std::nullopt;
}

SimInstrument MakeInstrument(int station, int base, int typeIndex) {
  SimInstrument instrument;
  instrument.station = station;
  instrument.registerBase = base;
  instrument.typeIndex = typeIndex;
  instrument.member = MeasurementTypeAt(typeIndex)->requestMember;
  return instrument;
}

bool Fail(std::string* error, std::string text) {
  if (error) *error = std::move(text);
  return false;
}

// "3", "3,4", "3:1500" -> the stations and, where given, the number after ":".
bool ParseStationList(const std::string& option, const std::string& value, bool numberAllowed,
                      std::vector<std::pair<int, std::optional<long>>>& out, std::string* error) {
  std::stringstream items(value);
  std::string item;
  while (std::getline(items, item, ',')) {
    const std::size_t colon = item.find(':');
    const auto station = Number(Trim(std::string_view(item).substr(0, colon)));
    if (!station || *station < 1 || *station > 247) {
      return Fail(error, option + ": Stationsadresse \"" + item + "\" liegt nicht in 1..247");
    }
    std::optional<long> number;
    if (colon != std::string::npos) {
      number = Number(Trim(std::string_view(item).substr(colon + 1)));
      if (!numberAllowed || !number || *number < 0) {
        return Fail(error, option + ": \"" + item + "\" ist keine gültige Angabe");
      }
    }
    out.emplace_back(static_cast<int>(*station), number);
  }
  if (out.empty()) return Fail(error, option + ": Stationsadresse fehlt");
  return true;
}

// "SEED[:FAST[:SLOW]]", the shares in percent.
std::optional<RandomFaults> ParseRandomFaults(const std::string& value, std::string* error) {
  std::vector<std::string> parts;
  std::stringstream items(value);
  for (std::string item; std::getline(items, item, ':');) parts.push_back(item);
  RandomFaults random;
  const auto seed = parts.empty() ? std::nullopt : Number(Trim(parts[0]));
  bool ok = parts.size() >= 1 && parts.size() <= 3 && seed && *seed >= 0;
  if (ok) random.seed = static_cast<std::uint64_t>(*seed);
  for (std::size_t k = 1; ok && k < parts.size(); ++k) {
    const std::string text(Trim(parts[k]));
    double percent = 0;
    const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), percent);
    ok = !text.empty() && ec == std::errc() && ptr == text.data() + text.size() && percent >= 0 && percent <= 100;
    (k == 1 ? random.fastPercent : random.slowPercent) = percent;
  }
  if (ok && random.fastPercent + random.slowPercent > 100) ok = false;
  if (!ok) {
    Fail(error, "--random-faults: \"" + value + "\" ist nicht SAAT[:SCHNELL[:LANGSAM]] (Prozent, zusammen höchstens 100)");
    return std::nullopt;
  }
  return random;
}

// "4800,2": speed and stop bits.
std::optional<LineChoice> ParseLineChoice(const std::string& value, std::string* error) {
  const std::size_t comma = value.find(',');
  const long speed = Number(Trim(value.substr(0, comma))).value_or(0);
  const long stop = comma == std::string::npos ? 0 : Number(Trim(value.substr(comma + 1))).value_or(0);
  if (speed > 0 && speed <= 115200 && (stop == 1 || stop == 2))
    return LineChoice{static_cast<int>(speed), static_cast<int>(stop)};
  Fail(error, "--line: \"" + value + "\" ist nicht GESCHWINDIGKEIT,STOPPBITS (z. B. 4800,2)");
  return std::nullopt;
}

} // namespace

std::optional<SimOptions> ParseSimArguments(const std::vector<std::string>& args, std::string* error) {
  SimOptions options;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& option = args[i];
    if (option == "--help" || option == "-h") {
      options.help = true;
      continue;
    }
    if (i + 1 >= args.size()) {
      Fail(error, option.rfind("--", 0) == 0 ? option + ": Wert fehlt" : "Unbekannte Angabe: " + option);
      return std::nullopt;
    }
    const std::string& value = args[++i];
    if (option == "--config") {
      options.scenarioFile = value;
      continue;
    }
    if (option == "--log" || option == "--link") {
      (option == "--log" ? options.config.logFile : options.config.linkPath) = value;
      continue;
    }
    if (option == "--reply-ms") {
      const auto n = Number(value);
      if (!n || *n < 100 || *n > 10'000) {
        Fail(error, option + ": \"" + value + "\" liegt nicht in 100..10000");
        return std::nullopt;
      }
      options.config.masterReplyMs = static_cast<int>(*n);
      continue;
    }
    if (option == "--close-after" || option == "--reopen-after") {
      const auto n = Number(value);
      if (!n || *n < (option == "--close-after" ? 1 : 0) || *n > 100'000'000) {
        Fail(error, option + ": \"" + value + "\" ist keine gültige Anzahl");
        return std::nullopt;
      }
      (option == "--close-after" ? options.config.closeAfterRequests : options.config.reopenAfterMs) =
          static_cast<int>(*n);
      continue;
    }
    if (option == "--line") {
      auto line = ParseLineChoice(value, error);
      if (!line) return std::nullopt;
      options.config.answerOnly = line;
      continue;
    }
    if (option == "--random-faults") {
      auto random = ParseRandomFaults(value, error);
      if (!random) return std::nullopt;
      options.config.randomFaults = random;
      continue;
    }
    const bool takesNumber = option == "--delay" || option == "--exception" || option == "--extra";
    std::vector<std::pair<int, std::optional<long>>> stations;
    if (option != "--silent" && option != "--bad-crc" && option != "--short" && option != "--foreign" &&
        option != "--trickle" && !takesNumber) {
      Fail(error, "Unbekannte Option: " + option);
      return std::nullopt;
    }
    if (!ParseStationList(option, value, takesNumber, stations, error)) return std::nullopt;
    for (const auto& [station, number] : stations) {
      StationFaults& f = options.config.faults[station];
      if (option == "--silent") f.silent = true;
      if (option == "--bad-crc") f.badCrc = true;
      if (option == "--short") f.shortReply = true;
      if (option == "--foreign") f.foreign = true;
      if (option == "--trickle") f.trickle = true;
      if (option == "--extra") f.extraBytes = static_cast<int>(number.value_or(4));
      if (option == "--exception") {
        f.exceptionCode = static_cast<int>(number.value_or(4));
        if (f.exceptionCode < 1 || f.exceptionCode > 255) {
          Fail(error, option + ": Ausnahmecode liegt nicht in 1..255");
          return std::nullopt;
        }
      }
      if (option == "--delay") {
        if (!number) {
          Fail(error, option + ": Verzögerung fehlt (Station:Millisekunden)");
          return std::nullopt;
        }
        f.delayMs = static_cast<int>(*number);
      }
    }
  }
  return options;
}

std::optional<std::vector<SimInstrument>> ParseScenario(std::string_view text, std::string* error) {
  std::vector<SimInstrument> instruments;
  std::istringstream lines{std::string(text)};
  std::string line;
  int lineNumber = 0;
  while (std::getline(lines, line)) {
    ++lineNumber;
    if (const std::size_t hash = line.find('#'); hash != std::string::npos) line.erase(hash);
    std::istringstream words(line);
    std::vector<std::string> w;
    for (std::string word; words >> word;) w.push_back(word);
    if (w.empty()) continue;
    const std::string where = "Zeile " + std::to_string(lineNumber) + ": ";
    if (w.size() != 3 && w.size() != 11) {
      Fail(error, where + "erwartet Adresse, Block, Typ und wahlweise acht Registerwerte");
      return std::nullopt;
    }
    const auto station = Number(w[0]);
    if (!station || *station < 1 || *station > 247) {
      Fail(error, where + "Stationsadresse \"" + w[0] + "\" liegt nicht in 1..247");
      return std::nullopt;
    }
    std::optional<long> base;
    const std::string block = Lower(w[1]);
    if (block == "master") base = 0;
    else if (block == "ext" || block == "ext.") base = 20;
    else base = Number(w[1]);
    if (!base || *base < 0 || *base > 0xFFFF - 7) {
      Fail(error, where + "Block \"" + w[1] + "\" ist weder master, ext noch eine Registernummer");
      return std::nullopt;
    }
    const auto typeIndex = TypeIndexOf(w[2]);
    if (!typeIndex) {
      Fail(error, where + "unbekannter Messtyp \"" + w[2] + "\"");
      return std::nullopt;
    }
    SimInstrument instrument = MakeInstrument(static_cast<int>(*station), static_cast<int>(*base), *typeIndex);
    if (w.size() == 11) {
      std::array<std::uint16_t, 8> registers{};
      for (std::size_t k = 0; k < 8; ++k) {
        const auto word = Number(w[3 + k]);
        if (!word || *word < -32768 || *word > 0xFFFF) {
          Fail(error, where + "Registerwert \"" + w[3 + k] + "\" passt nicht in 16 Bit");
          return std::nullopt;
        }
        registers[k] = static_cast<std::uint16_t>(*word & 0xFFFF);
      }
      instrument.fixedRegisters = registers;
    }
    instruments.push_back(instrument);
  }
  return instruments;
}

std::vector<SimInstrument> InstrumentsFromChannelTable(const ChannelTable& table) {
  std::vector<SimInstrument> instruments;
  for (int i = 0; i < kChannelCount; ++i) {
    const ChannelConfig& channel = table[i];
    if (MeasurementTypeAt(channel.typeIndex) == nullptr) continue;
    const std::optional<int> station = StationNumber(channel.stationAddress);
    if (!station) continue;
    instruments.push_back(MakeInstrument(*station, IsMasterChannel(table, i) ? 0 : 20, channel.typeIndex));
  }
  return instruments;
}

bool LoadInstruments(SimOptions& options, std::string* error) {
  if (!options.scenarioFile.empty()) {
    // Bounded and never blocking, like every file the station reads: a
    // folder, a FIFO or a device is refused with its reason.
    const FileBytes file = ReadSmallFile(options.scenarioFile);
    if (file.status != ReadStatus::Ok)
      return Fail(error, "Szenario " + options.scenarioFile + " kann nicht gelesen werden: " + file.reason);
    std::string why;
    auto instruments = ParseScenario(file.bytes, &why);
    if (!instruments) return Fail(error, options.scenarioFile + ", " + why);
    options.config.instruments = std::move(*instruments);
  } else {
    ChannelTable table;
    const ConfigStatus status = LoadChannelTable(table, std::filesystem::current_path());
    if (status.kind == ConfigStatus::Kind::Missing || status.kind == ConfigStatus::Kind::IoError) {
      return Fail(error, status.message);
    }
    // Channels a faulty file leaves unreadable are off and not simulated; say why.
    if (status.kind == ConfigStatus::Kind::Invalid) std::cerr << status.message << "\n";
    options.config.instruments = InstrumentsFromChannelTable(table);
  }
  if (options.config.instruments.empty()) return Fail(error, "Keine Instrumente zu simulieren");
  return true;
}

} // namespace trelvan::sim
