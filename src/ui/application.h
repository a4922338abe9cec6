#pragma once
// The application object: the one Station, serial line and Prompter of the
// process, the start window ConfigW and the main window TRELVAN.

#include <QObject>
#include <QPointer>
#include <QString>
#include <memory>

#include "live/station.h"

namespace trelvan {

class ConfigW;
class Prompter;
class SerialPort;
class TRELVAN;

// The window icon, embedded in the program.
// The largest of the icon's sizes; SetProgramIdentity adds the others, so
// title bars and task bars pick a crisp one.
inline constexpr char kIconResource[] = ":/ui/icons/trelvan-256.png";

class Application : public QObject {
  Q_OBJECT
 public:
  // Works in `folder` ("config.txt", "PortCom.dat", exported files).
  Application(const QString& folder, Prompter& prompter, SerialPort& port,
              const std::string& decimalSeparator);
  ~Application() override;

  // The name message boxes carry as their title, and the window icon.
  static void SetProgramIdentity();

  // Creates the start window with its loading steps and shows it.
  void Start();

  Station& station() { return station_; }
  // The start window. Created once; closed through its frame it is only
  // hidden, and the menu command shows it again.
  ConfigW* configWindow();
  TRELVAN* mainWindow() const { return main_.get(); }

  // Leaves the start window as "ABBRECHEN" does and opens the measurement;
  // for the demonstration run.
  void ShowMainWindow();

 private:
  Station station_;
  Prompter& prompter_;
  QPointer<ConfigW> config_;
  std::unique_ptr<TRELVAN> main_;
};

} // namespace trelvan
