#pragma once
// The operations of the serial line that the station needs, behind one
// interface, so that the exchange runs on a real port or on a scripted fake.

#include <QObject>
#include <QString>

#include "comm/bytes.h"
#include "comm/settings_text.h"

namespace trelvan {

class SerialPort : public QObject {
  Q_OBJECT

 public:
  using QObject::QObject;

  // Chooses "Com k" for the next Open.
  virtual void SelectPort(int portNumber) = 0;
  // Applies line settings (speed, parity, data and stop bits); a device that
  // refuses them says why in `error`.
  bool Configure(const LineSettings& settings, QString* error) {
    if (!ApplyLineSettings(settings, error)) return false;
    settings_ = settings;
    return true;
  }
  // The settings last applied.
  const LineSettings& lineSettings() const { return settings_; }
  // Opens the selected port; on failure `error` names the device and the reason.
  virtual bool Open(QString* error) = 0;
  virtual void Close() = 0;
  virtual bool IsOpen() const = 0;
  // Discards every received, unread byte.
  virtual void FlushInput() = 0;
  // Received, unread bytes.
  virtual qint64 PendingInput() const = 0;
  // Bytes written but not yet sent.
  virtual qint64 PendingOutput() const = 0;
  // Queues the bytes for sending, unchanged.
  virtual void Write(const Bytes& bytes) = 0;
  // Drops the unsent bytes.
  virtual void DiscardOutput() = 0;
  // Returns all received, unread bytes and removes them from the buffer.
  virtual Bytes ReadAll() = 0;
  // Up to `maxBytes` of the received bytes, leaving them buffered.
  virtual Bytes PeekInput(qint64 maxBytes) const = 0;
  // Drops the first `bytes` received bytes.
  virtual void DiscardInput(qint64 bytes) = 0;
  // The device the selected port maps to ("/dev/ttyS0", "COM1", ...).
  virtual QString DeviceName() const = 0;

  // Ends every wait on this line at once (a stop, the program's end): the
  // waits return as interrupted, and nothing is taken for a reply.
  void InterruptWaits() { emit waitsInterrupted(); }

 signals:
  void readyRead();
  void bytesWritten();
  // The device went away (an unplugged adapter); the port is closed.
  void lineLost(const QString& reason);
  void waitsInterrupted();

 protected:
  virtual bool ApplyLineSettings(const LineSettings& settings, QString* error) = 0;

 private:
  LineSettings settings_;
};

} // namespace trelvan
