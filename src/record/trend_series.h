#pragma once
// The data of the trend window: the channels' main values (and temperatures
// on request) over a time range, each in its family's base unit, and their
// reduction to at most a minimum and a maximum per pixel column.
//
// Views up to kRawTrendSpanMs read the raw rows; longer ones read the
// per-minute table, so seven days of four channels are about 40,000 rows
// instead of 2.4 million. A failed reading, or a pause longer than the gap
// time of the source, breaks a line: gaps are drawn as gaps.

#include <cstdint>
#include <string>
#include <vector>

#include "record/sqlite.h"

namespace trelvan {

inline constexpr std::int64_t kRawTrendSpanMs = 2LL * 60 * 60 * 1000; // two hours
// Readings further apart than this are not joined by a line.
inline constexpr std::int64_t kRawGapMs = 15 * 1000;
inline constexpr std::int64_t kMinuteGapMs = 150 * 1000;

enum class TrendSource { Raw, Minutes };
// The source a view of `spanMs` reads.
constexpr TrendSource TrendSourceFor(std::int64_t spanMs) {
  return spanMs > kRawTrendSpanMs ? TrendSource::Minutes : TrendSource::Raw;
}

struct TrendPoint {
  std::int64_t timeMs = 0;
  double value = 0; // the reading's value, or a minute's mean
  double min = 0;   // equal to value for a raw reading
  double max = 0;
  bool gap = false; // no value here: the line breaks
};

struct TrendSeries {
  int channel = 0;
  std::string quantity; // "main" or "temperature"
  std::string unit;     // base unit
  std::vector<TrendPoint> points; // in time order
};

struct TrendData {
  std::int64_t fromMs = 0, toMs = 0;
  TrendSource source = TrendSource::Raw;
  std::vector<TrendSeries> series;
};

// Loads [fromMs, toMs) of `channels` (no channels: all four). Returns an
// empty TrendData (and leaves a German reason in `error`) when the record
// cannot be read.
TrendData LoadTrend(sql::Database& db, std::int64_t fromMs, std::int64_t toMs, const std::vector<int>& channels,
                    bool temperature, TrendSource source, std::string* error = nullptr);

// The gap time of a source: points further apart are not joined.
constexpr std::int64_t TrendGapMs(TrendSource source) {
  return source == TrendSource::Minutes ? kMinuteGapMs : kRawGapMs;
}

// One pixel column of a series.
struct TrendColumn {
  bool hasData = false;
  double min = 0, max = 0;   // over everything in the column
  double first = 0, last = 0; // where the line enters and leaves the column
  bool joinsPrevious = false; // a line runs from the last value of the nearest column
                              // before it that has data (no gap lies between)
};

// Reduces the points that fall into [fromMs, toMs) to `width` columns. Every
// point's min and max lands in its column, so no extreme is lost; a column
// joins the one before it when no gap lies between them.
std::vector<TrendColumn> DecimateTrend(const std::vector<TrendPoint>& points, std::int64_t fromMs,
                                       std::int64_t toMs, int width, std::int64_t gapMs);

} // namespace trelvan
