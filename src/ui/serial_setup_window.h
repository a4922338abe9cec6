#pragma once
// "Serielle Schnittstelle einrichten…": the serial devices present with their
// stable names and whether this user may open them (and if not, what helps),
// which device each of Com1..Com4 is, the working folder, a connection test,
// a scan for the stations on the line and a search for the line settings an
// instrument answers to. A station found can be taken into a channel of the
// channel table, which is then saved as the configuration dialog saves it.
//
// The test and the scans use the station's one serial line, and only while
// no measurement has it open; they close it again when done.

#include <QString>
#include <QWidget>

#include <array>
#include <vector>

#include "comm/address_scan.h"
#include "comm/port_directory.h"

class QComboBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QSpinBox;
class QTableWidget;

namespace trelvan {

class Prompter;
struct Station;

class SerialSetupWindow : public QWidget {
  Q_OBJECT

 public:
  // `byIdRoot`: where the stable device names are (a test gives its own).
  SerialSetupWindow(Station& station, Prompter& prompter, QWidget* parent = nullptr,
                    const QString& byIdRoot = PortDirectory::DefaultByIdRoot());
  ~SerialSetupWindow() override;

  // Lists the devices and the assignments anew.
  void Refresh();
  // Stores the assignments of the four ports in "trelvan.ini".
  void SaveAssignments();
  // "Verbindung testen": opens the line with the stored settings and asks the
  // station of every enabled channel once.
  void TestConnection();
  // "Stationen suchen" and "Einstellungen suchen".
  void ScanStations();
  void SearchSettings();
  // Ends a test or scan under way.
  void CancelScan();
  // Takes the station and block of the selected answer (and the type chosen
  // for it, if any) into the chosen channel and saves "config.txt".
  void TakeIntoChannel();

  bool scanning() const { return scan_ != nullptr; }
  const std::vector<ScanAnswer>& answers() const { return answers_; }

 signals:
  // "config.txt" was saved with a station taken from a scan.
  void channelTableSaved();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void BuildControls();
  void ShowDeviceAccess();
  void ShowAnswer(const ScanAnswer& answer);
  void ShowNoAnswer(int station, Block block, const QString& reason);
  void ShowTypesOfSelectedAnswer();
  // Opens the line for a test or a scan; false after telling why not.
  bool OpenLineForScan();
  template <typename Work>
  void RunScan(const QString& what, Work work);
  void SetBusy(bool busy);

  Station& station_;
  Prompter& prompter_;
  PortDirectory ports_;
  QList<SerialDevice> devices_;

  QLabel* folderLabel_ = nullptr;
  QTableWidget* deviceTable_ = nullptr;
  QLabel* accessLabel_ = nullptr;
  std::array<QComboBox*, kPortCount> assignment_{};
  std::array<QLabel*, kPortCount> resolved_{};
  QLabel* lineLabel_ = nullptr;
  QSpinBox* firstStation_ = nullptr;
  QSpinBox* lastStation_ = nullptr;
  QSpinBox* replyMs_ = nullptr;
  QSpinBox* searchStation_ = nullptr;
  QPushButton* refreshButton_ = nullptr;
  QPushButton* saveButton_ = nullptr;
  QPushButton* testButton_ = nullptr;
  QPushButton* scanButton_ = nullptr;
  QPushButton* searchButton_ = nullptr;
  QPushButton* cancelButton_ = nullptr;
  QProgressBar* progress_ = nullptr;
  QLabel* progressText_ = nullptr;
  QTableWidget* answerTable_ = nullptr;
  QComboBox* channel_ = nullptr;
  QComboBox* type_ = nullptr;
  QPushButton* takeButton_ = nullptr;

  AddressScan* scan_ = nullptr; // the scan under way
  std::vector<ScanAnswer> answers_;
  std::vector<int> answerOfRow_; // index into answers_ per row, -1 for a row without answer
};

} // namespace trelvan
