// The measurement record's costs, each against its yardstick in the same run:
//
//   bench_record recording [--passes N] [--interval-ms MS] [--dir DIR]
//       N passes of four channels through Recorder::RecordPass, one
//       transaction each (default 3600, as fast as it goes; --interval-ms 1000
//       paces them like the poll). Reports CPU time and bytes written per
//       pass and per hour at 1 Hz, and the file's growth per day.
//   bench_record trend --db FILE [--days N] [--width W --height H] [--png DIR]
//       Fills FILE with N days (default 7) when it does not exist, then times
//       the trend window for 1 day and for the whole span: open (read,
//       reduce, first paint) and redraw after a pan or zoom, against the same
//       work on the raw rows without reduction (every reading a polyline
//       point). --png saves what the window drew.
//   bench_record export --db FILE [--out FILE]
//       The whole record to CSV, as `trelvan-cli records` writes it.

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QPainter>
#include <QPolygonF>

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <thread>

#include "core/base_unit.h"
#include "core/time_text.h"
#include "record/reading_generator.h"
#include "record/record_export.h"
#include "record/record_reader.h"
#include "record/recorder.h"
#include "record/sqlite.h"
#include "ui/trend_window.h"

#ifdef TRELVAN_HAVE_QT_CHARTS
#include <QChart>
#include <QDateTime>
#include <QChartView>
#include <QDateTimeAxis>
#include <QLineSeries>
#include <QValueAxis>
#endif

namespace fs = std::filesystem;
using namespace trelvan;

