#pragma once
// ConfLS, the serial line dialog: port, speed, parity and stop bits of the
// instrument line. A choice changes the station's serial settings at once;
// "Bestätigen" writes them to "PortCom.dat", "Abrechen" reads them back from
// it, "Auslesen" opens the line with the choices as they stand. At creation it
// tries each of the four ports and disables the ones that cannot be opened.

#include <QWidget>
#include <array>
#include <string>

class QButtonGroup;
class QGroupBox;
class QPushButton;
class QRadioButton;

namespace trelvan {

class Prompter;
struct Station;

class ConfLS : public QWidget {
  Q_OBJECT

 public:
  // Sets the caption and the control texts; Start() does the rest.
  ConfLS(Station& station, Prompter& prompter, QWidget* parent = nullptr);

  // The creation steps, in order: "PortCom.dat" into station.serialSettings,
  // shown (when `show`), the port probe on station.port, the choices selected
  // from the settings. While the line is open (a measurement runs) the probe
  // waits for a later showing, so the running line is never disturbed.
  void Start(bool show = true);

  // "Bestätigen", "Abrechen", "Auslesen".
  void Confirm();
  void Cancel();
  void OpenLine();

  // Whether the port probe has run.
  bool portsProbed() const { return probed_; }

 signals:
  void confirmed(); // saved and hidden
  void cancelled(); // reloaded and hidden
  // Closed through the window frame (after the cancel action unless a poll
  // pass was running). The next use should create the dialog anew.
  void closed();

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void BuildControls();
  void ProbePorts();
  void SelectFromRecord();
  void ReloadRecord();
  void Tell(const std::string& problem);

  Station& station_;
  Prompter& prompter_;
  std::array<QGroupBox*, 4> frames_{};         // Frame1..Frame4
  std::array<QButtonGroup*, 4> groups_{};      // the options of each frame
  std::array<QRadioButton*, 4> portOptions_{}; // Option1
  QPushButton* confirmButton_ = nullptr;       // Command1
  QPushButton* openButton_ = nullptr;          // Command2
  QPushButton* cancelButton_ = nullptr;        // Command3
  std::string lastToldProblem_;
  bool started_ = false;
  bool probed_ = false;
  bool probeDeferred_ = false; // the line was open at creation
};

} // namespace trelvan
