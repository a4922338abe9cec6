#pragma once
// The logger-file window: pick a volume, a folder and a ".log" file, then
// export it to spreadsheet files or empty it for the logger. One window serves
// both menu commands; the main window sets the mode each time it shows it.

#include <QPointer>
#include <QString>
#include <QWidget>

#include <string>

#include "logger/drive_list.h"
#include "logger/logger_export.h"

class QGroupBox;
class QLabel;
class QListWidget;
class QListWidgetItem;
class QProgressBar;
class QPushButton;

namespace trelvan {

class ExportRunner;
class FolderList;
class Prompter;

enum class ExtractionMode {
  Export, // "Auslesen" enabled, the reset button disabled
  Reset,  // the reset button enabled, "Auslesen" disabled
};

class Extraction : public QWidget {
  Q_OBJECT

 public:
  // appTitle prefixes the window caption ("TRELVAN   V 2.19 [Datei Logging]");
  // decimalSeparator (UTF-8) is the station's, for the exported values.
  Extraction(std::string appTitle, std::string decimalSeparator, Prompter& prompter,
             QWidget* parent = nullptr);
  ~Extraction() override;

  void setMode(ExtractionMode mode);
  ExtractionMode mode() const { return mode_; }

  // The window opens centred on this one (the main window).
  void placeOver(QWidget* window) { anchor_ = window; }

  // The file name last clicked in the file list, or, after an export or a
  // reset, the full path of the file it worked on; empty after a folder change.
  QString selectedFile() const { return selectedFile_; }

  // The folder the folder list shows.
  QString directory() const { return directory_; }
  // Shows a folder as if the operator had opened it; false if it cannot be read.
  bool setDirectory(const QString& path);

  // Where exports write; empty (the default) means the process's current
  // working directory at the time of the export.
  void setOutputFolder(const QString& folder) { outputFolder_ = folder; }
  // Where the drive list takes its volumes from (the system's mounts unless set).
  void setVolumeSource(VolumeSource source);

  bool exportRunning() const;

 signals:
  // After an export ends and its final message has been answered.
  void exportFinished();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  void buildControls();
  void loadLists();
  void driveChosen(const QString& root);
  void directoryActivated(QListWidgetItem* item);
  void fillFileList();
  void fileSelectionChanged();
  QString selectedPathInDirectory() const;
  void updateButtons();
  void startExport();
  void showProgress(const ExportProgress& progress);
  void exportDone(const ExportResult& result);
  void resetOrCreate();
  void tellFailure(const LoggerResult& failure);

  std::string appTitle_;
  std::string decimalSeparator_;
  Prompter& prompter_;
  ExtractionMode mode_ = ExtractionMode::Export;
  QString selectedFile_;
  QString directory_;
  QString outputFolder_;
  QPointer<QWidget> anchor_;
  bool placeOnShow_ = true;    // first showing, and after a close through the frame
  bool reloadOnShow_ = false;  // after a close through the frame
  bool fillingFiles_ = false;

  ExportRunner* runner_ = nullptr;
  QGroupBox* frame1_ = nullptr;
  DriveList* drive1_ = nullptr;
  FolderList* dir1_ = nullptr;
  QListWidget* file1_ = nullptr;
  QGroupBox* frame2_ = nullptr;
  QPushButton* command3_ = nullptr;
  QPushButton* command1_ = nullptr;
  QPushButton* command2_ = nullptr;
  QLabel* label2_ = nullptr;
  QProgressBar* progress_ = nullptr;
};

} // namespace trelvan
