#pragma once
// The measurement window F_Mesure: one gauge per enabled channel (caption on
// the left, value text on a blue panel on the right), the title, and the stop
// button. It owns the poll timer, opens the serial line when it loads and
// closes it when it stops; a line that is lost or cannot be opened is tried
// again every few seconds while the window is loaded.
//
// Each reading goes through the ReadingOutlets the owner gives (limits,
// record, broker) before its label shows it, and the outlets' work of a pass
// (the record's commit) follows the pass. A reading outside its limits gives
// its gauge a red frame and a tooltip that names the limit; the alarm events
// go out through alarmEvent(). What the outlets have to tell (recording
// paused, the broker lost) appears in the window's notice line, never in a
// message box, which would hold up the pass.

#include <QPixmap>
#include <QWidget>
#include <array>
#include <chrono>
#include <memory>
#include <optional>

#include "core/prompter.h"
#include "live/gauge_layout.h"
#include "live/poll_cycle.h"
#include "live/station.h"

class QFrame;
class QLabel;
class QPushButton;
class QTimer;

namespace trelvan {

class MeasurementRequests;
class ReadingOutlets;
class ValueLabel;

// The design bitmap of every display panel (Dessin1), embedded in the program.
inline constexpr char kPanelResource[] = ":/live/instrum1.bmp";
// The picture file the tall panels (flow, R_862) load from the working folder.
inline constexpr char kPanelPictureFile[] = "instrum1.bmp";

// `picture` drawn at `size`: its 2-pixel sunken edge kept as it is, the inside
// stretched, so that a tall panel has the same thin edge as a short one.
QPixmap PanelPixmap(const QPixmap& picture, QSize size);

class F_Mesure : public QWidget {
  Q_OBJECT
 public:
  F_Mesure(Station& station, Prompter& prompter, QWidget* parent = nullptr);
  ~F_Mesure() override;

  // The load steps: caption, texts, every gauge back to its design look,
  // LayoutGauges, open the serial line. A line that cannot be opened is shown
  // in the window and tried again; polling goes on and every channel shows
  // its failure text meanwhile.
  void Load();
  // What the main window does after showing: tick every intervalMs.
  void StartPolling(int intervalMs = 1000);
  // The stop button: between passes it ends polling at once; during a pass it
  // only records the request and the next tick completes it.
  void StopAction();
  // Ends polling and closes the line without a question (program end).
  void Shutdown();

  bool isLoaded() const { return loaded_; }
  const GaugeLayout& layout() const { return layout_; }
  PollCycle& pollCycle() { return *cycle_; }
  QTimer* Minuterie1() const { return timer_; }
  // What the window says about the line; empty while it is open.
  QString lineMessage() const;
  // How often a closed line is tried again (2000 ms).
  void setReopenIntervalMs(int ms);

  // Where the readings go besides the labels; none when null.
  void setOutlets(ReadingOutlets* outlets) { outlets_ = outlets; }
  // Adds a line, with the time of day, to the window's notice line, which
  // keeps the last few; for the outlets' messages and the owner's.
  void ShowNotice(const QString& text);
  QString notices() const;
  // The wall time of the last pass (from the tick to its last label), and of
  // the outlets' work after it.
  std::chrono::microseconds lastPassTime() const { return lastPassTime_; }
  std::chrono::microseconds lastEndPassTime() const { return lastEndPassTime_; }

 signals:
  void unloaded();      // polling ended; the main window shows itself again
  void quitRequested(); // the operator closed the window and chose to end the program
  // A limit crossed or left again, as the outlets' limits found it.
  void alarmEvent(const trelvan::AlarmEvent& event);
  // A pass ended (its labels shown, the outlets done): the moment to show
  // what it counted and sent, in the same wake-up of the program.
  void passEnded();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void BuildTitle();
  void BuildFrame();
  void BuildGauge(int channel);
  void BuildStopButton();
  void BuildLineStatus();
  void ConnectPolling();
  void ShowReading(const Reading& polled);
  void RunTick();
  std::string AlarmToolTip(const Reading& reading) const;

  void Unload();
  void ShowGaugesAsDesigned();
  void ApplyLayout();
  void ApplyChannelVisibility();
  void CentreCanvas();
  void OpenLine();
  void TryReopen();
  void OnLineLost(const QString& reason);
  void ShowLineMessage(const QString& message);
  int Px(int twips) const;

  Station& station_;
  Prompter& prompter_;
  std::unique_ptr<MeasurementRequests> requests_;
  std::unique_ptr<PollCycle> cycle_;
  GaugeLayout layout_;
  bool loaded_ = false;
  bool lineLostReported_ = false;
  ReadingOutlets* outlets_ = nullptr;
  // The raise of each channel's alarm, while it stands.
  std::array<std::optional<AlarmEvent>, kChannelCount> raised_{};
  QStringList notices_;
  std::chrono::microseconds lastPassTime_{0};
  std::chrono::microseconds lastEndPassTime_{0};
  QPixmap designPanel_;

  QWidget* canvas_ = nullptr;
  std::array<QLabel*, 2> Etiquette2_{};
  QFrame* Cadre1_ = nullptr;
  QLabel* Dessin2_ = nullptr;
  std::array<QLabel*, kChannelCount> Etiquette1_{};
  std::array<QLabel*, kChannelCount> Dessin1_{};
  std::array<ValueLabel*, kChannelCount> Etiquette3_{};
  std::array<QWidget*, kChannelCount> alarmFrame_{}; // the red frame of a value beyond its limits
  QPushButton* Commande1_ = nullptr;
  QLabel* lineStatus_ = nullptr;
  QLabel* noticeLine_ = nullptr;
  QTimer* timer_ = nullptr;
  QTimer* reopenTimer_ = nullptr;
};

} // namespace trelvan
