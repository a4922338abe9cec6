// The recorder: what one pass leaves in the file, a killed writer, a full or
// write-protected disk, and the removal of old rows.

#include <gtest/gtest.h>

#include <csignal>
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
#include "record/recorder.h"
#include "record/sqlite.h"
#include "record/trend_series.h"
#include "support/temp_folder.h"

namespace trelvan {
namespace {

namespace fs = std::filesystem;
using testing::TempFolder;

constexpr std::int64_t kT0 = 1796731500000; // 2026-12-08 12:05:00 UTC, a minute's start

std::vector<Reading> ReadAll(const fs::path& file) {
  RecordReader reader;
  EXPECT_EQ(reader.Open(file), std::nullopt);
  std::vector<Reading> all;
  EXPECT_TRUE(reader.ForEachReading({}, [&](const Reading& r) { all.push_back(r); return true; }));
  return all;
}

std::string IntegrityCheck(const fs::path& file) {
  sql::Database db;
  if (db.Open(file, SQLITE_OPEN_READONLY) != SQLITE_OK) return "cannot open";
  sql::Statement s(db, "PRAGMA integrity_check");
  return s.valid() && s.Step() == SQLITE_ROW ? std::string(s.Text(0)) : db.ErrorText();
}

Reading Resistivity(std::int64_t timeMs, double value, const char* unit, std::int64_t pass = 1) {
  return {.timeMs = timeMs, .pass = pass, .channel = 2, .station = 7, .block = Block::Ext, .type = "Wiederderstand",
          .marker = "Permeat", .ok = true, .reason = {},
          .values = {{"main", value, unit}, {"temperature", 21.5, "°C"}}, .text = "label"};
}

TEST(Recorder, OnePassIsStoredWholeWithItsMinuteSummaryAndEvents) {
  TempFolder dir;
  const Reading flow{.timeMs = kT0 + 100, .pass = 1, .station = 3, .typeIndex = 5, .type = "Durchfluss",
                     .marker = "Zulauf; Nord", .ok = true, .reason = {},
                     .values = {{"main", 12.5, "m3/h"}, {"temperature", 20.1, "°C"}, {"day_volume", 94, "m3"},
                                {"total_volume", std::nullopt, "m3"}},
                     .text = "  12.50  m3/h\r\n 94   m3  ", .alarm = AlarmState::High};
  const Reading refused{.timeMs = kT0 + 200, .pass = 1, .channel = 1, .station = 4, .typeIndex = 2, .type = "pH",
                        .marker = {}, .failure = FailureKind::Exception,
                        .reason = "Station 4 lehnt die Anfrage ab (Ausnahme 2)",
                        .exceptionCode = 2, .values = {}, .text = "Außer Betrieb"};
  const Reading kOhm = Resistivity(kT0 + 300, 800, "kOhm");
  const Reading mOhm = Resistivity(kT0 + 1300, 1.2, "MOhm", 2);
  const AlarmEvent event{kT0 + 100, 0, true, AlarmState::High,
                         12.5, 12, "m3/h", "Kanal 0: oberer Grenzwert überschritten"};

  Recorder recorder({.file = dir / "Messwerte.sqlite"});
  EXPECT_EQ(recorder.RecordPass({flow, refused, kOhm}, {event}).kind, RecordChange::Kind::None);
  EXPECT_EQ(recorder.RecordPass({mOhm}).kind, RecordChange::Kind::None);

  EXPECT_EQ(ReadAll(dir / "Messwerte.sqlite"), (std::vector<Reading>{flow, refused, kOhm, mOhm}));
  RecordReader reader;
  ASSERT_EQ(reader.Open(dir / "Messwerte.sqlite"), std::nullopt);
  EXPECT_EQ(reader.AlarmEvents({}), std::vector<AlarmEvent>{event});

  // The two resistivity readings meet in one minute row, in kOhm.
  sql::Statement minute(reader.db(), "SELECT minute, unit, min, mean, max, count FROM minute "
                                     "WHERE channel = 2 AND quantity = 'main'");
  ASSERT_EQ(minute.Step(), SQLITE_ROW);
  EXPECT_EQ(std::tuple(minute.Int(0), std::string(minute.Text(1)), minute.Real(2), minute.Real(3), minute.Real(4),
                       minute.Int(5)),
            std::tuple(kT0 / 60000, "kOhm", 800.0, 1000.0, 1200.0, 2));
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
  const auto file = dir / "other.sqlite";
  for (const char* setup : {"PRAGMA user_version=2; CREATE TABLE x(a);", "CREATE TABLE foreign_table(a);"}) {
    SCOPED_TRACE(setup);
    fs::remove(file);
    sql::Database db;
    ASSERT_EQ(db.Open(file, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE), SQLITE_OK);
    ASSERT_EQ(db.Exec(setup), SQLITE_OK);
    Recorder recorder({.file = file});
    EXPECT_EQ(recorder.RecordPass({Resistivity(kT0, 1, "kOhm")}).kind, RecordChange::Kind::Paused);
    RecordReader reader;
    EXPECT_NE(reader.Open(file), std::nullopt);
    EXPECT_EQ(db.Integer("SELECT count(*) FROM sqlite_schema"), 1);
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

// A full disk, or a medium write-protected from the start (a file system with
// a file open for writing cannot be made read-only), on a small tmpfs of the
// test's own; mounting needs root (as in CI).
TEST(Recorder, AFullOrWriteProtectedDiskPausesOnceAndResumesWithNothingLost) {
  for (const bool full : {true, false}) {
    SCOPED_TRACE(full ? "full" : "read-only");
    TempFolder dir;
    const auto disk = dir / "disk", file = disk / "Messwerte.sqlite", filler = disk / "filler";
    fs::create_directories(disk);
    auto mountDisk = [&](unsigned long flags) { return mount("tmpfs", disk.c_str(), "tmpfs", flags, "size=512k") == 0; };
    if (!mountDisk(0)) GTEST_SKIP() << "cannot mount a small tmpfs here (needs root)";
    const std::shared_ptr<void> unmount(nullptr, [&](void*) { umount2(disk.c_str(), MNT_DETACH); });
    Recorder recorder({.file = file, .retryMs = 0});
    ReadingGenerator generator(kT0, 1000, 3);
    std::int64_t passes = 0;
    auto record = [&] { ++passes; return recorder.RecordPass(generator.NextPass()); };
    std::vector<RecordChange> changes;
    if (full) {
      ASSERT_EQ(record().kind, RecordChange::Kind::None);
      // Fill the disk up to the last few kilobytes, then record into it.
      std::ofstream(filler, std::ios::binary) << std::string(480 * 1024, 'x');
      while (!recorder.paused() && passes < 5000) changes.push_back(record());
    } else {
      ASSERT_TRUE(mountDisk(MS_REMOUNT | MS_RDONLY));
      for (int k = 0; k < 3; ++k) changes.push_back(record());
    }
    ASSERT_TRUE(recorder.paused());
    for (int k = 0; k < 20; ++k) changes.push_back(record()); // measuring goes on
    int pausedMessages = 0;
    for (const RecordChange& ch : changes) {
      EXPECT_NE(ch.kind, RecordChange::Kind::Resumed);
      if (ch.kind != RecordChange::Kind::Paused) continue;
      ++pausedMessages;
      EXPECT_NE(ch.message.find(full ? "Datenträger voll" : "schreibgeschützt"), std::string::npos) << ch.message;
    }
    EXPECT_EQ(pausedMessages, 1);

    if (full) fs::remove(filler);
    else ASSERT_TRUE(mountDisk(MS_REMOUNT));
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
  ASSERT_EQ(recorder.RecordPass(generator.NextPass()).kind, RecordChange::Kind::None);
  sql::Database db;
  ASSERT_EQ(db.Open(file, SQLITE_OPEN_READONLY), SQLITE_OK);
  auto count = [&](const char* query) { return *db.Integer(query); };
  std::int64_t previous = count("SELECT count(*) FROM reading"), largestDrop = 0;
  while (generator.nextTimeMs() < kT0 + 4 * kDay + 3600000) {
    recorder.RecordPass(generator.NextPass());
    const std::int64_t rows = count("SELECT count(*) FROM reading");
    largestDrop = std::max(largestDrop, previous + 4 - rows);
    previous = rows;
  }
  EXPECT_LE(largestDrop, 200);
  EXPECT_GT(largestDrop, 0);
  // Between n and n + 1 days of rows kept n days: the last run was less than a day ago.
  const std::int64_t newest = count("SELECT max(time_ms) FROM reading");
  for (const auto& [days, oldest] : {std::pair{1, count("SELECT min(time_ms) FROM reading")},
                                     {2, count("SELECT min(minute) FROM minute") * 60000}}) {
    EXPECT_GT(newest - oldest, days * kDay - 60000) << days;
    EXPECT_LT(newest - oldest, (days + 1) * kDay) << days;
  }
}

} // namespace
} // namespace trelvan
