#pragma once
// "Messwerte exportieren": a time range and channels of the measurement
// record into a CSV file for a spreadsheet (or TSV, JSON Lines). The export
// runs on a worker thread with its own read connection, so recording and the
// windows go on; the dialog shows the count at a human pace and can cancel.
// The file is saved atomically: a cancelled or failed export leaves an
// existing file as it was.

#include <QWidget>
#include <array>
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>

#include "record/record_export.h"

class QCheckBox;
class QComboBox;
class QDateTimeEdit;
class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;

namespace trelvan {

class Prompter;

class RecordExportDialog : public QWidget {
  Q_OBJECT

 public:
  RecordExportDialog(std::filesystem::path record, std::string decimalSeparator, Prompter& prompter,
                     QWidget* parent = nullptr);
  ~RecordExportDialog() override;

  // Shows the dialog with the last 24 hours preselected.
  void Start();
  // "Exportieren": checks the choices and starts the worker; false when it
  // did not start (a message says why).
  bool StartExport();
  // "Abbrechen": cancels a running export, else hides the dialog.
  void Cancel();
  bool running() const { return worker_ != nullptr; }

  // The choices, for the owner and tests.
  void SetRange(std::int64_t fromMs, std::int64_t toMs);
  void SetChannels(const std::array<bool, 4>& channels);
  void SetFormat(RecordFormat format);
  void SetFile(const std::filesystem::path& file);

 signals:
  void finished(bool ok);

 private:
  void Browse();
  void Poll();

  struct Job {
    std::atomic<std::int64_t> written{0};
    std::atomic<bool> cancel{false};
    std::atomic<bool> done{false};
    RecordExportResult result;
    std::filesystem::path file;
  };

  std::filesystem::path record_;
  std::string separator_;
  Prompter& prompter_;
  QDateTimeEdit* from_ = nullptr;
  QDateTimeEdit* to_ = nullptr;
  std::array<QCheckBox*, 4> channels_{};
  QComboBox* format_ = nullptr;
  QLineEdit* file_ = nullptr;
  QLabel* progress_ = nullptr;
  QPushButton* export_ = nullptr;
  QTimer* poll_ = nullptr;
  std::shared_ptr<Job> job_;
  std::unique_ptr<std::thread> worker_;
};

} // namespace trelvan
