#include "record_reader.h"

#include <array>

#include "record/record_schema.h"

namespace trelvan {

std::string RangeCondition(const RecordRange& range, std::string_view timeColumn) {
  std::string where = " WHERE 1";
  int index = 1;
  if (range.fromMs) where += " AND " + std::string(timeColumn) + " >= ?" + std::to_string(index++);
  if (range.toMs) where += " AND " + std::string(timeColumn) + " < ?" + std::to_string(index++);
  if (!range.channels.empty()) {
    where += " AND channel IN (";
    for (std::size_t k = 0; k < range.channels.size(); ++k)
      where += (k ? ",?" : "?") + std::to_string(index++);
    where += ")";
  }
  return where;
}

void BindRange(sql::Statement& s, const RecordRange& range) {
  int index = 1;
  if (range.fromMs) s.Bind(index++, *range.fromMs);
  if (range.toMs) s.Bind(index++, *range.toMs);
  for (int channel : range.channels) s.Bind(index++, channel);
}

std::optional<std::string> RecordReader::Open(const std::filesystem::path& file) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(file, ec))
    return "Keine Aufzeichnung gefunden: " + file.string();
  if (db_.Open(file, SQLITE_OPEN_READONLY) != SQLITE_OK)
    return "Die Aufzeichnung kann nicht geöffnet werden: " + file.string();
  sqlite3_busy_timeout(db_.handle(), 2000);
  const int version = RecordSchemaVersion(db_);
  if (version == kRecordSchemaVersion) return std::nullopt;
  std::string why = version == 0 ? "Die Datei ist keine Aufzeichnung dieses Programms: " + file.string()
                                 : "Die Aufzeichnung hat Schema-Version " + std::to_string(version) +
                                       ", dieses Programm kennt " + std::to_string(kRecordSchemaVersion) + ".";
  db_.Close();
  return why;
}

bool RecordReader::ForEachReading(const RecordRange& range, const std::function<bool(const Reading&)>& each) {
  sql::Statement s(db_,
                   "SELECT time_ms,pass,channel,station,block,type_index,type,marker,ok,error,reason,"
                   "exception_code,main,main_unit,temperature,temperature_unit,second,second_unit,day_volume,"
                   "day_volume_unit,total_volume,total_volume_unit,text,alarm FROM reading" +
                       RangeCondition(range, "time_ms") + " ORDER BY time_ms, id");
  if (!s.valid()) {
    error_ = db_.GermanErrorText();
    return false;
  }
  BindRange(s, range);
  Reading r;
  int rc;
  while ((rc = s.Step()) == SQLITE_ROW) {
    r.timeMs = s.Int(0);
    r.pass = s.Int(1);
    r.channel = static_cast<int>(s.Int(2));
    r.station = static_cast<int>(s.Int(3));
    r.block = s.Text(4) == BlockId(Block::Ext) ? Block::Ext : Block::Master;
    r.typeIndex = static_cast<int>(s.Int(5));
    r.type = s.Text(6);
    r.marker = s.Text(7);
    r.ok = s.Int(8) != 0;
    r.failure = FailureKindFromId(s.Text(9)).value_or(FailureKind::None);
    r.reason = s.Text(10);
    r.exceptionCode = static_cast<int>(s.Int(11));
    r.values.clear();
    for (std::size_t k = 0; k < kRecordValueColumns.size(); ++k) {
      const int column = 12 + 2 * static_cast<int>(k);
      if (s.IsNull(column + 1)) continue; // the reading has no such value
      r.values.push_back({std::string(kRecordValueColumns[k]), s.OptionalReal(column), std::string(s.Text(column + 1))});
    }
    r.text = s.Text(22);
    const std::string_view alarm = s.Text(23);
    r.alarm = alarm == AlarmStateId(AlarmState::Low)    ? AlarmState::Low
              : alarm == AlarmStateId(AlarmState::High) ? AlarmState::High
                                                        : AlarmState::None;
    if (!each(r)) return true;
  }
  if (rc != SQLITE_DONE) {
    error_ = db_.GermanErrorText();
    return false;
  }
  return true;
}

std::vector<AlarmEvent> RecordReader::AlarmEvents(const RecordRange& range) {
  std::vector<AlarmEvent> events;
  sql::Statement s(db_, "SELECT time_ms,channel,raised,state,value,bound,unit,text FROM alarm_event" +
                            RangeCondition(range, "time_ms") + " ORDER BY time_ms, id");
  if (!s.valid()) return events;
  BindRange(s, range);
  while (s.Step() == SQLITE_ROW) {
    AlarmEvent e;
    e.timeMs = s.Int(0);
    e.channel = static_cast<int>(s.Int(1));
    e.raised = s.Int(2) != 0;
    e.state = s.Text(3) == AlarmStateId(AlarmState::Low) ? AlarmState::Low : AlarmState::High;
    e.value = s.Real(4);
    e.limit = s.Real(5);
    e.unit = s.Text(6);
    e.text = s.Text(7);
    events.push_back(std::move(e));
  }
  return events;
}

std::optional<std::pair<std::int64_t, std::int64_t>> RecordReader::TimeSpan() {
  sql::Statement s(db_, "SELECT min(time_ms), max(time_ms) FROM reading");
  if (!s.valid() || s.Step() != SQLITE_ROW || s.IsNull(0)) return std::nullopt;
  return std::pair{s.Int(0), s.Int(1)};
}

} // namespace trelvan
