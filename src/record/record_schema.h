#pragma once
// The layout of the measurement record ("Messwerte.sqlite"). The README's
// section "The measurement record" documents it for readers of the file;
// change both together and raise the version.
//
// Version 1:
//   meta(key TEXT PRIMARY KEY, value TEXT)           'schema_version', 'created_ms'
//   reading(id INTEGER PRIMARY KEY, time_ms, pass, channel, station, block,
//           type_index, type, marker, ok, error, reason, exception_code,
//           main, main_unit, temperature, temperature_unit, second, second_unit,
//           day_volume, day_volume_unit, total_volume, total_volume_unit,
//           text, alarm)                              one row per reading
//   minute(minute, channel, quantity, unit, min, mean, max, count)
//           per UTC minute (time_ms / 60000), channel and quantity, in the
//           quantity's base unit; WITHOUT ROWID, key (minute, channel, quantity, unit)
//   alarm_event(id INTEGER PRIMARY KEY, time_ms, channel, raised, state, value,
//           bound, unit, text)                        limits crossed and left again
// A number column is NULL when the reading has that value without a number
// (its unit column is then set) or does not have that value at all (its unit
// column is NULL too).
// PRAGMA user_version carries the version as well, so `sqlite3` shows it.

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "core/reading.h"
#include "record/sqlite.h"

namespace trelvan {

inline constexpr int kRecordSchemaVersion = 1;

// The decoded numbers the reading table has a number and a unit column for,
// in column order.
inline constexpr std::array<std::string_view, 5> kRecordValueColumns{
    value_name::kMain, value_name::kTemperature, value_name::kSecond, value_name::kDayVolume,
    value_name::kTotalVolume};

inline constexpr std::int64_t kRecordMinuteMs = 60 * 1000;

// The minute of the per-minute table a time falls into (minutes since 1970 UTC).
constexpr std::int64_t RecordMinuteOf(std::int64_t ms) {
  return ms >= 0 ? ms / kRecordMinuteMs : (ms - kRecordMinuteMs + 1) / kRecordMinuteMs;
}

// Creates the tables in a new database or checks an existing one's version.
// Returns the German reason the file cannot be used, or nothing.
std::optional<std::string> PrepareRecordSchema(sql::Database& db);

// The version a database carries (0: none, an empty or foreign file).
int RecordSchemaVersion(sql::Database& db);

} // namespace trelvan
