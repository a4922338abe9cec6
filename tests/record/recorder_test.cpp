// The recorder: what one pass leaves in the file, a killed writer, a full or
// write-protected disk, and the removal of old rows.

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#if defined(__unix__)
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "record/reading_generator.h"
#include "record/record_reader.h"
#include "record/record_schema.h"
#include "record/recorder.h"
#include "record/sqlite.h"
#include "record/trend_series.h"
#include "support/temp_folder.h"

namespace trelvan {
namespace {

using testing::TempFolder;

constexpr std::int64_t kT0 = 1796731500000; // 2026-12-08 12:05:00 UTC, a minute's start

std::vector<Reading> ReadAll(const std::filesystem::path& file) {
  RecordReader reader;
  EXPECT_EQ(reader.Open(file), std::nullopt);
  std::vector<Reading> all;
  EXPECT_TRUE(reader.ForEachReading({}, [&](const Reading& r) {
    all.push_back(r);
    return true;
  }));
  return all;
}

std::string IntegrityCheck(const std::filesystem::path& file) {
  sql::Database db;
  if (db.Open(file, SQLITE_OPEN_READONLY) != SQLITE_OK) return "cannot open";
  sql::Statement s(db, "PRAGMA integrity_check");
  return s.valid() && s.Step() == SQLITE_ROW ? std::string(s.Text(0)) : db.ErrorText();
}

Reading Resistivity(std::int64_t timeMs, double value, const char* unit) {
  Reading r;
  r.timeMs = timeMs;
  r.pass = 1;
  r.channel = 2;
  r.station = 7;
  r.block = Block::Ext;
  r.typeIndex = 0;
  r.type = "Wiederderstand";
  r.marker = "Permeat";
  r.ok = true;
  r.values = {{"main", value, unit}, {"temperature", 21.5, "°C"}};
  r.text = "label";
  return r;
}

TEST(Recorder, OnePassIsStoredWholeWithItsMinuteSummaryAndEvents) {
  TempFolder dir;
  Reading flow;
  flow.timeMs = kT0 + 100;
  flow.pass = 1;
  flow.channel = 0;
  flow.station = 3;
  flow.typeIndex = 5;
  flow.type = "Durchfluss";
  flow.marker = "Zulauf; Nord";
  flow.ok = true;
  flow.values = {{"main", 12.5, "m3/h"}, {"temperature", 20.1, "°C"}, {"day_volume", 94, "m3"},
                 {"total_volume", std::nullopt, "m3"}};
  flow.text = "  12.50  m3/h\r\n 94   m3  ";
  flow.alarm = AlarmState::High;
  Reading refused;
  refused.timeMs = kT0 + 200;
  refused.pass = 1;
  refused.channel = 1;
  refused.station = 4;
  refused.typeIndex = 2;
  refused.type = "pH";
  refused.failure = FailureKind::Exception;
  refused.exceptionCode = 2;
  refused.reason = "Station 4 lehnt die Anfrage ab (Ausnahme 2)";
  refused.text = "Außer Betrieb";
  const Reading kOhm = Resistivity(kT0 + 300, 800, "kOhm");
  Reading mOhm = Resistivity(kT0 + 1300, 1.2, "MOhm");
  mOhm.pass = 2;
  AlarmEvent event{kT0 + 100, 0, true, AlarmState::High, 12.5, 12, "m3/h", "Kanal 0: oberer Grenzwert überschritten"};

  Recorder recorder({.file = dir / "Messwerte.sqlite"});
  EXPECT_EQ(recorder.RecordPass({flow, refused, kOhm}, {event}).kind, RecordChange::Kind::None);
  EXPECT_EQ(recorder.RecordPass({mOhm}).kind, RecordChange::Kind::None);

  EXPECT_EQ(ReadAll(dir / "Messwerte.sqlite"), (std::vector<Reading>{flow, refused, kOhm, mOhm}));
  RecordReader reader;
  ASSERT_EQ(reader.Open(dir / "Messwerte.sqlite"), std::nullopt);
  EXPECT_EQ(RecordSchemaVersion(reader.db()), kRecordSchemaVersion);
  EXPECT_EQ(reader.AlarmEvents({}), std::vector<AlarmEvent>{event});

  // The two resistivity readings meet in one minute row, in kOhm.
  sql::Statement minute(reader.db(), "SELECT minute, unit, min, mean, max, count FROM minute "
                                     "WHERE channel = 2 AND quantity = 'main'");
  ASSERT_EQ(minute.Step(), SQLITE_ROW);
  EXPECT_EQ(minute.Int(0), kT0 / 60000);
  EXPECT_EQ(minute.Text(1), "kOhm");
  EXPECT_DOUBLE_EQ(minute.Real(2), 800);
  EXPECT_DOUBLE_EQ(minute.Real(3), 1000);
  EXPECT_DOUBLE_EQ(minute.Real(4), 1200);
  EXPECT_EQ(minute.Int(5), 2);
  EXPECT_EQ(minute.Step(), SQLITE_DONE);
  // Failed readings and numbers the reading does not have add no minute rows.
  EXPECT_EQ(reader.db().Integer("SELECT count(*) FROM minute"), 5);

  // The trend reads both sources in the base unit.
  for (const TrendSource source : {TrendSource::Raw, TrendSource::Minutes}) {
    const TrendData data = LoadTrend(reader.db(), kT0, kT0 + 60000, {2}, false, source);
    ASSERT_EQ(data.series.size(), 1u);
    EXPECT_EQ(data.series[0].unit, "kOhm");
    EXPECT_DOUBLE_EQ(data.series[0].points.back().max, 1200);
  }
}

TEST(Recorder, AFileOfANewerVersionOrAnotherProgramIsLeftAlone) {
  TempFolder dir;
  for (const char* setup : {"PRAGMA user_version=2; CREATE TABLE x(a);", "CREATE TABLE foreign_table(a);"}) {
    const auto file = dir / "other.sqlite";
    std::filesystem::remove(file);
    {
      sql::Database db;
      ASSERT_EQ(db.Open(file, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE), SQLITE_OK);
      ASSERT_EQ(db.Exec(setup), SQLITE_OK);
    }
    Recorder recorder({.file = file});
    const RecordChange change = recorder.RecordPass({Resistivity(kT0, 1, "kOhm")});
    EXPECT_EQ(change.kind, RecordChange::Kind::Paused) << setup;
    RecordReader reader;
    EXPECT_NE(reader.Open(file), std::nullopt) << setup;
    sql::Database db;
    ASSERT_EQ(db.Open(file, SQLITE_OPEN_READONLY), SQLITE_OK);
    EXPECT_EQ(db.Integer("SELECT count(*) FROM sqlite_schema"), 1) << setup;
  }
}

#if defined(__unix__)

TEST(Recorder, AWriterKilledAtAnyMomentKeepsEveryCommittedPass) {
  TempFolder dir;
  const auto file = dir / "Messwerte.sqlite";
  int pipeFds[2];
  ASSERT_EQ(pipe(pipeFds), 0);
  const pid_t child = fork();
  if (child == 0) {
    close(pipeFds[0]);
    Recorder recorder({.file = file});
    ReadingGenerator generator(kT0, 1000, 7);
    for (std::int64_t pass = 1;; ++pass) {
      recorder.RecordPass(generator.NextPass());
      // Only after the commit does the parent learn of the pass.
      if (write(pipeFds[1], &pass, sizeof pass) != sizeof pass) _exit(1);
    }
  }
  close(pipeFds[1]);
  std::int64_t confirmed = 0, pass = 0;
  while (confirmed < 300 && read(pipeFds[0], &pass, sizeof pass) == sizeof pass) confirmed = pass;
  kill(child, SIGKILL);
  while (read(pipeFds[0], &pass, sizeof pass) == sizeof pass) confirmed = pass;
  close(pipeFds[0]);
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(WIFSIGNALED(status));

  EXPECT_EQ(IntegrityCheck(file), "ok");
  std::vector<int> readingsOfPass(static_cast<std::size_t>(confirmed) + 2, 0);
  for (const Reading& r : ReadAll(file))
    if (r.pass <= confirmed + 1) ++readingsOfPass[static_cast<std::size_t>(r.pass)];
  for (std::int64_t p = 1; p <= confirmed; ++p) ASSERT_EQ(readingsOfPass[static_cast<std::size_t>(p)], 4) << p;
  // The pass the kill hit is there whole or not at all.
  EXPECT_TRUE(readingsOfPass.back() == 0 || readingsOfPass.back() == 4);
}

// A small file system of its own; needs the right to mount (root in CI).
class SmallDisk {
 public:
  explicit SmallDisk(std::filesystem::path where) : where_(std::move(where)) {
    std::filesystem::create_directories(where_);
    mounted_ = mount("tmpfs", where_.c_str(), "tmpfs", 0, "size=512k") == 0;
  }
  ~SmallDisk() {
    if (mounted_) umount2(where_.c_str(), MNT_DETACH);
  }
  bool mounted() const { return mounted_; }
  bool ReadOnly(bool on) {
    return mount("tmpfs", where_.c_str(), "tmpfs", MS_REMOUNT | (on ? MS_RDONLY : 0), "size=512k") == 0;
  }

