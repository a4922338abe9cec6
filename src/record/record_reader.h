#pragma once
// Reading the measurement record back: readings of a time range and channels,
// the alarm events, the span the record covers. Opens the file read-only, so
// it reads beside a running recorder (WAL) and never changes the file.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "core/reading.h"
#include "record/sqlite.h"

namespace trelvan {

// Times in ms since 1970 UTC, [fromMs, toMs); no channels: all four.
struct RecordRange {
  std::optional<std::int64_t> fromMs;
  std::optional<std::int64_t> toMs;
  std::vector<int> channels;
};

class RecordReader {
 public:
  // The German reason the file cannot be read, or nothing.
  std::optional<std::string> Open(const std::filesystem::path& file);
  bool isOpen() const { return db_.isOpen(); }
  sql::Database& db() { return db_; }

  // Calls `each` for every reading in the range, in time order; `each`
  // returns false to stop. Returns false (and sets error()) when reading fails.
  bool ForEachReading(const RecordRange& range, const std::function<bool(const Reading&)>& each);
  std::vector<AlarmEvent> AlarmEvents(const RecordRange& range);
  // The times of the first and the last reading; nothing for an empty record.
  std::optional<std::pair<std::int64_t, std::int64_t>> TimeSpan();

  const std::string& error() const { return error_; }

 private:
  sql::Database db_;
  std::string error_;
};

// "WHERE …" for a range over a time column and a channel column, with its
// parameters bound from ?1 on; shared by the readers of the record.
std::string RangeCondition(const RecordRange& range, std::string_view timeColumn);
void BindRange(sql::Statement& statement, const RecordRange& range);

} // namespace trelvan
