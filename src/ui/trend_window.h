#pragma once
// "Verlauf", the trend window: the channels' main values over time from the
// measurement record, each channel in its family's base unit (a range change
// of the instrument makes no jump), one axis per unit, temperatures on
// request, limit lines, gaps where readings failed.
//
// TrendPlot draws; TrendWindow adds the controls (ranges 10 min, 1 h, 24 h,
// 7 days and a free one; channels; temperature; live). The plot reads the
// per-minute table for views over two hours and the raw rows below, keeps a
// margin around the view so that panning and zooming redraw from memory, and
// draws at most a minimum and a maximum per pixel column.
//
// Keys: Left/Right pan a tenth, Page Up/Down a whole view, + and - zoom,
// Ctrl+Left/Right move the cursor by a column, Home returns to now (live).
// Mouse: drag pans, the wheel zooms around the pointer, moving shows the
// cursor with time and values.

#include <QPointer>
#include <QWidget>
#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "core/limits.h"
#include "record/sqlite.h"
#include "record/trend_series.h"

class QButtonGroup;
class QCheckBox;
class QDateTimeEdit;
class QLabel;
class QTimer;

namespace trelvan {

class TrendPlot : public QWidget {
  Q_OBJECT

 public:
  explicit TrendPlot(QWidget* parent = nullptr);

  // Opens the record read-only; the German reason when it cannot.
  std::optional<std::string> OpenRecord(const std::filesystem::path& file);

  void SetChannels(const std::vector<int>& channels);
  void SetTemperature(bool on);
  void SetLimits(const LimitTable& limits);
  void SetDecimalSeparator(const std::string& separator) { decimalSeparator_ = separator; }
  bool isOpen() const { return db_.isOpen(); }

  // Shows [fromMs, toMs), loading what the view needs.
  void SetView(std::int64_t fromMs, std::int64_t toMs);
  std::int64_t viewFrom() const { return viewFrom_; }
  std::int64_t viewTo() const { return viewTo_; }
  // Moves the view by a fraction of its span (negative: to the past).
  void Pan(double fraction);
  // Scales the span by `factor` (< 1 zooms in) around a point of the view
  // (0 its left edge, 1 its right edge).
  void Zoom(double factor, double anchor = 0.5);
  // Reads the record again (new readings) for the current view.
  void Reload();

  // The cursor at a plot column; -1 hides it.
  void SetCursorColumn(int column);
  QString cursorText() const;

  // What the last load read, for the benchmark and tests.
  const TrendData& loaded() const { return data_; }
  int plotWidth() const;

 signals:
  void viewChangedByOperator(); // pan, zoom, drag: the view no longer follows now
  void returnToNow();           // Home
  void cursorMoved(const QString& text);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void leaveEvent(QEvent* event) override;

 private:
  struct Axis {
    std::string unit;
    double low = 0, high = 1;
  };
  void EnsureLoaded();
  void Load();
  std::vector<Axis> Axes(const std::vector<std::vector<TrendColumn>>& columns) const;
  QRect PlotRect(std::size_t axisCount) const;
  std::size_t UnitCount() const; // one axis each

  sql::Database db_;
  std::vector<int> channels_{0, 1, 2, 3};
  bool temperature_ = false;
  LimitTable limits_{};
  std::string decimalSeparator_ = ".";
  std::int64_t viewFrom_ = 0, viewTo_ = 1;
  TrendData data_;
  bool loadedTemperature_ = false;
  std::vector<int> loadedChannels_;
  std::string error_;
  int cursorColumn_ = -1;
  std::optional<QPoint> dragStart_;
  std::int64_t dragFrom_ = 0;
};

class TrendWindow : public QWidget {
  Q_OBJECT

 public:
  enum class Range { TenMinutes, OneHour, OneDay, SevenDays, Free };

  // `record` is the measurement record ("Messwerte.sqlite"); the window reads
  // it and never writes it, so it may belong to another program.
  explicit TrendWindow(std::filesystem::path record, QWidget* parent = nullptr);

  // Opens the record (again) and shows the chosen range up to now.
  void Open();
  void SetLimits(const LimitTable& limits);
  // Of the numbers at the axes and the cursor (the user's locale).
  void SetDecimalSeparator(const std::string& separator);
  void SelectRange(Range range);
  // Follow the newest readings (the view ends at now and moves on).
  void SetLive(bool on);
  bool live() const;

  TrendPlot* plot() const { return plot_; }

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  void ApplyChannels();
  void ShowFreeRange();
  void LiveTick();
  std::int64_t SpanOf(Range range) const;

  std::filesystem::path record_;
  Range range_ = Range::OneHour;
  TrendPlot* plot_ = nullptr;
  QButtonGroup* ranges_ = nullptr;
  std::array<QCheckBox*, 4> channelBoxes_{};
  QCheckBox* temperature_ = nullptr;
  QCheckBox* live_ = nullptr;
  QDateTimeEdit* freeFrom_ = nullptr;
  QDateTimeEdit* freeTo_ = nullptr;
  QLabel* status_ = nullptr;
  QTimer* liveTimer_ = nullptr;
  std::int64_t lastLiveLoad_ = 0;
};

} // namespace trelvan
