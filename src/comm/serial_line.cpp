#include "serial_line.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <optional>

#include "comm/frame_codec.h"
#include "comm/operator_texts.h"

namespace trelvan {

PortResult ApplySettings(SerialPort& port, const SerialSettings& settings) {
  std::string why;
  const auto lineSettings = ParseSettingsText(SettingsText(settings), &why);
  if (!lineSettings) return {false, QString::fromStdString(why)};
  QString error;
  if (!port.Configure(*lineSettings, &error)) return {false, error};
  return {};
}

PortResult OpenPort(SerialPort& port, const SerialSettings& settings) {
  port.SelectPort(settings.portNumber);
  PortResult applied = ApplySettings(port, settings);
  if (!applied.ok) {
    applied.message = PortSettingsFailedText(settings.portNumber, port.DeviceName(), applied.message);
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
    connect(&port_, &SerialPort::waitsInterrupted, this, [this] { Finish(ReplyOutcome::Interrupted); });
  }

  bool busy() const { return loop_ != nullptr; }

  Reply Wait(int expectedLength, const WaitTimes& times, const StaleFrame& stale) {
    QEventLoop loop;
    loop_ = &loop;
    expectedLength_ = expectedLength;
    times_ = times;
    stale_ = &stale;
    finished_ = false;
    outcome_ = ReplyOutcome::TimedOut;

    StartPhase(Phase::Draining, times_.drainMs);
    receivingSince_ = std::chrono::steady_clock::now();
    OnOutput();
    if (!finished_) loop.exec();
    // An event loop that was made to end from outside (the program ending)
    // ends the wait like an interrupt.
    if (!finished_) outcome_ = ReplyOutcome::Interrupted;
    timer_.stop();
    loop_ = nullptr;
    stale_ = nullptr;

    Reply reply;
    reply.outcome = outcome_;
    reply.replyWaitBegan = receivingSince_;
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
    receivingSince_ = std::chrono::steady_clock::now();
    StartPhase(Phase::Receiving, times_.replyMs);
    OnInput(); // the reply may already be there
  }

  void OnInput() {
    if (!busy() || finished_ || phase_ != Phase::Receiving) return;
    if (!port_.IsOpen()) return Finish(ReplyOutcome::PortClosed);
    // Bytes seen after the deadline count as late, even when the timer's
    // event has not been handled yet.
    if (deadline_.hasExpired()) return Finish(ReplyOutcome::TimedOut);
    DropStaleFrames();
    const qint64 pending = port_.PendingInput();
    if (pending >= expectedLength_) return Finish(ReplyOutcome::Complete);
    if (pending >= kExceptionReplyLength && IsExceptionReply(port_.PeekInput(kExceptionReplyLength))) {
      Finish(ReplyOutcome::Exception);
    }
  }

  void DropStaleFrames() {
    if (stale_ == nullptr || !*stale_) return;
    for (;;) {
      const Bytes head = port_.PeekInput(expectedLength_);
      const std::size_t drop = (*stale_)(head);
      if (drop == 0 || drop > head.size()) return;
      port_.DiscardInput(static_cast<qint64>(drop));
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
  const StaleFrame* stale_ = nullptr;
  QDeadlineTimer deadline_;
  std::chrono::steady_clock::time_point receivingSince_;
  Phase phase_ = Phase::Draining;
  bool finished_ = false;
  ReplyOutcome outcome_ = ReplyOutcome::TimedOut;
};

Reply AwaitReply(SerialPort& port, int expectedLength, const WaitTimes& times, const StaleFrame& stale) {
  if (!port.IsOpen()) return Reply{ReplyOutcome::PortClosed, {}, std::chrono::steady_clock::now()};
  auto* waiter = port.findChild<ReplyWaiter*>(QString(), Qt::FindDirectChildrenOnly);
  if (waiter == nullptr) waiter = new ReplyWaiter(port);
  if (waiter->busy()) {
    // A wait started from an event handler while another waits on the same
    // port: give it a waiter of its own.
    ReplyWaiter nested(port);
    nested.setParent(nullptr);
    return nested.Wait(expectedLength, times, stale);
  }
  return waiter->Wait(expectedLength, times, stale);
}

SettleOutcome SettleLine(SerialPort& port, const SettleTimes& times) {
  if (!port.IsOpen()) return SettleOutcome::PortClosed;
  port.FlushInput();
  const QDeadlineTimer end(times.maxMs, Qt::PreciseTimer);
  const QDeadlineTimer earliest(times.minMs, Qt::PreciseTimer);
  QDeadlineTimer quiet(times.quietMs, Qt::PreciseTimer);
  QEventLoop loop;
  QTimer timer;
  timer.setSingleShot(true);
  timer.setTimerType(Qt::PreciseTimer);
  std::optional<SettleOutcome> outcome;
  auto finish = [&](SettleOutcome o) {
    if (outcome) return;
    outcome = o;
    loop.quit();
  };
  auto check = [&] {
    if (outcome) return;
    if (!port.IsOpen()) return finish(SettleOutcome::PortClosed);
    if (earliest.hasExpired() && quiet.hasExpired()) return finish(SettleOutcome::Quiet);
    if (end.hasExpired()) return finish(SettleOutcome::NeverQuiet);
    const qint64 wait = std::max(earliest.remainingTime(), quiet.remainingTime());
    timer.start(static_cast<int>(std::min(wait, end.remainingTime())));
  };
  QObject::connect(&port, &SerialPort::readyRead, &loop, [&] {
    port.ReadAll();
    quiet = QDeadlineTimer(times.quietMs, Qt::PreciseTimer);
    check();
  });
  QObject::connect(&port, &SerialPort::lineLost, &loop, check);
  QObject::connect(&port, &SerialPort::waitsInterrupted, &loop, [&] { finish(SettleOutcome::Interrupted); });
  QObject::connect(&timer, &QTimer::timeout, &loop, check);
  check();
  if (!outcome) loop.exec();
  if (!outcome) outcome = SettleOutcome::Interrupted;
  port.FlushInput();
  return *outcome;
}

} // namespace trelvan

#include "serial_line.moc"