 private:
  std::filesystem::path where_;
  bool mounted_ = false;
};

TEST(Recorder, AFullOrWriteProtectedDiskPausesOnceAndResumesWithNothingLost) {
  struct Case {
    const char* name;
    const char* reason;
  };
  for (const Case c : {Case{"full", "Datenträger voll"}, Case{"read-only", "schreibgeschützt"}}) {
    SCOPED_TRACE(c.name);
    TempFolder dir;
    SmallDisk disk(dir / "disk");
    if (!disk.mounted()) GTEST_SKIP() << "cannot mount a small tmpfs here (needs root)";
    const auto file = dir / "disk" / "Messwerte.sqlite";
    const auto filler = dir / "disk" / "filler";
    Recorder recorder({.file = file, .retryMs = 0});
    ReadingGenerator generator(kT0, 1000, 3);
    std::int64_t passes = 0;
    auto record = [&] {
      ++passes;
      return recorder.RecordPass(generator.NextPass());
    };
    std::vector<RecordChange> changes;
    if (std::string(c.name) == "full") {
      ASSERT_EQ(record().kind, RecordChange::Kind::None);
      // Fill the disk up to the last few kilobytes, then record into it.
      std::ofstream(filler, std::ios::binary) << std::string(480 * 1024, 'x');
      while (!recorder.paused() && passes < 5000) changes.push_back(record());
    } else {
      // A medium that is write-protected from the start (a file system with
      // a file open for writing cannot be made read-only).
      ASSERT_TRUE(disk.ReadOnly(true));
      for (int k = 0; k < 3; ++k) changes.push_back(record());
    }
    ASSERT_TRUE(recorder.paused());
    for (int k = 0; k < 20; ++k) changes.push_back(record()); // measuring goes on
    int pausedMessages = 0;
    for (const RecordChange& ch : changes) {
      if (ch.kind == RecordChange::Kind::Paused) {
        ++pausedMessages;
        EXPECT_NE(ch.message.find(c.reason), std::string::npos) << ch.message;
      }
      EXPECT_NE(ch.kind, RecordChange::Kind::Resumed);
    }
    EXPECT_EQ(pausedMessages, 1);

    if (std::string(c.name) == "full") std::filesystem::remove(filler);
    else ASSERT_TRUE(disk.ReadOnly(false));
    EXPECT_EQ(record().kind, RecordChange::Kind::Resumed);
    EXPECT_EQ(record().kind, RecordChange::Kind::None);
    EXPECT_EQ(IntegrityCheck(file), "ok");
    EXPECT_EQ(ReadAll(file).size(), static_cast<std::size_t>(passes) * 4);
  }
}

#endif

TEST(Recorder, RetentionRemovesOldRowsInSmallBatchesOnceADay) {
  TempFolder dir;
  const auto file = dir / "Messwerte.sqlite";
  Recorder recorder({.file = file, .rawDays = 1, .minuteDays = 2, .retentionBatch = 200});
  constexpr std::int64_t kDay = 86400000;
  // Four days, a pass a minute; retention runs with the first pass, then
  // only once another day has passed.
  ReadingGenerator generator(kT0, 60000, 5);
  sql::Database db;
  ASSERT_EQ(recorder.RecordPass(generator.NextPass()).kind, RecordChange::Kind::None);
  ASSERT_EQ(db.Open(file, SQLITE_OPEN_READONLY), SQLITE_OK);
  std::int64_t previous = *db.Integer("SELECT count(*) FROM reading");
  std::int64_t largestDrop = 0;
  while (generator.nextTimeMs() < kT0 + 4 * kDay + 3600000) {
    recorder.RecordPass(generator.NextPass());
    const std::int64_t rows = *db.Integer("SELECT count(*) FROM reading");
    largestDrop = std::max(largestDrop, previous + 4 - rows);
    previous = rows;
  }
  EXPECT_LE(largestDrop, 200);
  EXPECT_GT(largestDrop, 0);
  const std::int64_t newest = *db.Integer("SELECT max(time_ms) FROM reading");
  // Between one and two days of raw rows: the last run was less than a day ago.
  const std::int64_t oldest = *db.Integer("SELECT min(time_ms) FROM reading");
  EXPECT_GT(newest - oldest, kDay - 60000);
  EXPECT_LT(newest - oldest, 2 * kDay);
  const std::int64_t oldestMinute = *db.Integer("SELECT min(minute) FROM minute") * 60000;
  EXPECT_GT(newest - oldestMinute, 2 * kDay - 60000);
  EXPECT_LT(newest - oldestMinute, 3 * kDay);
}

} // namespace
} // namespace trelvan
