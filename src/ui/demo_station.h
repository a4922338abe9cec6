#pragma once
// The built-in simulated station of `trelvan --simulate`: a demo folder with
// four configured channels, and the station simulator (`trelvan-cli sim`)
// running in the background on a pseudo-terminal that "Com1" points at.

#include <QObject>
#include <QString>

class QProcess;

namespace trelvan {

class DemoStation : public QObject {
  Q_OBJECT
 public:
  explicit DemoStation(QObject* parent = nullptr);
  ~DemoStation() override; // ends the simulator

  // Prepares the folder (keeping an operator's edits of an earlier run),
  // starts the simulator there and points Com1 at its device. On failure
  // returns false and sets errorText().
  bool Start(const QString& folder);
  void Stop();

  QString devicePath() const { return device_; }
  QString errorText() const { return error_; }

  // Where the simulator program is: beside this program, in the build tree's
  // cli folder, or on the PATH.
  static QString FindCli();
  // The demo's "config.txt": four enabled channels of different types, one
  // of them on the Ext. block.
  static QByteArray DemoChannelFile();

 private:
  QProcess* process_ = nullptr;
  QString device_;
  QString error_;
};

} // namespace trelvan
