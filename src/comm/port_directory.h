#pragma once
// Which device "Com k" is. A USB adapter's kernel name (/dev/ttyUSB0) depends
// on the socket and the order of plugging; its name under /dev/serial/by-id
// (maker, product and serial number) stays. So an operator's assignment of a
// device to Com1..Com4 is stored by that stable name, in the [Ports] group of
// "trelvan.ini" in the working folder, and the device is found again after a
// replug into another socket.
//
// The device of "Com k", in this order:
//   1. the environment variable TRELVAN_COMk, when set;
//   2. the device assigned in "trelvan.ini", through its stable name;
//   3. the platform's usual name: /dev/ttyS{k-1} on Linux, COMk on Windows.

#include <QList>
#include <QString>

namespace trelvan {

inline constexpr int kPortCount = 4; // Com1..Com4

// A serial device present on the machine.
struct SerialDevice {
  QString kernelName;   // "/dev/ttyUSB0"
  QString stableName;   // "/dev/serial/by-id/usb-FTDI_…-if00-port0", "" where none
  QString manufacturer; // from the adapter's USB descriptor, "" where unknown
  QString product;
  QString serialNumber;

  // The name an assignment stores: the stable one where there is one.
  QString assignedName() const { return stableName.isEmpty() ? kernelName : stableName; }
  bool operator==(const SerialDevice&) const = default;
};

class PortDirectory {
 public:
  static QString DefaultByIdRoot() { return QStringLiteral("/dev/serial/by-id"); }

  // `folder` holds "trelvan.ini"; `byIdRoot` is where the stable names are
  // (a test gives a folder of its own).
  explicit PortDirectory(QString folder = QStringLiteral("."), QString byIdRoot = DefaultByIdRoot());

  // The serial devices present (QSerialPortInfo), each with its stable name,
  // sorted by kernel name. A device that only the stable names know is listed too.
  QList<SerialDevice> Devices() const;
  // Adds the stable names to devices found elsewhere; the same rules as Devices().
  QList<SerialDevice> WithStableNames(QList<SerialDevice> found) const;
  // The stable name whose link leads to `device`, "" where none does.
  QString StableNameOf(const QString& device) const;

  // The name stored for "Com k" in "trelvan.ini", "" when none is.
  QString Assignment(int portNumber) const;
  // Stores `device` for "Com k", by its stable name where it has one; an
  // empty `device` removes the assignment. False with a German reason when
  // "trelvan.ini" cannot be written.
  bool Assign(int portNumber, const QString& device, QString* error = nullptr);

  enum class Source { Environment, Assignment, Default };
  struct Resolution {
    QString device;     // what to open: a stable name resolved to its kernel
                        // device; a stable name whose adapter is not plugged
                        // in stays as it is (the open then says it is missing)
    QString configured; // the name as the environment or "trelvan.ini" gives it
    Source source = Source::Default;
  };
  Resolution Resolve(int portNumber) const;
  QString DeviceForPort(int portNumber) const { return Resolve(portNumber).device; }

  static QString PlatformDefault(int portNumber);

 private:
  QString IniPath() const;

  QString folder_;
  QString byIdRoot_;
};

} // namespace trelvan
