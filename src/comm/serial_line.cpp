#include "serial_line.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>

#include "comm/frame_codec.h"

namespace trelvan {

PortResult ApplySettings(SerialPort& port, const SerialSettings& settings) {
  QString error;
  if (!port.Configure(QString::fromStdString(SettingsText(settings)), &error)) return {false, error};
  return {};
}

PortResult OpenPort(SerialPort& port, const SerialSettings& settings) {
  port.SelectPort(settings.portNumber);
  PortResult applied = ApplySettings(port, settings);
  if (!applied.ok) {
    applied.message = QStringLiteral("Com%1 (%2): %3").arg(settings.portNumber).arg(port.DeviceName(), applied.message);
    return applied;
  }
  QString error;
  if (!port.Open(&error)) return {false, error};
  return {};
}

void ClosePort(SerialPort& port) { port.Close(); }

namespace {

// One reply wait: a small state machine (draining, then receiving) woken by
// the port's signals and one precise single-shot timer, run in a local event
// loop. The loop sleeps until one of them fires; it never polls.
class ReplyWait {
 public:
  ReplyWait(SerialPort& port, int expectedLength, const WaitTimes& times)
      : port_(port), expectedLength_(expectedLength), times_(times) {}

  Reply Run() {
    timer_.setSingleShot(true);
    timer_.setTimerType(Qt::PreciseTimer);
    // The loop is the context of every connection, so they all end with the wait.
    QObject::connect(&timer_, &QTimer::timeout, &loop_, [this] { OnDeadline(); });
    QObject::connect(&port_, &SerialPort::bytesWritten, &loop_, [this] { OnOutput(); });
    QObject::connect(&port_, &SerialPort::readyRead, &loop_, [this] { OnInput(); });
    QObject::connect(&port_, &SerialPort::lineLost, &loop_, [this] { Finish(ReplyOutcome::PortClosed); });

    StartPhase(Phase::Draining, times_.drainMs);
    OnOutput();
    if (!finished_) loop_.exec();
    timer_.stop();

    Reply reply;
    reply.outcome = outcome_;
    reply.success = outcome_ == ReplyOutcome::Complete;
    if (outcome_ == ReplyOutcome::Complete || outcome_ == ReplyOutcome::Exception) reply.bytes = port_.ReadAll();
    return reply;
  }

 private:
  enum class Phase { Draining, Receiving };

  void StartPhase(Phase phase, int ms) {
    phase_ = phase;
    // The deadline and the timer start together; the timer only wakes the
    // loop, the deadline decides. A precise timer never fires before its
    // interval, so the wait is never shorter than `ms`.
    deadline_ = QDeadlineTimer(ms, Qt::PreciseTimer);
    timer_.start(ms);
  }

  void OnOutput() {
    if (finished_ || phase_ != Phase::Draining) return;
    if (!port_.IsOpen()) return Finish(ReplyOutcome::PortClosed);
    if (port_.PendingOutput() == 0) StartReceiving();
  }

  void StartReceiving() {
    StartPhase(Phase::Receiving, times_.replyMs);
    OnInput(); // the reply may already be there
  }

  void OnInput() {
    if (finished_ || phase_ != Phase::Receiving) return;
    if (!port_.IsOpen()) return Finish(ReplyOutcome::PortClosed);
    // Bytes seen after the deadline count as late, even when the timer's
    // event has not been handled yet.
    if (deadline_.hasExpired()) return Finish(ReplyOutcome::TimedOut);
    const qint64 pending = port_.PendingInput();
    if (pending >= expectedLength_) return Finish(ReplyOutcome::Complete);
    if (pending >= kExceptionReplyLength && IsExceptionReply(port_.PeekInput(kExceptionReplyLength))) {
      Finish(ReplyOutcome::Exception);
    }
  }

  void OnDeadline() {
    if (finished_) return;
    if (!port_.IsOpen()) return Finish(ReplyOutcome::PortClosed);
    if (phase_ == Phase::Draining) {
      // The request did not leave in time: drop its rest, still wait for a reply.
      port_.DiscardOutput();
      StartReceiving();
      return;
    }
    Finish(ReplyOutcome::TimedOut);
  }

  void Finish(ReplyOutcome outcome) {
    if (finished_) return;
    finished_ = true;
    outcome_ = outcome;
    loop_.quit();
  }

  SerialPort& port_;
  const int expectedLength_;
  const WaitTimes times_;
  QEventLoop loop_;
  QTimer timer_;
  QDeadlineTimer deadline_;
  Phase phase_ = Phase::Draining;
  bool finished_ = false;
  ReplyOutcome outcome_ = ReplyOutcome::TimedOut;
};

} // namespace

Reply AwaitReply(SerialPort& port, int expectedLength, const WaitTimes& times) {
  if (!port.IsOpen()) return Reply{false, {}, ReplyOutcome::PortClosed};
  ReplyWait wait(port, expectedLength, times);
  return wait.Run();
}

} // namespace trelvan
