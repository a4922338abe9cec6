#pragma once
// A Reading: the one value that leaves a request. The poll cycle builds it
// from the master's result; the measurement window, the poller's JSON, the
// recorder and the publisher all take Readings, so a failure reason or a
// decoded number is never read back from a side channel.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace trelvan {

// Why a request gave no reading.
enum class FailureKind {
  None,
  TimedOut,       // nothing, or less than a whole reply, within the reply time-out
  HeldBack,       // not sent: the station timed out before and the line was not yet safe
  BadCrc,         // the reply's checksum is wrong
  WrongStation,   // the reply names another station
  WrongFunction,  // the reply echoes another function code
  WrongByteCount, // the reply's byte count is not that of eight registers
  Exception,      // the instrument refused the request (exception reply)
  NotOpen,        // the line is not open
  LineLost,       // the line went away during the request
  NotAStation,    // the channel's address text names no station that can be asked
};

// One stable lower-case identifier per kind, for JSON and the record:
// "timeout", "held-back", "crc", "station", "function", "byte-count",
// "exception", "not-open", "line-lost", "address"; "" for None.
std::string_view FailureKindId(FailureKind kind);
std::optional<FailureKind> FailureKindFromId(std::string_view id);

// The register block a channel reads: from register 0 ("Master") or 20 ("Ext.").
enum class Block { Master, Ext };
std::string_view BlockId(Block block); // "master", "ext"

// A main value outside its limits. The label text never changes for it.
enum class AlarmState { None, Low, High };
std::string_view AlarmStateId(AlarmState state); // "", "low", "high"

// One decoded number of a reading, in the unit this reading gives it (the
// range code decides, so a resistivity reads in kOhm or MOhm).
struct ReadingValue {
  std::string name;             // see the names below
  std::optional<double> number; // none: the range code is unknown (the label shows 0),
                                // or a volume counter holds digits that are no number
  std::string unit;             // UTF-8, "" for a number without unit
  bool operator==(const ReadingValue&) const = default;
};

// Names of the decoded numbers, as the types have them.
namespace value_name {
inline constexpr std::string_view kMain = "main";               // every type; flow: the rate
inline constexpr std::string_view kTemperature = "temperature"; // types that show one
inline constexpr std::string_view kSecond = "second";           // the dual resistivity's second value
inline constexpr std::string_view kDayVolume = "day_volume";     // flow: "Tages Volumen"
inline constexpr std::string_view kTotalVolume = "total_volume"; // flow: "Gesamtvolumen"
} // namespace value_name

struct Reading {
  std::int64_t timeMs = 0;  // wall clock when the request ended, ms since 1970-01-01 UTC
  std::int64_t pass = 0;    // the pass it belongs to, counted from 1
  int channel = 0;          // 0..3
  int station = 0;          // the Modbus address asked; 0 when the address text names none
  Block block = Block::Master;
  int typeIndex = 0;        // 0..15
  std::string type;         // the type's list label without trailing blanks
  std::string marker;       // the channel's marker text
  bool ok = false;
  FailureKind failure = FailureKind::None;
  std::string reason;       // German, "" when ok
  int exceptionCode = 0;    // with FailureKind::Exception
  std::vector<ReadingValue> values; // empty when the request failed
  std::string text;         // the label text exactly as the window shows it
  AlarmState alarm = AlarmState::None;

  // The decoded number of that name, or nullptr.
  const ReadingValue* Value(std::string_view name) const;
  bool operator==(const Reading&) const = default;
};

// A limit crossed or left again, for the alarm list, the record and the
// publisher.
struct AlarmEvent {
  std::int64_t timeMs = 0;
  int channel = 0;
  bool raised = true;       // false: the value is back within its limits
  AlarmState state = AlarmState::High; // which limit
  double value = 0;         // the main value that raised or cleared it
  double limit = 0;         // the limit it crossed
  std::string unit;
  std::string text;         // German, for the operator
  bool operator==(const AlarmEvent&) const = default;
};

} // namespace trelvan
