#include "qt_serial_line.h"

#include <QByteArray>

#ifdef Q_OS_UNIX
#include <poll.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#endif

#include "comm/operator_texts.h"
#include "comm/port_access.h"
#include "comm/port_directory.h"

namespace trelvan {

namespace {

// German reason for a failed open, as the operator reads it.
QString OpenFailureReason(QSerialPort::SerialPortError error, const QString& qtText) {
  switch (error) {
    case QSerialPort::DeviceNotFoundError: return PortProblemText(PortProblem::DeviceMissing);
    case QSerialPort::PermissionError: return PortProblemText(PortProblem::AccessDenied);
    case QSerialPort::OpenError: return PortProblemText(PortProblem::AlreadyOpen);
    case QSerialPort::UnsupportedOperationError: return PortProblemText(PortProblem::Unsupported);
    default: return qtText;
  }
}

QSerialPort::Parity ToQt(Parity parity) {
  switch (parity) {
    case Parity::Even: return QSerialPort::EvenParity;
    case Parity::Odd: return QSerialPort::OddParity;
    case Parity::Mark: return QSerialPort::MarkParity;
    case Parity::Space: return QSerialPort::SpaceParity;
    case Parity::None: break;
  }
  return QSerialPort::NoParity;
}

} // namespace

QtSerialLine::QtSerialLine(QObject* parent) : SerialPort(parent) {
  connect(&port_, &QSerialPort::readyRead, this, &QtSerialLine::OnReadyRead);
  connect(&port_, &QSerialPort::bytesWritten, this, &SerialPort::bytesWritten);
  connect(&port_, &QSerialPort::errorOccurred, this, &QtSerialLine::OnError);
}

QtSerialLine::~QtSerialLine() = default;

QString QtSerialLine::DeviceForPort(int portNumber) { return PortDirectory().DeviceForPort(portNumber); }

void QtSerialLine::SelectPort(int portNumber) { SelectDevice(DeviceForPort(portNumber)); }

void QtSerialLine::SelectDevice(const QString& devicePath) {
  device_ = devicePath;
  if (!port_.isOpen()) port_.setPortName(devicePath);
}

bool QtSerialLine::ApplyLineSettings(const LineSettings& settings, QString* error) {
  const bool applied =
      port_.setBaudRate(settings.baudRate) &&
      port_.setDataBits(static_cast<QSerialPort::DataBits>(settings.dataBits)) &&
      port_.setParity(ToQt(settings.parity)) &&
      port_.setStopBits(settings.stopBits == 2 ? QSerialPort::TwoStop : QSerialPort::OneStop) &&
      port_.setFlowControl(QSerialPort::NoFlowControl);
  if (!applied && error) {
    *error = SettingNotAppliedText(settings, DeviceName(), OpenFailureReason(port_.error(), port_.errorString()));
  }
  return applied;
}

bool QtSerialLine::Open(QString* error) {
  if (device_.isEmpty()) {
    if (error) *error = NoPortSelectedText();
    return false;
  }
  if (port_.isOpen()) {
    if (error) *error = PortAlreadyOpenText(device_);
    return false;
  }
  port_.setPortName(device_);
  if (!port_.open(QIODevice::ReadWrite)) {
    if (error) {
      // Qt reports a missing permission and a device held elsewhere alike;
      // the device node and /proc tell them apart, and what helps.
      const PortAccess access = port_.error() == QSerialPort::PermissionError ||
                                        port_.error() == QSerialPort::DeviceNotFoundError
                                    ? CheckPortAccess(device_)
                                    : PortAccess{};
      *error = PortOpenFailedText(device_, access.text.isEmpty()
                                               ? OpenFailureReason(port_.error(), port_.errorString())
                                               : access.text);
    }
    port_.clearError();
    return false;
  }
#ifdef Q_OS_UNIX
  // Only one program may hold the line: two masters on it would garble each
  // other's requests. QSerialPort's own guards do not cover every pair: its
  // lock file lands in a private /tmp where a sandboxed service cannot write
  // the shared lock folder, and its TIOCEXCL lets root through. An advisory
  // lock on the device, which every program of ours takes, does: the window,
  // the poller service, a second poller, whoever runs them.
  if (::flock(static_cast<int>(port_.handle()), LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
    port_.close();
    if (error) {
      const PortAccess access = CheckPortAccess(device_);
      *error = PortOpenFailedText(device_, access.state == PortAccess::State::InUse
                                               ? access.text
                                               : PortProblemText(PortProblem::AlreadyOpen));
    }
    return false;
  }
#endif
  port_.clear(QSerialPort::AllDirections);
  return true;
}

void QtSerialLine::Close() {
  if (port_.isOpen()) port_.close();
}

bool QtSerialLine::IsOpen() const { return port_.isOpen(); }

void QtSerialLine::FlushInput() {
  if (!port_.isOpen()) return;
  port_.clear(QSerialPort::Input);
}

qint64 QtSerialLine::PendingInput() const { return port_.isOpen() ? port_.bytesAvailable() : 0; }

qint64 QtSerialLine::PendingOutput() const { return port_.isOpen() ? port_.bytesToWrite() : 0; }

void QtSerialLine::Write(const Bytes& bytes) {
  if (!port_.isOpen() || bytes.empty()) return;
  const char* data = reinterpret_cast<const char*>(bytes.data());
  qint64 size = static_cast<qint64>(bytes.size());
#ifdef Q_OS_UNIX
  // QSerialPort queues a write and arms a write notifier, which costs the
  // event loop two extra wake-ups per exchange. On an idle line an 8-byte
  // request fits the driver's buffer at once, so it goes straight through;
  // whatever does not (a full buffer, an error) takes QSerialPort's way, which
  // also reports a lost device.
  if (port_.bytesToWrite() == 0) {
    const ssize_t n = ::write(port_.handle(), data, static_cast<std::size_t>(size));
    if (n > 0) {
      data += n;
      size -= n;
    }
    if (size == 0) return;
  }
#endif
  port_.write(data, size);
  // Hand the rest to the driver now rather than on the next turn of the loop.
  port_.flush();
}

void QtSerialLine::DiscardOutput() {
  if (port_.isOpen()) port_.clear(QSerialPort::Output);
}

Bytes QtSerialLine::ReadAll() {
  if (!port_.isOpen()) return {};
  const QByteArray data = port_.readAll();
  return Bytes(data.begin(), data.end());
}

Bytes QtSerialLine::PeekInput(qint64 maxBytes) const {
  if (!port_.isOpen()) return {};
  const QByteArray data = port_.peek(maxBytes);
  return Bytes(data.begin(), data.end());
}

void QtSerialLine::DiscardInput(qint64 bytes) {
  if (port_.isOpen() && bytes > 0) port_.skip(bytes);
}

QString QtSerialLine::DeviceName() const { return device_; }

void QtSerialLine::OnReadyRead() {
  // Between passes nobody reads the line; a device that floods it must not
  // fill the memory. What is older than the newest kMaxBufferedInput bytes
  // is of no use to any reply and goes.
  const qint64 excess = port_.bytesAvailable() - kMaxBufferedInput;
  if (excess > 0) port_.skip(excess);
  emit readyRead();
}

bool QtSerialLine::HungUp() const {
#ifdef Q_OS_UNIX
  if (!port_.isOpen()) return false;
  pollfd p{static_cast<int>(port_.handle()), POLLIN, 0};
  return ::poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
#else
  return false;
#endif
}

void QtSerialLine::OnError(QSerialPort::SerialPortError error) {
  // A USB adapter pulled out fails the next read with EIO, which QSerialPort
  // reports as ResourceError. A terminal whose other side closed (a
  // pseudo-terminal, a hung-up line) reads as end of file instead: QSerialPort
  // calls that a ReadError, keeps the port open and, the descriptor staying
  // readable, reads again and again without end. A read error on a line that
  // has hung up is the same loss.
  if (error == QSerialPort::ReadError && HungUp()) error = QSerialPort::ResourceError;
  if (error != QSerialPort::ResourceError) return;
  const QString reason = LineLostText(device_, error == port_.error() ? port_.errorString() : QString());
  port_.clearError();
  if (port_.isOpen()) port_.close();
  emit lineLost(reason);
}

} // namespace trelvan
