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
#include "ui/config_dialog.h"
#include "ui/serial_line_dialog.h"

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
}

TRELVAN::~TRELVAN() {
  // The other windows are top-level windows of their own; they end with this one.
  delete measurement_.data();
  delete serialDialog_.data();
  delete logger_.data();
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
}

void TRELVAN::Quitter() { EndProgram(); }

void TRELVAN::EndProgram() {
  if (ending_) return;
  ending_ = true;
  if (measurement_) measurement_->Shutdown();
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
    connect(measurement_, &F_Mesure::unloaded, this, [this] {
      show();
      raise();
      activateWindow();
    });
    connect(measurement_, &F_Mesure::quitRequested, this, &TRELVAN::EndProgram);
  }
  if (!measurement_->isLoaded()) measurement_->Load();
  measurement_->showMaximized();
  measurement_->raise();
  measurement_->activateWindow();
  measurement_->StartPolling(1000);
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
