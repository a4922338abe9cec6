#pragma once
// The serial line on QSerialPort.
//
// "Com k" opens the device PortDirectory gives it: TRELVAN_COMk when set,
// otherwise the device assigned in "trelvan.ini" of the working folder,
// otherwise /dev/ttyS{k-1} on Linux and COMk on Windows. An open that fails
// for want of permission, or because another program holds the device, says
// so and what helps (CheckPortAccess).

#include <QSerialPort>

#include "comm/serial_port.h"

namespace trelvan {

class QtSerialLine : public SerialPort {
  Q_OBJECT

 public:
  explicit QtSerialLine(QObject* parent = nullptr);
  ~QtSerialLine() override;

  // The device that "Com k" maps to.
  static QString DeviceForPort(int portNumber);

  void SelectPort(int portNumber) override;
  // Chooses a device by its path for the next Open (trelvan-cli --device).
  void SelectDevice(const QString& devicePath);

  bool Open(QString* error) override;
  void Close() override;
  bool IsOpen() const override;
  void FlushInput() override;
  qint64 PendingInput() const override;
  qint64 PendingOutput() const override;
  void Write(const Bytes& bytes) override;
  void DiscardOutput() override;
  Bytes ReadAll() override;
  Bytes PeekInput(qint64 maxBytes) const override;
  void DiscardInput(qint64 bytes) override;
  QString DeviceName() const override;

  // Received bytes kept at most: a reply is 21 bytes, a Modbus frame at most 256.
  static constexpr qint64 kMaxBufferedInput = 512;

 protected:
  bool ApplyLineSettings(const LineSettings& settings, QString* error) override;

 private:
  void OnReadyRead();
  void OnError(QSerialPort::SerialPortError error);
  // The line hung up: the device behind it went away.
  bool HungUp() const;

  // Mutable because QIODevice::peek is not const, though it changes nothing.
  mutable QSerialPort port_;
  QString device_;
};

} // namespace trelvan
