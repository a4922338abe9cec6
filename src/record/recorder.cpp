#include "recorder.h"

#include <algorithm>
#include <array>
#include <utility>

#include <cerrno>

#if defined(__unix__)
#include <unistd.h>
#endif

#include "core/base_unit.h"
#include "core/system_error.h"
#include "record/record_schema.h"
#include "record/sqlite.h"

namespace trelvan {

namespace {

constexpr std::int64_t kDayMs = 24LL * 60 * 60 * 1000;

// Why the record cannot be written, in German. SQLite's last system error
// can belong to a fallback it tried (a read-only open after a failed
// read-write one), so the folder and the file are asked directly.
std::string WhyNotWritable(const std::filesystem::path& file, const sql::Database& db) {
  const int code = db.ErrorCode() & 0xFF;
  if (code != SQLITE_FULL && code != SQLITE_READONLY) {
#if defined(__unix__)
    const std::filesystem::path folder = file.has_parent_path() ? file.parent_path() : ".";
    if (::access(folder.c_str(), W_OK) != 0) return SystemErrorText(errno);
    if (::access(file.c_str(), F_OK) == 0 && ::access(file.c_str(), W_OK) != 0) return SystemErrorText(errno);
#endif
  }
  return db.GermanErrorText();
}

} // namespace

struct Recorder::Connection {
  sql::Database db;
  sql::Statement begin, commit, rollback, insertReading, upsertMinute, insertEvent, deleteRaw,
      deleteMinutes, deleteEvents;
};

Recorder::Recorder(RecorderOptions options) : options_(std::move(options)) {}

Recorder::~Recorder() = default;

bool Recorder::retentionDue() const {
  return retentionRunning_ || !retentionRan_ || newestMs_ - retentionDoneMs_ >= kDayMs;
}

RecordChange Recorder::Pause(std::string reason) {
  connection_.reset(); // reopened on the next try: the medium may have changed
  nextTry_ = std::chrono::steady_clock::now() + std::chrono::milliseconds(options_.retryMs);
  if (paused_) return {};
  paused_ = true;
  pauseReason_ = std::move(reason);
  return {RecordChange::Kind::Paused, "Aufzeichnung angehalten: " + options_.file.string() + ": " +
                                          pauseReason_ + ". Die Messung läuft weiter; die Aufzeichnung "
                                                         "setzt von selbst wieder ein."};
}

bool Recorder::EnsureOpen() {
  if (connection_) return true;
  auto c = std::make_unique<Connection>();
  if (c->db.Open(options_.file, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE) != SQLITE_OK) {
    pauseReason_ = WhyNotWritable(options_.file, c->db);
    return false;
  }
  sqlite3_busy_timeout(c->db.handle(), 200);
  // WAL: readers beside the writer, and a commit is one append to the log.
  // NORMAL: the log is synced at checkpoints, not at every commit; a killed
  // process loses nothing committed, a power cut at most the last passes.
  // 1 KiB pages (for a new file): a pass changes about six pages (the rows,
  // the time index, the minute rows), so it appends 6.5 KiB to the log
  // instead of 15 KiB with 4 KiB pages; the file grows by a tenth more.
  if (c->db.Exec("PRAGMA page_size=1024; PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;") != SQLITE_OK) {
    pauseReason_ = WhyNotWritable(options_.file, c->db);
    return false;
  }
  if (const auto problem = PrepareRecordSchema(c->db)) {
    pauseReason_ = *problem;
    return false;
  }
  c->begin = sql::Statement(c->db, "BEGIN IMMEDIATE");
  c->commit = sql::Statement(c->db, "COMMIT");
  c->rollback = sql::Statement(c->db, "ROLLBACK");
  c->insertReading = sql::Statement(
      c->db,
      "INSERT INTO reading(time_ms,pass,channel,station,block,type_index,type,marker,ok,error,reason,"
      "exception_code,main,main_unit,temperature,temperature_unit,second,second_unit,day_volume,"
      "day_volume_unit,total_volume,total_volume_unit,text,alarm) "
      "VALUES(?1,?2,?3,?4,?5,?6,?7,?8,?9,?10,?11,?12,?13,?14,?15,?16,?17,?18,?19,?20,?21,?22,?23,?24)");
  c->upsertMinute = sql::Statement(
      c->db,
      "INSERT INTO minute(minute,channel,quantity,unit,min,mean,max,count) VALUES(?1,?2,?3,?4,?5,?5,?5,1) "
      "ON CONFLICT DO UPDATE SET min=min(min,excluded.min), max=max(max,excluded.max), "
      "mean=mean+(excluded.mean-mean)/(count+1), count=count+1");
  c->insertEvent = sql::Statement(
      c->db, "INSERT INTO alarm_event(time_ms,channel,raised,state,value,bound,unit,text) "
             "VALUES(?1,?2,?3,?4,?5,?6,?7,?8)");
  c->deleteRaw = sql::Statement(
      c->db, "DELETE FROM reading WHERE id IN "
             "(SELECT id FROM reading WHERE time_ms < ?1 ORDER BY time_ms LIMIT ?2)");
  // The rows of a minute lie together: the key starts with it.
  c->deleteMinutes = sql::Statement(
      c->db, "DELETE FROM minute WHERE minute < min(?1, (SELECT min(minute) FROM minute) + ?2)");
  c->deleteEvents = sql::Statement(
      c->db, "DELETE FROM alarm_event WHERE id IN "
             "(SELECT id FROM alarm_event WHERE time_ms < ?1 ORDER BY time_ms LIMIT ?2)");
  for (const sql::Statement* s : {&c->begin, &c->commit, &c->rollback, &c->insertReading, &c->upsertMinute,
                                  &c->insertEvent, &c->deleteRaw, &c->deleteMinutes, &c->deleteEvents}) {
    if (!s->valid()) {
      pauseReason_ = c->db.GermanErrorText();
      return false;
    }
  }
  connection_ = std::move(c);
  return true;
}

bool Recorder::Write(const Pass& pass) {
  Connection& c = *connection_;
  if (c.begin.Run() == SQLITE_OK && WriteRows(pass) && c.commit.Run() == SQLITE_OK) return true;
  pauseReason_ = WhyNotWritable(options_.file, c.db);
  c.rollback.Run();
  return false;
}

std::optional<std::string> Recorder::RecordBulk(const std::vector<std::vector<Reading>>& passes) {
  if (!EnsureOpen()) return pauseReason_;
  Connection& c = *connection_;
  bool ok = c.begin.Run() == SQLITE_OK;
  for (std::size_t k = 0; ok && k < passes.size(); ++k) ok = WriteRows({passes[k], {}});
  if (ok && c.commit.Run() == SQLITE_OK) return std::nullopt;
  const std::string why = c.db.GermanErrorText();
  c.rollback.Run();
  return why;
}

// The rows of one pass, inside a transaction the caller holds.
bool Recorder::WriteRows(const Pass& pass) {
  Connection& c = *connection_;
  auto fail = [&] {
    c.insertReading.Reset();
    c.upsertMinute.Reset();
    c.insertEvent.Reset();
    return false;
  };
  for (const Reading& r : pass.readings) {
    sql::Statement& s = c.insertReading;
    s.Bind(1, r.timeMs);
    s.Bind(2, r.pass);
    s.Bind(3, r.channel);
    s.Bind(4, r.station);
    s.Bind(5, BlockId(r.block));
    s.Bind(6, r.typeIndex);
    s.Bind(7, r.type);
    s.Bind(8, r.marker);
    s.Bind(9, r.ok ? 1 : 0);
    if (!r.ok) {
      s.Bind(10, FailureKindId(r.failure));
      s.Bind(11, r.reason);
      if (r.failure == FailureKind::Exception) s.Bind(12, r.exceptionCode);
    }
    for (std::size_t k = 0; k < kRecordValueColumns.size(); ++k) {
      if (const ReadingValue* v = r.Value(kRecordValueColumns[k])) {
        const int column = 13 + 2 * static_cast<int>(k);
        s.Bind(column, v->number);
        s.Bind(column + 1, v->unit);
      }
    }
    s.Bind(23, r.text);
    if (r.alarm != AlarmState::None) s.Bind(24, AlarmStateId(r.alarm));
    if (s.Run() != SQLITE_OK) return fail();

    if (!r.ok) continue;
    for (const ReadingValue& v : r.values) {
      if (!v.number) continue;
      const BaseValue base = ToBaseUnit(r.typeIndex, *v.number, v.unit);
      sql::Statement& m = c.upsertMinute;
      m.Bind(1, RecordMinuteOf(r.timeMs));
      m.Bind(2, r.channel);
      m.Bind(3, v.name);
      m.Bind(4, base.unit);
      m.Bind(5, base.value);
      if (m.Run() != SQLITE_OK) return fail();
    }
  }
  for (const AlarmEvent& e : pass.events) {
    sql::Statement& s = c.insertEvent;
    s.Bind(1, e.timeMs);
    s.Bind(2, e.channel);
    s.Bind(3, e.raised ? 1 : 0);
    s.Bind(4, AlarmStateId(e.state));
    s.Bind(5, e.value);
    s.Bind(6, e.limit);
    s.Bind(7, e.unit);
    s.Bind(8, e.text);
    if (s.Run() != SQLITE_OK) return fail();
  }
  return true;
}

void Recorder::RetentionStep() {
  Connection& c = *connection_;
  const int batch = options_.retentionBatch;
  auto step = [&](sql::Statement& s, std::int64_t cutoff, int limit) -> int {
    s.Bind(1, cutoff);
    s.Bind(2, limit);
    if (s.Run() != SQLITE_OK) return -1;
    return sqlite3_changes(c.db.handle());
  };
  // The ages count from the run's start: with a cutoff that moved on with
  // every pass, each pass would find new old rows and the run never end.
  if (!retentionRunning_) {
    retentionRunning_ = true;
    runStartMs_ = newestMs_;
  }
  const std::int64_t rawCutoff = runStartMs_ - options_.rawDays * kDayMs;
  const std::int64_t minuteCutoff = runStartMs_ - options_.minuteDays * kDayMs;
  // One batch of the first table that still has old rows; a failure here
  // costs nothing but a later try.
  int n = step(c.deleteRaw, rawCutoff, batch);
  // The minute rows of `batch / 16` minutes: about `batch` rows of four
  // channels with up to four quantities each.
  if (n == 0) n = step(c.deleteMinutes, RecordMinuteOf(minuteCutoff), std::max(1, batch / 16));
  if (n == 0) n = step(c.deleteEvents, minuteCutoff, batch);
  if (n == 0) {
    retentionRunning_ = false;
    retentionRan_ = true;
    retentionDoneMs_ = runStartMs_;
  }
}

RecordChange Recorder::RecordPass(const std::vector<Reading>& readings, const std::vector<AlarmEvent>& events) {
  for (const Reading& r : readings) newestMs_ = std::max(newestMs_, r.timeMs);
  pending_.push_back({readings, events});
  while (pending_.size() > options_.maxPendingPasses) {
    droppedReadings_ += pending_.front().readings.size();
    pending_.pop_front();
  }
  if (paused_ && std::chrono::steady_clock::now() < nextTry_) return {};
  if (!EnsureOpen()) return Pause(pauseReason_);
  while (!pending_.empty()) {
    if (!Write(pending_.front())) return Pause(pauseReason_);
    pending_.pop_front();
  }
  RecordChange change;
  if (paused_) {
    paused_ = false;
    change.kind = RecordChange::Kind::Resumed;
    change.message = "Aufzeichnung läuft wieder: " + options_.file.string();
    if (droppedReadings_ > 0)
      change.message += " (" + std::to_string(droppedReadings_) + " Messwerte der Pause nicht aufgezeichnet)";
    droppedReadings_ = 0;
    pauseReason_.clear();
  }
  if (retentionDue()) RetentionStep();
  return change;
}

} // namespace trelvan
