#include "main_window.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QMenuBar>
#include <QPixmap>
#include <QScreen>

#include "core/geometry.h"
#include "live/measurement_window.h"
#include "logger/extraction.h"
#include "ui/alarm_list.h"
#include "ui/config_dialog.h"
#include "ui/diagnose_window.h"
#include "ui/limits_dialog.h"
#include "ui/measurement_outlets.h"
#include "ui/mqtt_settings_dialog.h"
#include "ui/record_export_dialog.h"
#include "ui/serial_line_dialog.h"
#include "ui/serial_setup_window.h"
#include "ui/trend_window.h"

namespace trelvan {

TRELVAN::TRELVAN(Station& station, Prompter& prompter, std::function<ConfigW*()> configWindow,
                 QWidget* parent)
    : QMainWindow(parent), station_(station), prompter_(prompter),
      configWindow_(std::move(configWindow)) {
  setObjectName("TRELVAN");
  setWindowTitle(QString());
  const double dpi = screen() ? screen()->logicalDotsPerInch() : 96.0;
  resize(TwipsToPixels(10635, dpi), TwipsToPixels(8025, dpi));

  auto* central = new QWidget(this);
  central->setObjectName("centralWidget");
  setCentralWidget(central);
  Picture1_ = new QLabel(central);
  Picture1_->setObjectName("Picture1");
  Picture1_->setPixmap(QPixmap(kBannerResource));
  Picture1_->resize(538, 181);

  // Designer captions; Load() replaces them with the German ones.
  Fichier_ = menuBar()->addMenu("Fichier");
  Fichier_->setObjectName("Fichier");
  Quitter_ = Fichier_->addAction("Quitter", this, &TRELVAN::Quitter);
  Quitter_->setObjectName("Quitter");
  Config_ = menuBar()->addMenu("Config");
  Config_->setObjectName("Config");
  LS_ = Config_->addAction("LS", this, &TRELVAN::ShowSerialLineDialog);
  LS_->setObjectName("LS");
  ConfApp_ = Config_->addAction("ConfApp", this, &TRELVAN::ShowConfigDialog);
  ConfApp_->setObjectName("ConfApp");
  Mesure_ = menuBar()->addAction("Mesure", this, &TRELVAN::StartMeasurement);
  Mesure_->setObjectName("Mesure");
  Logger_ = menuBar()->addMenu("Logger");
  Logger_->setObjectName("Logger");
  RAZfich_ = Logger_->addAction("RAZfich", this, [this] { ShowLoggerWindow(true); });
  RAZfich_->setObjectName("RAZfich");
  Extract_ = Logger_->addAction("Extract", this, [this] { ShowLoggerWindow(false); });
  Extract_->setObjectName("Extract");
  outlets_ = std::make_unique<MeasurementOutlets>(station_.folder, station_.decimalSeparator);
  BuildExtrasMenu();
}

void TRELVAN::BuildExtrasMenu() {
  // Functions beyond the station's own menus; every entry has an access key
  // of its own.
  QMenu* extras = menuBar()->addMenu("E&xtras");
  extras->setObjectName("Extras");
  const auto add = [&](const QString& text, const char* name, auto slot) {
    QAction* action = extras->addAction(text, this, slot);
    action->setObjectName(name);
    return action;
  };
  add("&Diagnose", "Diagnose", &TRELVAN::ShowDiagnoseWindow);
  add("&Serielle Schnittstelle einrichten…", "SerielleSchnittstelle", &TRELVAN::ShowSerialSetupWindow);
  extras->addSeparator();
  recording_ = extras->addAction("&Aufzeichnung");
  recording_->setObjectName("Aufzeichnung");
  recording_->setCheckable(true);
  recording_->setChecked(outlets_->recording());
  recording_->setToolTip(QString("Jede Messung in \"%1\" im Arbeitsordner aufzeichnen").arg(kRecordFileName));
  connect(recording_, &QAction::toggled, this, &TRELVAN::SetRecording);
  add("&Verlauf", "Verlauf", &TRELVAN::ShowTrendWindow);
  alarms_ = add("A&larme", "Alarme", &TRELVAN::ShowAlarmList);
  add("&Grenzwerte…", "Grenzwerte", &TRELVAN::ShowLimitsDialog);
  add("Messwerte e&xportieren…", "MesswerteExportieren", &TRELVAN::ShowRecordExportDialog);
  extras->addSeparator();
  add("&MQTT…", "Mqtt", &TRELVAN::ShowMqttSettingsDialog);
  extras->setToolTipsVisible(true);
}

TRELVAN::~TRELVAN() {
  // The other windows are top-level windows of their own; they end with this one.
  delete measurement_.data();
  delete serialDialog_.data();
  delete logger_.data();
  delete diagnose_.data();
  delete serialSetup_.data();
  delete trend_.data();
  delete alarmList_.data();
  delete limitsDialog_.data();
  delete recordExport_.data();
  delete mqttDialog_.data();
}

void TRELVAN::Load() {
  if (loaded_) return;
  loaded_ = true;
  show();
  // The banner is centred once, in the window's outer size before it is
  // maximised; it is not moved when the window is resized.
  const QSize outer = frameGeometry().size();
  Picture1_->move((outer.width() - Picture1_->width()) / 2, (outer.height() - Picture1_->height()) / 2);
  setWindowTitle(QString::fromStdString(station_.AppTitle) + windowTitle());
  showMaximized();
  Fichier_->setTitle("&Datei");
  Quitter_->setText("&Beenden");
  Config_->setTitle("&Konfiguration");
  LS_->setText("&Serienverbindung");
  ConfApp_->setText("&Anwendung");
  Mesure_->setText("&Messung");
  Logger_->setTitle("&Logger");
  RAZfich_->setText("&Init/Rücksetzung");
  Extract_->setText("&Daten Förderung");
  // What the readings go to besides the labels, from "trelvan.ini".
  Tell(PromptIcon::Warning, outlets_->LoadLimits());
  Tell(PromptIcon::Warning, outlets_->StartPublisher());
}

void TRELVAN::Quitter() { EndProgram(); }

void TRELVAN::EndProgram() {
  if (ending_) return;
  ending_ = true;
  if (measurement_) measurement_->Shutdown();
  outlets_->StopPublisher();
  QApplication::closeAllWindows();
  QApplication::quit();
}

void TRELVAN::closeEvent(QCloseEvent* event) {
  event->accept();
  EndProgram();
}

void TRELVAN::ShowSerialLineDialog() {
  if (!serialDialog_) {
    serialDialog_ = new ConfLS(station_, prompter_);
    serialDialog_->setAttribute(Qt::WA_DeleteOnClose);
    serialDialog_->Start(true);
    return;
  }
  serialDialog_->show();
  serialDialog_->raise();
  serialDialog_->activateWindow();
}

void TRELVAN::ShowConfigDialog() {
  ConfigW* dialog = configWindow_();
  dialog->showMaximized();
  dialog->raise();
  dialog->activateWindow();
}

void TRELVAN::StartMeasurement() {
  station_.StopRequested = false;
  if (station_.channelTable.enabledCount() == 0) {
    prompter_.beep();
    prompter_.tell(PromptIcon::Warning, "Keine Messung konfiguriert");
    return;
  }
  if (!measurement_) {
    measurement_ = new F_Mesure(station_, prompter_);
    measurement_->setOutlets(&outlets_->outlets());
    connect(measurement_, &F_Mesure::alarmEvent, this, [this](const AlarmEvent& event) { alarmList()->Add(event); });
    connect(measurement_, &F_Mesure::unloaded, this, [this] {
      show();
      raise();
      activateWindow();
    });
    connect(measurement_, &F_Mesure::quitRequested, this, &TRELVAN::EndProgram);
    connect(measurement_, &F_Mesure::passEnded, this, [this] {
      if (diagnose_) diagnose_->PassEnded();
    });
  }
  if (!measurement_->isLoaded()) measurement_->Load();
  measurement_->showMaximized();
  measurement_->raise();
  measurement_->activateWindow();
  measurement_->StartPolling(1000);
}

void TRELVAN::Present(QWidget* window) {
  if (window->isMinimized()) window->showNormal();
  else window->show();
  window->raise();
  window->activateWindow();
}

void TRELVAN::Tell(PromptIcon icon, const std::vector<std::string>& lines) {
  if (lines.empty()) return;
  if (measurement_ && measurement_->isLoaded()) {
    for (const std::string& line : lines) measurement_->ShowNotice(QString::fromStdString(line));
    return;
  }
  std::string text;
  for (const std::string& line : lines) text += (text.empty() ? "" : "\n") + line;
  prompter_.tell(icon, text);
}

void TRELVAN::ShowDiagnoseWindow() {
  if (!diagnose_) diagnose_ = new DiagnoseWindow(station_, prompter_);
  Present(diagnose_);
}

void TRELVAN::ShowSerialSetupWindow() {
  if (!serialSetup_) {
    serialSetup_ = new SerialSetupWindow(station_, prompter_);
    // A station taken into a channel changed the table the start window shows.
    connect(serialSetup_, &SerialSetupWindow::channelTableSaved, this, [this] { configWindow_()->ShowTable(); });
  }
  Present(serialSetup_);
}

void TRELVAN::SetRecording(bool on) {
  if (const std::optional<std::string> problem = outlets_->SetRecording(on)) Tell(PromptIcon::Warning, {*problem});
}

void TRELVAN::ShowTrendWindow() {
  if (!trend_) {
    trend_ = new TrendWindow(outlets_->recordFile());
    trend_->SetDecimalSeparator(station_.decimalSeparator);
    trend_->SetLimits(outlets_->limits());
    trend_->Open();
  }
  Present(trend_);
}

AlarmList* TRELVAN::alarmList() {
  if (!alarmList_) {
    alarmList_ = new AlarmList;
    connect(alarmList_, &AlarmList::unacknowledgedChanged, this, &TRELVAN::ShowAlarmCount);
  }
  return alarmList_;
}

void TRELVAN::ShowAlarmCount(int unacknowledged) {
  alarms_->setText(unacknowledged > 0 ? QString("A&larme (%1)").arg(unacknowledged) : QString("A&larme"));
}

void TRELVAN::ShowAlarmList() { Present(alarmList()); }

void TRELVAN::ShowLimitsDialog() {
  if (!limitsDialog_) {
    limitsDialog_ = new LimitsDialog(station_.folder, station_.decimalSeparator, prompter_);
    // Saved limits apply to the running measurement and the trend at once.
    connect(limitsDialog_, &LimitsDialog::limitsSaved, this, [this](const LimitTable& limits) {
      outlets_->SetLimits(limits);
      if (trend_) trend_->SetLimits(limits);
    });
  }
  limitsDialog_->Start();
}

void TRELVAN::ShowRecordExportDialog() {
  if (!recordExport_) recordExport_ = new RecordExportDialog(outlets_->recordFile(), station_.decimalSeparator, prompter_);
  recordExport_->Start();
}

void TRELVAN::ShowMqttSettingsDialog() {
  if (!mqttDialog_) {
    mqttDialog_ = new MqttSettingsDialog(station_.folder, prompter_); // reads "trelvan.ini"
    // Saved settings take effect at once: publishing starts anew from them.
    connect(mqttDialog_, &MqttSettingsDialog::saved, this,
            [this] { Tell(PromptIcon::Warning, outlets_->StartPublisher()); });
  } else if (!mqttDialog_->isVisible()) {
    mqttDialog_->Load();
  }
  Present(mqttDialog_);
}

void TRELVAN::ShowLoggerWindow(bool resetMode) {
  // Closed through its frame, the window is kept: it starts afresh on its
  // next showing but keeps the selected file, and an export running on its
  // worker thread is never cut off by a delete.
  if (!logger_) {
    logger_ = new Extraction(station_.AppTitle, station_.decimalSeparator, prompter_);
    logger_->placeOver(this);
  }
  logger_->show();
  logger_->raise();
  logger_->activateWindow();
  logger_->setMode(resetMode ? ExtractionMode::Reset : ExtractionMode::Export);
}

} // namespace trelvan
