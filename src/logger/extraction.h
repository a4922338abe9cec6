#pragma once
// The logger-file window: pick a volume, a folder and a ".log" file, then
// export it to spreadsheet files or empty it for the logger. One window serves
// both menu commands; the main window sets the mode each time it shows it.

#include <QString>
#include <QWidget>

#include <memory>
#include <string>
#include <thread>

#include "logger/logger_export.h"

class QComboBox;
class QGroupBox;
class QLabel;
class QListWidget;
class QListWidgetItem;
class QProgressBar;
class QPushButton;

namespace trelvan {

class Prompter;

enum class ExtractionMode {
  Export, // "Auslesen" enabled, the reset button disabled
  Reset,  // the reset button enabled, "Auslesen" disabled
};

class Extraction : public QWidget {
  Q_OBJECT

 public:
  // appTitle prefixes the window caption ("TRELVAN   V 2.19 [Datei Logging]").
  Extraction(std::string appTitle, Prompter& prompter, QWidget* parent = nullptr);
  ~Extraction() override;

  void setMode(ExtractionMode mode);
  ExtractionMode mode() const { return mode_; }

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

  bool exportRunning() const { return worker_.joinable(); }

 signals:
  // After an export ends and its final message has been answered.
  void exportFinished();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  void buildControls();
  void loadLists();
  void fillDrives();
  void driveChosen(int index);
  void selectDriveOf(const QString& path);
  void directoryActivated(QListWidgetItem* item);
  void fillDirectoryList();
  void fillFileList();
  void fileSelectionChanged();
  QString currentFileName() const;
  QString selectedPathInDirectory() const;
  void updateButtons();
  void startExport();
  void showProgress(const ExportProgress& progress);
  void exportDone(const ExportResult& result);
  void resetOrCreate();

  std::string appTitle_;
  Prompter& prompter_;
  ExtractionMode mode_ = ExtractionMode::Export;
  QString selectedFile_;
  QString directory_;
  QString outputFolder_;
  bool reloadOnShow_ = false;
  bool changingDrive_ = false;
  bool fillingFiles_ = false;

  std::jthread worker_;
  std::unique_ptr<LoggerExport> job_;

  QGroupBox* frame1_ = nullptr;
  QComboBox* drive1_ = nullptr;
  QListWidget* dir1_ = nullptr;
  QListWidget* file1_ = nullptr;
  QGroupBox* frame2_ = nullptr;
  QPushButton* command3_ = nullptr;
  QPushButton* command1_ = nullptr;
  QPushButton* command2_ = nullptr;
  QLabel* label2_ = nullptr;
  QProgressBar* progress_ = nullptr;
};

} // namespace trelvan
