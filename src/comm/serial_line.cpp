#include "serial_line.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>

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

// The reply wait of one port: a small state machine (draining, then
// receiving) woken by the port's signals and one precise single-shot timer,
// run in a local event loop that sleeps until one of them fires; it never
// polls. It lives as a child of the port, so its connections and its timer
// are made once, not per exchange.
class ReplyWaiter : public QObject {
  Q_OBJECT

 public:
  explicit ReplyWaiter(SerialPort& port) : QObject(&port), port_(port) {
    timer_.setSingleShot(true);
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, &ReplyWaiter::OnDeadline);
    connect(&port_, &SerialPort::bytesWritten, this, &ReplyWaiter::OnOutput);
    connect(&port_, &SerialPort::readyRead, this, &ReplyWaiter::OnInput);
    connect(&port_, &SerialPort::lineLost, this, [this] { Finish(ReplyOutcome::PortClosed); });
  }

  bool busy() const { return loop_ != nullptr; }

  Reply Wait(int expectedLength, const WaitTimes& times) {
    QEventLoop loop;
    loop_ = &loop;
    expectedLength_ = expectedLength;
    times_ = times;
    finished_ = false;
    outcome_ = ReplyOutcome::TimedOut;

    StartPhase(Phase::Draining, times_.drainMs);
    OnOutput();
    if (!finished_) loop.exec();
    timer_.stop();
    loop_ = nullptr;

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
    if (!busy() || finished_ || phase_ != Phase::Draining) return;
    if (!port_.IsOpen()) return Finish(ReplyOutcome::PortClosed);
    if (port_.PendingOutput() == 0) StartReceiving();
  }

  void StartReceiving() {
    StartPhase(Phase::Receiving, times_.replyMs);
    OnInput(); // the reply may already be there
  }

  void OnInput() {
    if (!busy() || finished_ || phase_ != Phase::Receiving) return;
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
    // Only the deadline of the phase under way can end it, never a firing
    // left over from an earlier one.
    if (!busy() || finished_ || !deadline_.hasExpired()) return;
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
    if (!busy() || finished_) return;
    finished_ = true;
    outcome_ = outcome;
    loop_->quit();
  }

  SerialPort& port_;
  QTimer timer_;
  QEventLoop* loop_ = nullptr; // while a wait is under way
  int expectedLength_ = 0;
  WaitTimes times_;
  QDeadlineTimer deadline_;
  Phase phase_ = Phase::Draining;
  bool finished_ = false;
  ReplyOutcome outcome_ = ReplyOutcome::TimedOut;
};

Reply AwaitReply(SerialPort& port, int expectedLength, const WaitTimes& times) {
  if (!port.IsOpen()) return Reply{false, {}, ReplyOutcome::PortClosed};
  auto* waiter = port.findChild<ReplyWaiter*>(QString(), Qt::FindDirectChildrenOnly);
  if (waiter == nullptr) waiter = new ReplyWaiter(port);
  if (waiter->busy()) {
    // A wait started from an event handler while another waits on the same
    // port: give it a waiter of its own.
    ReplyWaiter nested(port);
    nested.setParent(nullptr);
    return nested.Wait(expectedLength, times);
  }
  return waiter->Wait(expectedLength, times);
}

void SettleLine(SerialPort& port, const SettleTimes& times) {
  if (!port.IsOpen()) return;
  port.FlushInput();
  const QDeadlineTimer end(times.maxMs, Qt::PreciseTimer);
  const QDeadlineTimer earliest(times.minMs, Qt::PreciseTimer);
  QDeadlineTimer quiet(times.quietMs, Qt::PreciseTimer);
  QEventLoop loop;
  QTimer timer;
  timer.setSingleShot(true);
  timer.setTimerType(Qt::PreciseTimer);
  bool done = false;
  auto check = [&] {
    if (done) return;
    if (!port.IsOpen() || end.hasExpired() || (earliest.hasExpired() && quiet.hasExpired())) {
      done = true;
      loop.quit();
      return;
    }
    const qint64 wait = std::max(earliest.remainingTime(), quiet.remainingTime());
    timer.start(static_cast<int>(std::min(wait, end.remainingTime())));
  };
  QObject::connect(&port, &SerialPort::readyRead, &loop, [&] {
    port.ReadAll();
    quiet = QDeadlineTimer(times.quietMs, Qt::PreciseTimer);
    check();
  });
  QObject::connect(&port, &SerialPort::lineLost, &loop, check);
  QObject::connect(&timer, &QTimer::timeout, &loop, check);
  check();
  if (!done) loop.exec();
  port.FlushInput();
}

} // namespace trelvan

#include "serial_line.moc"
