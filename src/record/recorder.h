#pragma once
// The recorder: writes every reading of a pass, the per-minute summary and
// the pass's alarm events into the measurement record, one transaction per
// pass.
//
// The file is an SQLite database in WAL mode with synchronous=NORMAL: a
// commit appends to the write-ahead log without waiting for the disk, a
// process killed at any moment loses nothing it had committed, and other
// programs (a trend window, an export) read while the recorder writes.
//
// When the file cannot be written (disk full, write-protected, removed
// medium) the recorder pauses: RecordPass says so once, keeps the passes in
// memory (up to `maxPendingPasses`, the oldest go first), and tries again
// every `retryMs`; when writing works again it writes what it kept and says
// so once. A failed pass is rolled back, so the file is never left half
// written.
//
// Old rows are removed once a day: raw readings older than `rawDays`, the
// per-minute summary and the alarm events older than `minuteDays`, in batches
// of `retentionBatch` rows after a pass's commit, one batch per pass, so no
// pass waits for more than one small batch. Ages count back from the newest
// reading's time.

#include <chrono>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/reading.h"

namespace trelvan {

struct RecorderOptions {
  std::filesystem::path file;
  int rawDays = 31;
  int minuteDays = 3653; // ten years
  int retentionBatch = 1000;
  int retryMs = 5000;
  std::size_t maxPendingPasses = 3600; // an hour at 1 Hz
};

// What a pass changed about recording, for the one message the operator sees.
struct RecordChange {
  enum class Kind { None, Paused, Resumed };
  Kind kind = Kind::None;
  std::string message; // German; empty with Kind::None
};

class Recorder {
 public:
  explicit Recorder(RecorderOptions options);
  ~Recorder();
  Recorder(const Recorder&) = delete;
  Recorder& operator=(const Recorder&) = delete;

  // Stores one pass. Never throws and never waits for the disk beyond one
  // commit and one retention batch.
  RecordChange RecordPass(const std::vector<Reading>& readings, const std::vector<AlarmEvent>& events = {});

  // Fills a record quickly: many passes in one transaction, no retention.
  // For generated data (benchmarks, demonstrations), never for measuring.
  // Returns the German reason of a failure, or nothing.
  std::optional<std::string> RecordBulk(const std::vector<std::vector<Reading>>& passes);

  bool paused() const { return paused_; }
  const std::string& pauseReason() const { return pauseReason_; }
  std::size_t pendingPasses() const { return pending_.size(); }
  const RecorderOptions& options() const { return options_; }

  // Retention is due (a day has passed since its last run, or it never ran).
  bool retentionDue() const;

 private:
  struct Pass {
    std::vector<Reading> readings;
    std::vector<AlarmEvent> events;
  };
  struct Connection;

  bool EnsureOpen();
  bool Write(const Pass& pass);
  bool WriteRows(const Pass& pass);
  void RetentionStep();
  RecordChange Pause(std::string reason);

  RecorderOptions options_;
  std::unique_ptr<Connection> connection_;
  std::deque<Pass> pending_;
  std::size_t droppedReadings_ = 0;
  bool paused_ = false;
  std::string pauseReason_;
  std::chrono::steady_clock::time_point nextTry_{};
  std::int64_t newestMs_ = 0;
  bool retentionRan_ = false;
  bool retentionRunning_ = false;
  std::int64_t runStartMs_ = 0;      // newest reading's time when the current run began
  std::int64_t retentionDoneMs_ = 0; // the same of the last complete run
};

} // namespace trelvan
