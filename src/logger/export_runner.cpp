#include "export_runner.h"

namespace trelvan {

ExportRunner::ExportRunner(QObject* parent) : QObject(parent) {}

ExportRunner::~ExportRunner() {
  if (worker_.joinable()) {
    worker_.request_stop();
    worker_.join();
  }
}

void ExportRunner::start(std::unique_ptr<LoggerExport> job, std::map<int, ExistingOutput> answers) {
  if (running()) return;
  job_ = std::move(job);
  LoggerExport* running = job_.get();
  worker_ = std::jthread([this, running, answers = std::move(answers)](std::stop_token stop) {
    auto question = [&answers](const PlannedOutput& out) {
      const auto it = answers.find(out.channel);
      return it != answers.end() ? it->second : ExistingOutput::Append;
    };
    auto progress = [this](const ExportProgress& p) {
      QMetaObject::invokeMethod(this, [this, p] { emit progressed(p); }, Qt::QueuedConnection);
    };
    const ExportResult result = running->run(question, progress, stop);
    // Joined here, on the window's thread, before anyone hears of the end.
    QMetaObject::invokeMethod(
        this,
        [this, result] {
          if (worker_.joinable()) worker_.join();
          job_.reset();
          emit finished(result);
        },
        Qt::QueuedConnection);
  });
}

} // namespace trelvan
