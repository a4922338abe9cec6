#pragma once
// The Diagnose window ("E&xtras", "&Diagnose"): per channel the counters of
// the running measurement, refreshed after each pass (once a second), and
// below them the frame monitor, every request and reply on the line in
// hexadecimal with its time, direction, station and outcome, taken every
// other second and shown page by page. The monitor can be paused, cleared,
// copied and saved as text; it keeps the last 10,000 frames. Opening the
// window changes nothing on the line: it only reads what the measurement
// records, and it repaints only what changed: the counter cells whose text
// changed and the new lines of the monitor.

#include <QAbstractScrollArea>
#include <QElapsedTimer>
#include <QWidget>

#include <cstdint>
#include <deque>

#include "core/prompter.h"
#include "live/station.h"

class QPushButton;
class QTableWidget;
class QTimer;

namespace trelvan {

// A bounded list of text lines that follows its end page by page as lines
// come. New lines only draw themselves, and the picture moves up only when a
// page turns: the lines already shown are not laid out and drawn again, nor
// moved, every second.
class FrameMonitor : public QAbstractScrollArea {
  Q_OBJECT
 public:
  explicit FrameMonitor(std::size_t capacity, QWidget* parent = nullptr);

  void Append(const QStringList& lines);
  void Clear();
  QString Text() const;
  std::size_t lineCount() const { return lines_.size(); }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void scrollContentsBy(int dx, int dy) override;

 private:
  int LineHeight() const;
  int VisibleLines() const;
  // The vertical range reaches at least `pageTop`: a turned page may show
  // fewer lines than it holds.
  void UpdateScrollBars(int pageTop = 0);

  std::size_t capacity_;
  std::deque<QString> lines_;
  int widest_ = 0; // pixels
  bool placing_ = false; // Append sets the scroll bars and moves the picture itself
};

class DiagnoseWindow : public QWidget {
  Q_OBJECT
 public:
  DiagnoseWindow(Station& station, Prompter& prompter, QWidget* parent = nullptr);

  // Brings the table up to date, and the monitor when it last took new
  // frames the monitor interval ago or more.
  void Refresh();
  // The monitor takes new frames when this long has passed since it last
  // took them: by default 1.5 s, so at one pass a second every other pass,
  // two passes' lines at a time. Drawing its lines is most of what the open
  // window costs, and a page of it holds many passes; the counters still
  // follow every pass.
  void setMonitorInterval(qint64 ms) { monitorIntervalMs_ = ms; }
  // A pass of the measurement ended: refreshes while the window can be seen.
  // Between passes nothing changes, so while a measurement runs this is the
  // only refresh and the window costs no wake-up of its own; the timer
  // refreshes only when no pass has ended for a while (no measurement, or
  // the line's other users).
  void PassEnded();
  // Writes the monitor's text to `path`; false, with a German reason, when it cannot.
  bool SaveMonitorTo(const QString& path, QString* error);

  QTableWidget* counterTable() const { return table_; }
  FrameMonitor* monitor() const { return monitor_; }
  bool paused() const { return paused_; }

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  // Refreshing runs only while the window can be seen: hidden or minimised
  // it costs nothing, and it catches up when shown again.
  void FollowVisibility();
  void RefreshTable();
  void RefreshMonitor();
  void ResetCounters();
  void TogglePause();
  void ClearMonitor();
  void CopyMonitor();
  void SaveMonitor();

  Station& station_;
  Prompter& prompter_;
  QTableWidget* table_ = nullptr;
  FrameMonitor* monitor_ = nullptr;
  QPushButton* pause_ = nullptr;
  QTimer* timer_ = nullptr;
  QTimer* retry_ = nullptr; // a refresh put off while a pass runs
  std::uint64_t shownUpTo_ = 0; // the last frame the monitor shows
  QElapsedTimer monitorTaken_;  // since the monitor last took new frames
  qint64 monitorIntervalMs_ = 1500;
  bool paused_ = false;
};

} // namespace trelvan