namespace {

constexpr std::int64_t kDayMs = 86400000;

double CpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// wchar (bytes handed to write calls) and write_bytes (bytes sent towards the
// disk) of this process.
std::pair<long long, long long> WrittenBytes() {
  std::ifstream io("/proc/self/io");
  std::string key;
  long long value = 0, wchar = 0, disk = 0;
  while (io >> key >> value) {
    if (key == "wchar:") wchar = value;
    if (key == "write_bytes:") disk = value;
  }
  return {wchar, disk};
}

std::string Arg(int argc, char** argv, const char* name, std::string fallback) {
  for (int i = 2; i + 1 < argc; ++i)
    if (name == std::string(argv[i])) return argv[i + 1];
  return fallback;
}

long long FileBytes(const fs::path& db) {
  std::error_code ec;
  long long total = 0;
  for (const char* suffix : {"", "-wal"}) {
    const auto size = fs::file_size(db.string() + suffix, ec);
    if (!ec) total += static_cast<long long>(size);
  }
  return total;
}

int Recording(int argc, char** argv) {
  const long passes = std::stol(Arg(argc, argv, "--passes", "3600"));
  const int interval = std::stoi(Arg(argc, argv, "--interval-ms", "0"));
  const fs::path dir = Arg(argc, argv, "--dir", fs::temp_directory_path().string());
  const fs::path db = dir / ("bench-record-" + std::to_string(::getpid()) + ".sqlite");
  ReadingGenerator generator(NowMs() - passes * 1000, 1000, 1);
  std::vector<std::vector<Reading>> all;
  for (long k = 0; k < passes; ++k) all.push_back(generator.NextPass());
  long long sizeAfterFirst = 0;
  double cpu0 = 0;
  std::pair<long long, long long> io0;
  QElapsedTimer wall;
  {
    Recorder recorder({.file = db});
    recorder.RecordPass(all[0]); // creates the file
    sizeAfterFirst = FileBytes(db);
    cpu0 = CpuSeconds();
    io0 = WrittenBytes();
    wall.start();
    for (long k = 1; k < passes; ++k) {
      recorder.RecordPass(all[static_cast<std::size_t>(k)]);
      if (interval > 0) std::this_thread::sleep_for(std::chrono::milliseconds(interval));
    }
  }
  const double cpu = CpuSeconds() - cpu0;
  const auto io1 = WrittenBytes();
  const double perPass = 1.0 / static_cast<double>(passes - 1);
  // The file after closing (the log checkpointed into it).
  const long long size = FileBytes(db);
  std::printf("recording: %ld passes of 4 readings, one transaction each, %.1f s wall\n", passes - 1,
              static_cast<double>(wall.elapsed()) / 1000);
  std::printf("  CPU   %.1f us a pass -> %.2f s an hour at 1 Hz (%.3f %% of a core)\n", cpu * perPass * 1e6,
              cpu * perPass * 3600, cpu * perPass * 100);
  std::printf("  write calls %.1f KiB a pass -> %.1f MiB an hour; towards the disk %.1f KiB a pass -> %.1f MiB an hour\n",
              static_cast<double>(io1.first - io0.first) * perPass / 1024,
              static_cast<double>(io1.first - io0.first) * perPass * 3600 / 1048576,
              static_cast<double>(io1.second - io0.second) * perPass / 1024,
              static_cast<double>(io1.second - io0.second) * perPass * 3600 / 1048576);
  std::printf("  file  %.1f bytes a reading -> %.1f MB a day (4 channels at 1 Hz)\n",
              static_cast<double>(size - sizeAfterFirst) * perPass / 4,
              static_cast<double>(size - sizeAfterFirst) * perPass * 86400 / 1e6);
  fs::remove(db);
  fs::remove(db.string() + "-wal");
  fs::remove(db.string() + "-shm");
  return 0;
}

struct RawBaseline {
  std::map<std::pair<int, std::string>, std::vector<std::pair<std::int64_t, double>>> series;
  QImage image;
};

// The same view from the raw rows: every reading read, converted and drawn.
void LoadRaw(sql::Database& db, std::int64_t from, std::int64_t to, RawBaseline& b) {
  b.series.clear();
  sql::Statement s(db, "SELECT time_ms, channel, type_index, main, main_unit FROM reading "
                       "WHERE time_ms >= ?1 AND time_ms < ?2 AND ok = 1 AND main IS NOT NULL ORDER BY time_ms");
  s.Bind(1, from);
  s.Bind(2, to);
  while (s.Step() == SQLITE_ROW) {
    const BaseValue v = ToBaseUnit(static_cast<int>(s.Int(2)), s.Real(3), s.Text(4));
    b.series[{static_cast<int>(s.Int(1)), v.unit}].emplace_back(s.Int(0), v.value);
  }
}

void DrawRaw(RawBaseline& b, std::int64_t from, std::int64_t to, QSize size) {
  b.image = QImage(size, QImage::Format_RGB32);
  b.image.fill(Qt::white);
  QPainter p(&b.image);
  QPolygonF line;
  for (const auto& [key, points] : b.series) {
    double lo = points.front().second, hi = lo;
    for (const auto& pt : points) lo = std::min(lo, pt.second), hi = std::max(hi, pt.second);
    line.clear();
    line.reserve(static_cast<qsizetype>(points.size()));
    for (const auto& [t, v] : points)
      line << QPointF(static_cast<double>(t - from) / static_cast<double>(to - from) * size.width(),
                      size.height() - (v - lo) / std::max(hi - lo, 1e-9) * size.height());
    p.setPen(QPen(QColor::fromHsv(key.first * 80, 200, 180), 1.5));
    p.drawPolyline(line);
  }
}

double Ms(const QElapsedTimer& t) { return static_cast<double>(t.nsecsElapsed()) / 1e6; }

#ifdef TRELVAN_HAVE_QT_CHARTS
// Qt Charts fed with the same reduced columns (a minimum and a maximum point
// per column and series), one value axis per unit, drawn into an image of
// the plot's size: the other way to draw the trend.
struct ChartsPlot {
  QChart* chart = new QChart;
  QChartView view{chart};
  QDateTimeAxis* time = new QDateTimeAxis;
  std::vector<QLineSeries*> series;
  std::map<std::string, QValueAxis*> axes;

