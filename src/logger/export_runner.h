#pragma once
// Runs a planned export on a worker thread of its own, so the window stays
// responsive; the window only watches. Progress and the end arrive as
// signals on the window's thread.

#include <QObject>

#include <map>
#include <memory>
#include <thread>

#include "logger/logger_export.h"

namespace trelvan {

class ExportRunner : public QObject {
  Q_OBJECT

 public:
  explicit ExportRunner(QObject* parent = nullptr);
  // A running export is stopped and its files left as they were before it.
  ~ExportRunner() override;

  bool running() const { return worker_.joinable(); }
  // The answers to the replace question, by logger channel; an output file
  // without an answer is appended to (or created).
  void start(std::unique_ptr<LoggerExport> job, std::map<int, ExistingOutput> answers);

 signals:
  void progressed(const trelvan::ExportProgress& progress);
  void finished(const trelvan::ExportResult& result);

 private:
  std::unique_ptr<LoggerExport> job_;
  std::jthread worker_;
};

} // namespace trelvan
