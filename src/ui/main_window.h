#pragma once
// The main window TRELVAN: a maximised frame with the banner and the menu from
// which every other window is opened. Windows are created on first use and
// then only shown and hidden, all modeless.

#include <QMainWindow>
#include <QPointer>
#include <functional>

#include "core/prompter.h"
#include "live/measurement_window.h"
#include "live/station.h"
#include "logger/extraction.h"
#include "ui/serial_line_dialog.h"

class QAction;
class QLabel;
class QMenu;

namespace trelvan {

class ConfigW;

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

  F_Mesure* measurementWindow() const { return measurement_; }
  ConfLS* serialLineDialog() const { return serialDialog_; }
  Extraction* loggerWindow() const { return logger_; }
  bool isLoaded() const { return loaded_; }

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  // Ending the program: a running measurement stops and the line closes first.
  void EndProgram();

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

  QPointer<F_Mesure> measurement_;
  QPointer<ConfLS> serialDialog_;
  QPointer<Extraction> logger_;
};

} // namespace trelvan