  explicit ChartsPlot(QSize size) {
    view.resize(size);
    chart->legend()->hide();
    chart->addAxis(time, Qt::AlignBottom);
  }
  void Fill(const TrendData& data, std::int64_t from, std::int64_t to, int width) {
    std::map<std::string, std::pair<double, double>> ranges;
    for (std::size_t i = 0; i < data.series.size(); ++i) {
      const TrendSeries& s = data.series[i];
      if (series.size() <= i) {
        series.push_back(new QLineSeries);
        chart->addSeries(series.back());
        series.back()->attachAxis(time);
        auto [it, added] = axes.try_emplace(s.unit, nullptr);
        if (added) {
          it->second = new QValueAxis;
          chart->addAxis(it->second, Qt::AlignLeft);
        }
        series.back()->attachAxis(it->second);
      }
      QList<QPointF> points;
      const auto columns = DecimateTrend(s.points, from, to, width, TrendGapMs(data.source));
      for (int c = 0; c < width; ++c) {
        const TrendColumn& col = columns[static_cast<std::size_t>(c)];
        if (!col.hasData) continue;
        const double t = static_cast<double>(from) + (c + 0.5) * static_cast<double>(to - from) / width;
        points << QPointF(t, col.min) << QPointF(t, col.max);
        auto [r, added] = ranges.try_emplace(s.unit, col.min, col.max);
        if (!added) r->second = {std::min(r->second.first, col.min), std::max(r->second.second, col.max)};
      }
      series[i]->replace(points);
    }
    time->setRange(QDateTime::fromMSecsSinceEpoch(from), QDateTime::fromMSecsSinceEpoch(to));
    for (auto& [unit, axis] : axes)
      if (ranges.count(unit)) axis->setRange(ranges[unit].first, ranges[unit].second);
  }
};
#endif

int Trend(int argc, char** argv) {
  const fs::path db = Arg(argc, argv, "--db", "");
  const double days = std::stod(Arg(argc, argv, "--days", "7"));
  const int width = std::stoi(Arg(argc, argv, "--width", "1280"));
  const int height = std::stoi(Arg(argc, argv, "--height", "720"));
  const std::string png = Arg(argc, argv, "--png", "");
  if (db.empty()) return 2;
  if (!fs::exists(db)) {
    std::printf("filling %s with %.0f days ...\n", db.c_str(), days);
    const auto passes = static_cast<std::int64_t>(days * 86400);
    ReadingGenerator generator(NowMs() - passes * 1000, 1000, 1);
    Recorder recorder({.file = db});
    std::vector<std::vector<Reading>> batch;
    for (std::int64_t k = 0; k < passes; ++k) {
      batch.push_back(generator.NextPass());
      if (batch.size() == 3600 || k + 1 == passes) {
        if (auto problem = recorder.RecordBulk(batch)) {
          std::fprintf(stderr, "%s\n", problem->c_str());
          return 1;
        }
        batch.clear();
      }
    }
  }
  RecordReader reader;
  if (auto problem = reader.Open(db)) {
    std::fprintf(stderr, "%s\n", problem->c_str());
    return 1;
  }
  const auto span = *reader.TimeSpan();
  const std::int64_t end = span.second + 1;
  std::printf("trend: %s, %.1f days of readings, window %dx%d\n", db.c_str(),
              static_cast<double>(span.second - span.first) / kDayMs, width, height);
  for (const std::int64_t viewSpan : {kDayMs, end - span.first}) {
    const std::int64_t from = end - viewSpan;
    // Open: the window made, the record read, reduced and painted.
    QElapsedTimer t;
    t.start();
    TrendWindow window(db);
    window.resize(width, height);
    window.show();
    window.Open();
    window.SetLive(false);
    window.plot()->SetView(from, end);
    QImage first = window.grab().toImage();
    const double open = Ms(t);
    std::size_t points = 0;
    for (const TrendSeries& s : window.plot()->loaded().series) points += s.points.size();
    // Redraw after pans and zooms that stay within what was read.
    const int steps = 20;
    t.start();
    for (int k = 0; k < steps; ++k) {
      if (k % 2 == 0) window.plot()->Pan(k % 4 == 0 ? 0.1 : -0.1);
      else window.plot()->Zoom(k % 4 == 1 ? 0.8 : 1.25);
      window.plot()->grab();
    }
    const double redraw = Ms(t) / steps;
    if (!png.empty()) first.save(QString::fromStdString(png + "/trend-" + std::to_string(viewSpan / 3600000) + "h.png"));

#ifdef TRELVAN_HAVE_QT_CHARTS
    {
      // The same view and the same pans and zooms through Qt Charts.
      TrendPlot* plot = window.plot();
      plot->SetView(from, end);
      t.start();
      ChartsPlot charts(plot->size());
      charts.Fill(plot->loaded(), from, end, plot->plotWidth());
      charts.view.grab();
      const double chartsOpen = Ms(t);
      t.start();
      for (int k = 0; k < steps; ++k) {
        if (k % 2 == 0) plot->Pan(k % 4 == 0 ? 0.1 : -0.1);
        else plot->Zoom(k % 4 == 1 ? 0.8 : 1.25);
        charts.Fill(plot->loaded(), plot->viewFrom(), plot->viewTo(), plot->plotWidth());
        charts.view.grab();
      }
      const double chartsRedraw = Ms(t) / steps;
      std::printf("  %5.1f days: Qt Charts on the same columns: first draw %6.1f ms, redraw %6.2f ms "
                  "(QPainter plot: redraw %.2f ms)\n",
                  static_cast<double>(viewSpan) / kDayMs, chartsOpen, chartsRedraw, redraw);
    }
#endif

    // The yardstick: every raw row of the view read and drawn as a polyline.
    sql::Database& rawDb = reader.db();
    RawBaseline baseline;
    t.start();
    LoadRaw(rawDb, from, end, baseline);
    DrawRaw(baseline, from, end, window.plot()->size());
    const double rawOpen = Ms(t);
    std::size_t rawPoints = 0;
    for (const auto& [key, pts] : baseline.series) rawPoints += pts.size();
    t.start();
    const int rawSteps = 3;
    for (int k = 0; k < rawSteps; ++k) {
      const std::int64_t shift = (k % 2 ? -1 : 1) * viewSpan / 10;
      DrawRaw(baseline, from + shift, end + shift, window.plot()->size());
    }
    const double rawRedraw = Ms(t) / rawSteps;
    std::printf("  %5.1f days: open %7.1f ms (%zu points read), redraw %6.2f ms | raw rows: open %8.1f ms "
                "(%zu readings), redraw %7.1f ms | ratio open %.0fx, redraw %.0fx\n",
                static_cast<double>(viewSpan) / kDayMs, open, points, redraw, rawOpen, rawPoints, rawRedraw,
                rawOpen / open, rawRedraw / redraw);
  }
  return 0;
}

int Export(int argc, char** argv) {
  const fs::path db = Arg(argc, argv, "--db", "");
  const fs::path out = Arg(argc, argv, "--out", (fs::temp_directory_path() / "bench-record-export.csv").string());
  RecordReader reader;
  if (auto problem = reader.Open(db)) {
    std::fprintf(stderr, "%s\n", problem->c_str());
    return 1;
  }
  QElapsedTimer t;
  t.start();
  const double cpu0 = CpuSeconds();
  const RecordExportResult r = ExportRecordToFile(reader, {}, RecordFormat::Csv, ",", out);
  const double ms = Ms(t);
  if (!r.ok) {
    std::fprintf(stderr, "%s\n", r.error.c_str());
    return 1;
  }
  const auto bytes = fs::file_size(out);
  std::printf("export: %lld readings to CSV in %.1f s (CPU %.1f s), %.0f MB, %.0f readings/s\n",
              static_cast<long long>(r.readings), ms / 1000, CpuSeconds() - cpu0, static_cast<double>(bytes) / 1e6,
              static_cast<double>(r.readings) / (ms / 1000));
  fs::remove(out);
  return 0;
}

} // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "recording") return Recording(argc, argv);
  if (mode == "trend") return Trend(argc, argv);
  if (mode == "export") return Export(argc, argv);
  std::fprintf(stderr, "bench_record recording|trend|export [options]\n");
  return 2;
}
