#pragma once
// The window's MQTT settings: whether and where the station publishes its
// readings, kept in the group [MQTT] of "trelvan.ini" in the station's folder.
// Publishing is off until the operator turns it on. "OK" checks the values
// as `trelvan-cli poll` checks its options, tells what is wrong in German and
// only then saves; the owner restarts publishing with options().

#include <QDialog>
#include <filesystem>

#include "publish/mqtt_options.h"

class QCheckBox;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QWidget;

namespace trelvan {

class Prompter;

class MqttSettingsDialog : public QDialog {
  Q_OBJECT

 public:
  MqttSettingsDialog(std::filesystem::path folder, Prompter& prompter, QWidget* parent = nullptr);

  // Fills the controls from "trelvan.ini" (a value it cannot use is told).
  void Load();
  // "OK": checks, saves, closes; false when something was told instead.
  bool Confirm();

  // The options as last loaded or saved.
  const MqttOptions& options() const { return options_; }

 signals:
  void saved();

 private:
  MqttOptions FromControls() const;
  void Browse(QLineEdit* into, const QString& caption);

  std::filesystem::path folder_;
  Prompter& prompter_;
  MqttOptions options_;
  QCheckBox* enabled_ = nullptr;
  QWidget* fields_ = nullptr;
  QLineEdit* url_ = nullptr;
  QLineEdit* site_ = nullptr;
  QSpinBox* keepalive_ = nullptr;
  QLineEdit* caFile_ = nullptr;
  QLineEdit* credentialsFile_ = nullptr;
  QCheckBox* haDiscovery_ = nullptr;
};

} // namespace trelvan
