#include "trend_series.h"

#include <algorithm>
#include <map>
#include <tuple>

#include "core/base_unit.h"
#include "record/record_reader.h"
#include "record/record_schema.h"

namespace trelvan {

namespace {

using SeriesKey = std::tuple<int, std::string, std::string>; // channel, quantity, unit

class SeriesSet {
 public:
  TrendSeries& Of(int channel, const std::string& quantity, const std::string& unit) {
    auto [it, added] = index_.try_emplace(SeriesKey{channel, quantity, unit}, series_.size());
    if (added) series_.push_back({channel, quantity, unit, {}});
    return series_[it->second];
  }
  // A failed reading breaks every line of its channel.
  void Gap(int channel, std::int64_t timeMs) {
    for (TrendSeries& s : series_)
      if (s.channel == channel && (s.points.empty() || !s.points.back().gap))
        s.points.push_back({timeMs, 0, 0, 0, true});
  }
  std::vector<TrendSeries> Take() { return std::move(series_); }

 private:
  std::map<SeriesKey, std::size_t> index_;
  std::vector<TrendSeries> series_;
};

} // namespace

TrendData LoadTrend(sql::Database& db, std::int64_t fromMs, std::int64_t toMs, const std::vector<int>& channels,
                    bool temperature, TrendSource source, std::string* error) {
  TrendData data;
  data.fromMs = fromMs;
  data.toMs = toMs;
  data.source = source;
  const bool fromMinutes = source == TrendSource::Minutes;
  SeriesSet set;
  RecordRange range;
  range.channels = channels;
  std::string sqlText;
  if (fromMinutes) {
    range.fromMs = RecordMinuteOf(fromMs);
    range.toMs = RecordMinuteOf(toMs - 1) + 1;
    sqlText = "SELECT minute, channel, quantity, unit, min, mean, max FROM minute" +
              RangeCondition(range, "minute") +
              (temperature ? " AND quantity IN ('main','temperature')" : " AND quantity = 'main'") +
              " ORDER BY minute";
  } else {
    range.fromMs = fromMs;
    range.toMs = toMs;
    sqlText = std::string("SELECT time_ms, channel, type_index, ok, main, main_unit") +
              (temperature ? ", temperature, temperature_unit" : "") + " FROM reading" +
              RangeCondition(range, "time_ms") + " ORDER BY time_ms";
  }
  sql::Statement s(db, sqlText);
  if (!s.valid()) {
    if (error) *error = db.GermanErrorText();
    return data;
  }
  BindRange(s, range);
  int rc;
  while ((rc = s.Step()) == SQLITE_ROW) {
    const int channel = static_cast<int>(s.Int(1));
    if (fromMinutes) {
      const std::int64_t t = s.Int(0) * kRecordMinuteMs + kRecordMinuteMs / 2;
      const std::string quantity(s.Text(2));
      TrendSeries& series = set.Of(channel, quantity, std::string(s.Text(3)));
      series.points.push_back({t, s.Real(5), s.Real(4), s.Real(6), false});
      continue;
    }
    const std::int64_t t = s.Int(0);
    const int typeIndex = static_cast<int>(s.Int(2));
    const bool ok = s.Int(3) != 0;
    bool any = false;
    for (const int column : {4, 6}) {
      if (!ok || (column == 6 && !temperature) || s.IsNull(column)) continue;
      const BaseValue v = ToBaseUnit(typeIndex, s.Real(column), s.Text(column + 1));
      TrendSeries& series = set.Of(channel, column == 4 ? "main" : "temperature", v.unit);
      series.points.push_back({t, v.value, v.value, v.value, false});
      any = true;
    }
    if (!any) set.Gap(channel, t);
  }
  if (rc != SQLITE_DONE) {
    if (error) *error = db.GermanErrorText();
    return data;
  }
  data.series = set.Take();
  return data;
}

std::vector<TrendColumn> DecimateTrend(const std::vector<TrendPoint>& points, std::int64_t fromMs,
                                       std::int64_t toMs, int width, std::int64_t gapMs) {
  std::vector<TrendColumn> columns(static_cast<std::size_t>(std::max(width, 0)));
  if (width <= 0 || toMs <= fromMs) return columns;
  const double perColumn = static_cast<double>(toMs - fromMs) / width;
  auto first = std::lower_bound(points.begin(), points.end(), fromMs,
                                [](const TrendPoint& p, std::int64_t t) { return p.timeMs < t; });
  // The point before the range joins the first column when no gap follows it.
  const TrendPoint* previous = first != points.begin() ? &*(first - 1) : nullptr;
  for (auto it = first; it != points.end() && it->timeMs < toMs; ++it) {
    const TrendPoint& p = *it;
    if (p.gap) {
      previous = &p;
      continue;
    }
    const int c = std::min(width - 1, static_cast<int>(static_cast<double>(p.timeMs - fromMs) / perColumn));
    TrendColumn& col = columns[static_cast<std::size_t>(c)];
    const bool joined = previous && !previous->gap && p.timeMs - previous->timeMs <= gapMs;
    if (!col.hasData) {
      col = {true, p.min, p.max, p.value, p.value, joined};
    } else {
      col.min = std::min(col.min, p.min);
      col.max = std::max(col.max, p.max);
      col.last = p.value;
    }
    previous = &p;
  }
  return columns;
}

} // namespace trelvan
