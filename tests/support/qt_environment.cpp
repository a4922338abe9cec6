// Widget tests need one QApplication for the whole run; GoogleTest's own
// main() creates none, so a global environment does.

#include <gtest/gtest.h>

#include <QApplication>
#include <memory>

namespace {

// The offscreen platform cannot maximise and says so on every showMaximized().
QtMessageHandler previousHandler = nullptr;

void QuietHandler(QtMsgType type, const QMessageLogContext& context, const QString& message) {
  if (message.contains("propagateSizeHints")) return;
  if (previousHandler) previousHandler(type, context, message);
}

class QtEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    previousHandler = qInstallMessageHandler(QuietHandler);
    app_ = std::make_unique<QApplication>(argc_, argv_);
    QApplication::setApplicationName("TRELVAN");
  }
  void TearDown() override { app_.reset(); }

 private:
  int argc_ = 1;
  char name_[14] = "trelvan_tests";
  char* argv_[2] = {name_, nullptr};
  std::unique_ptr<QApplication> app_;
};

[[maybe_unused]] ::testing::Environment* const kQtEnvironment =
    ::testing::AddGlobalTestEnvironment(new QtEnvironment);

} // namespace
