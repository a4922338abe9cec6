#pragma once
// ConfigW, the application configuration dialog and the program's start
// window. It shows one row per channel and edits the station's channel table
// in place: a change in a control writes the table at once, and reloading the
// table writes the controls. "OK" checks the addresses and saves
// "config.txt"; "ABBRECHEN" reloads it. Either one hides the dialog and tells
// the owner, who then shows the main window.

#include <QString>
#include <QStringList>
#include <QWidget>
#include <array>
#include <string>
#include <string_view>

#include "core/channel_table.h"
#include "ui/channel_row.h"

class QPushButton;

namespace trelvan {

class Prompter;
struct Station;

class ConfigW : public QWidget {
  Q_OBJECT

 public:
  // Sets the caption and the control texts; nothing is loaded until Start().
  ConfigW(Station& station, Prompter& prompter, QWidget* parent = nullptr);

  // The creation steps, in order: shown maximised (when `show`), the sixteen
  // list labels in each type list, "config.txt" into station.channelTable,
  // "PortCom.dat" into station.serialSettings, station.AppTitle, the
  // Master/Ext. choices. A missing or faulty file is then told to the operator
  // through the Prompter in one message naming the file, once; the program
  // goes on with the defaults the loaders left.
  void Start(bool show = true);

  // The problems Start() found with the two files (German, each naming its
  // file); empty when both loaded cleanly.
  const QStringList& startupProblems() const { return startupProblems_; }

  // "OK" and "ABBRECHEN", also for tests and keyboard shortcuts.
  void Confirm();
  void Cancel();
  // The controls from the table, after another window changed it.
  void ShowTable();

 signals:
  // The table was saved and the captions built; the dialog is hidden.
  void confirmed();
  // The table was reloaded and the captions built; the dialog is hidden.
  void cancelled();
  // Closed through the window frame: unsaved edits were discarded.
  void closed();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void BuildControls();
  QWidget* BuildTitle();
  QWidget* BuildTable();
  void ConnectRow(int channel);
  void SetTabOrder();
  void ShowRowLook(int channel);
  void SetEnabled(int channel, int enabled);
  void CheckAddressOnLeave(int channel);
  bool RangeCheckEnabledChannels();
  void ReloadTable();
  void TellLoadProblem(const ConfigStatus& status);
  void WarnWrongAddress(int channel);

  Station& station_;
  Prompter& prompter_;
  std::array<ChannelRow, kChannelCount> rows_{};
  QPushButton* okButton_ = nullptr;     // Commande1
  QPushButton* cancelButton_ = nullptr; // Commande2
  QStringList startupProblems_;
  std::string lastToldProblem_;
  bool started_ = false;
  bool showingTable_ = false; // controls are being written from the table
  bool warning_ = false;      // an address message is up
};

} // namespace trelvan
