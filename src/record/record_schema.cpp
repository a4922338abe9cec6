#include "record_schema.h"

#include "core/time_text.h"

namespace trelvan {

namespace {

constexpr std::string_view kCreate = R"sql(
CREATE TABLE IF NOT EXISTS meta(key TEXT PRIMARY KEY, value TEXT) WITHOUT ROWID;
CREATE TABLE IF NOT EXISTS reading(
  id INTEGER PRIMARY KEY,
  time_ms INTEGER NOT NULL,
  pass INTEGER NOT NULL,
  channel INTEGER NOT NULL,
  station INTEGER NOT NULL,
  block TEXT NOT NULL,
  type_index INTEGER NOT NULL,
  type TEXT NOT NULL,
  marker TEXT NOT NULL,
  ok INTEGER NOT NULL,
  error TEXT,
  reason TEXT,
  exception_code INTEGER,
  main REAL, main_unit TEXT,
  temperature REAL, temperature_unit TEXT,
  second REAL, second_unit TEXT,
  day_volume REAL, day_volume_unit TEXT,
  total_volume REAL, total_volume_unit TEXT,
  text TEXT NOT NULL,
  alarm TEXT);
CREATE INDEX IF NOT EXISTS reading_time ON reading(time_ms);
CREATE TABLE IF NOT EXISTS minute(
  minute INTEGER NOT NULL,
  channel INTEGER NOT NULL,
  quantity TEXT NOT NULL,
  unit TEXT NOT NULL,
  min REAL NOT NULL,
  mean REAL NOT NULL,
  max REAL NOT NULL,
  count INTEGER NOT NULL,
  PRIMARY KEY(minute, channel, quantity, unit)) WITHOUT ROWID;
CREATE TABLE IF NOT EXISTS alarm_event(
  id INTEGER PRIMARY KEY,
  time_ms INTEGER NOT NULL,
  channel INTEGER NOT NULL,
  raised INTEGER NOT NULL,
  state TEXT NOT NULL,
  value REAL NOT NULL,
  bound REAL NOT NULL,
  unit TEXT NOT NULL,
  text TEXT NOT NULL);
CREATE INDEX IF NOT EXISTS alarm_event_time ON alarm_event(time_ms);
)sql";

} // namespace

int RecordSchemaVersion(sql::Database& db) {
  return static_cast<int>(db.Integer("PRAGMA user_version").value_or(0));
}

std::optional<std::string> PrepareRecordSchema(sql::Database& db) {
  const int version = RecordSchemaVersion(db);
  if (version == kRecordSchemaVersion) return std::nullopt;
  if (version > kRecordSchemaVersion)
    return "Die Aufzeichnung hat Schema-Version " + std::to_string(version) + ", dieses Programm kennt " +
           std::to_string(kRecordSchemaVersion) + ".";
  // A file without our version: new (no tables) or not ours.
  const auto tables = db.Integer("SELECT count(*) FROM sqlite_schema WHERE name NOT LIKE 'sqlite_%'");
  if (!tables) return "Die Datei ist keine lesbare Datenbank: " + db.ErrorText();
  if (*tables != 0) return "Die Datei ist keine Aufzeichnung dieses Programms.";
  std::string script = "BEGIN IMMEDIATE;";
  script += kCreate;
  script += "INSERT INTO meta VALUES('schema_version','" + std::to_string(kRecordSchemaVersion) + "');";
  script += "INSERT INTO meta VALUES('created_ms','" + std::to_string(NowMs()) + "');";
  script += "PRAGMA user_version=" + std::to_string(kRecordSchemaVersion) + ";COMMIT;";
  if (db.Exec(script) != SQLITE_OK) {
    const std::string why = db.ErrorText();
    db.Exec("ROLLBACK");
    return "Die Aufzeichnung kann nicht angelegt werden: " + why;
  }
  return std::nullopt;
}

} // namespace trelvan
