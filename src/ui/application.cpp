#include "application.h"

#include <QApplication>
#include <QIcon>

#include "comm/serial_port.h"
#include "core/prompter.h"
#include "ui/config_dialog.h"
#include "ui/main_window.h"

namespace trelvan {

Application::Application(const QString& folder, Prompter& prompter, SerialPort& port,
                         const std::string& decimalSeparator)
    : prompter_(prompter) {
  station_.folder = folder.toStdString();
  station_.port = &port;
  station_.decimalSeparator = decimalSeparator;
}

void Application::SetProgramIdentity() {
  QApplication::setApplicationName("TRELVAN");
  QIcon icon;
  for (const int size : {16, 22, 24, 32, 48, 64, 128, 256})
    icon.addFile(QStringLiteral(":/ui/icons/trelvan-%1.png").arg(size), QSize(size, size));
  QApplication::setWindowIcon(icon);
}

Application::~Application() {
  main_.reset();
  delete config_.data();
}

ConfigW* Application::configWindow() {
  if (!config_) {
    config_ = new ConfigW(station_, prompter_);
    connect(config_, &ConfigW::confirmed, this, &Application::ShowMainWindow);
    connect(config_, &ConfigW::cancelled, this, &Application::ShowMainWindow);
    // Closed through its frame, the dialog throws its edits away, reloads
    // the table and hides; the next use shows it again.
    config_->Start(/*show=*/true);
  }
  return config_;
}

void Application::Start() { configWindow(); }

void Application::ShowMainWindow() {
  if (!main_) main_ = std::make_unique<TRELVAN>(station_, prompter_, [this] { return configWindow(); });
  if (!main_->isLoaded()) {
    main_->Load();
  } else {
    main_->show();
    main_->raise();
  }
}

} // namespace trelvan
