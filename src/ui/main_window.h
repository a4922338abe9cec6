#pragma once
// The main window TRELVAN: a maximised frame with the banner and the menu from
// which every other window is opened. Windows are created on first use and
// then only shown and hidden, all modeless.
//
// Beside the station's own menus, "E&xtras" opens the windows beyond them:
// Diagnose, the serial setup, the trend ("&Verlauf"), the alarm list, the
// limits, the export of the record and the MQTT settings, and switches
// recording ("&Aufzeichnung"). The main window owns what the measurement's
// readings go to besides the labels (MeasurementOutlets): limits, record and
// broker live from the program's start to its end.

#include <QMainWindow>
#include <QPointer>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/prompter.h"
#include "live/measurement_window.h"
#include "live/station.h"
#include "logger/extraction.h"
#include "ui/serial_line_dialog.h"

class QAction;
class QLabel;
class QMenu;

namespace trelvan {

class AlarmList;
class ConfigW;
class DiagnoseWindow;
class LimitsDialog;
class MeasurementOutlets;
class MqttSettingsDialog;
class RecordExportDialog;
class SerialSetupWindow;
class TrendWindow;

// The banner picture of Picture1, embedded in the program.
inline constexpr char kBannerResource[] = ":/ui/banner.bmp";

class TRELVAN : public QMainWindow {
  Q_OBJECT
 public:
  // configWindow gives the start window, which lives as long as the program.
  TRELVAN(Station& station, Prompter& prompter, std::function<ConfigW*()> configWindow,
          QWidget* parent = nullptr);
  ~TRELVAN() override;

  // The load steps: show, centre the banner once, take AppTitle as the
  // caption, maximise, set the menu captions. Runs once, on the first showing.
  void Load();

  // The menu commands.
  void Quitter();
  void ShowSerialLineDialog();
  void ShowConfigDialog();
  void StartMeasurement();
  void ShowLoggerWindow(bool resetMode);
  // "E&xtras".
  void ShowDiagnoseWindow();
  void ShowSerialSetupWindow();
  void SetRecording(bool on);
  void ShowTrendWindow();
  void ShowAlarmList();
  void ShowLimitsDialog();
  void ShowRecordExportDialog();
  void ShowMqttSettingsDialog();

  F_Mesure* measurementWindow() const { return measurement_; }
  ConfLS* serialLineDialog() const { return serialDialog_; }
  Extraction* loggerWindow() const { return logger_; }
  // Created at the first alarm or the first "&Alarme", whichever comes first.
  AlarmList* alarmList();
  MeasurementOutlets& outlets() { return *outlets_; }
  bool isLoaded() const { return loaded_; }

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  // Ending the program: a running measurement stops and the line closes
  // first; the broker hears "offline".
  void EndProgram();
  void BuildExtrasMenu();
  // Shows a window made on first use, brought to the front.
  static void Present(QWidget* window);
  // Tells the operator something about the outlets: in the measurement
  // window's notice line while it is loaded (a box would hold up the pass),
  // else in a message.
  void Tell(PromptIcon icon, const std::vector<std::string>& lines);
  void ShowAlarmCount(int unacknowledged);

  Station& station_;
  Prompter& prompter_;
  std::function<ConfigW*()> configWindow_;
  bool loaded_ = false;
  bool ending_ = false;

  QLabel* Picture1_ = nullptr;
  QMenu* Fichier_ = nullptr;
  QAction* Quitter_ = nullptr;
  QMenu* Config_ = nullptr;
  QAction* LS_ = nullptr;
  QAction* ConfApp_ = nullptr;
  QAction* Mesure_ = nullptr;
  QMenu* Logger_ = nullptr;
  QAction* RAZfich_ = nullptr;
  QAction* Extract_ = nullptr;
  QAction* recording_ = nullptr;
  QAction* alarms_ = nullptr;

  std::unique_ptr<MeasurementOutlets> outlets_;

  QPointer<F_Mesure> measurement_;
  QPointer<ConfLS> serialDialog_;
  QPointer<Extraction> logger_;
  QPointer<DiagnoseWindow> diagnose_;
  QPointer<SerialSetupWindow> serialSetup_;
  QPointer<TrendWindow> trend_;
  QPointer<AlarmList> alarmList_;
  QPointer<LimitsDialog> limitsDialog_;
  QPointer<RecordExportDialog> recordExport_;
  QPointer<MqttSettingsDialog> mqttDialog_;
};

} // namespace trelvan
