#include "measurement_requests.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "comm/frame_codec.h"
#include "comm/measurement_decoding.h"
#include "comm/operator_texts.h"
#include "core/station_address.h"

namespace trelvan {

namespace {

// Bytes of one reply are about 1 ms apart at 9600 baud; a USB adapter hands
// them over at the latest every 16 ms (its latency timer). 20 ms without a
// byte: nothing more of that reply is coming.
constexpr int kQuietMs = 20;

FailureKind KindOf(ReplyFault fault) {
  switch (fault) {
    case ReplyFault::None: return FailureKind::None;
    case ReplyFault::Exception: return FailureKind::Exception;
    case ReplyFault::TooShort: return FailureKind::TimedOut;
    case ReplyFault::WrongStation: return FailureKind::WrongStation;
    case ReplyFault::WrongFunction: return FailureKind::WrongFunction;
    case ReplyFault::WrongByteCount: return FailureKind::WrongByteCount;
    case ReplyFault::BadCrc: return FailureKind::BadCrc;
  }
  return FailureKind::BadCrc;
}

RequestResult FailedAt(FailureKind kind, int station, int exceptionCode = 0) {
  return RequestResult::Failed(kind, RequestFailureText(kind, station, exceptionCode), exceptionCode);
}

} // namespace

MeasurementRequests::MeasurementRequests(SerialPort& port, SharedResults& results)
    : port_(port), results_(results) {}

void MeasurementRequests::InterruptHoldWait() {
  if (inHoldWait_) port_.InterruptWaits();
}

int MeasurementRequests::QuietMs() const {
  // Modbus RTU ends a frame with 3.5 character times of silence: 4 ms at
  // 9600 baud, 16 ms at 2400 with parity and two stop bits.
  const double frameGap = 3.5 * CharacterTimeMs(port_.lineSettings());
  return std::max(kQuietMs, static_cast<int>(std::ceil(frameGap)));
}

RequestResult MeasurementRequests::Request(RequestMember member, int station, int registerBase) {
  lastReply_.clear();
  if (station < kFirstStation || station > kLastStation) return FailedAt(FailureKind::NotAStation, station);
  if (registerBase < 0 || registerBase > 0xFFFF - (kMeasurementRegisterCount - 1)) {
    return RequestResult::Failed(FailureKind::NotAStation, NoSuchBlockText(registerBase, station));
  }
  if (!port_.IsOpen()) return FailedAt(FailureKind::NotOpen, station);
  if (auto refused = WaitOutHold(station)) return *refused;
  if (auto refused = LetStrayInputGo(station)) return *refused;
  return Exchange(member, station, registerBase);
}

std::optional<RequestResult> MeasurementRequests::WaitOutHold(int station) {
  const auto held = holds_.find(station);
  if (held == holds_.end()) return std::nullopt;
  if (pass_ != 0 && held->second.pass == pass_) return FailedAt(FailureKind::HeldBack, station);

  // At the default 2000 ms the late reply may come until 3000 ms after the
  // wait for it began; the next pass, a second after the time-out, waits
  // here for about the rest of that.
  const auto earliest = held->second.replyWaitBegan + std::chrono::milliseconds(times_.replyMs * 3 / 2);
  const auto untilEarliest = std::chrono::ceil<std::chrono::milliseconds>(earliest - Clock::now()).count();
  SettleTimes settle;
  settle.minMs = static_cast<int>(std::max<std::int64_t>(0, untilEarliest));
  settle.quietMs = QuietMs();
  settle.maxMs = settle.minMs + times_.replyMs;
  inHoldWait_ = true;
  const SettleOutcome outcome = SettleLine(port_, settle);
  inHoldWait_ = false;

  switch (outcome) {
    case SettleOutcome::Quiet:
      holds_.erase(station);
      return std::nullopt;
    case SettleOutcome::NeverQuiet:
      // Still held; a further block of the station in this pass fails at once.
      holds_[station].pass = pass_;
      return RequestResult::Failed(FailureKind::HeldBack, LineNeverQuietText(station));
    case SettleOutcome::PortClosed:
    case SettleOutcome::Interrupted:
      break;
  }
  return RequestResult::Interrupted();
}

std::size_t MeasurementRequests::LateReplyLength(ByteView received, int awaitedStation) {
  if (received.size() < kExceptionReplyLength || received[0] == awaitedStation || !holds_.contains(received[0]))
    return 0;
  std::size_t length = 0;
  if (IsExceptionReply(received)) length = kExceptionReplyLength;
  else if (CheckReadReply(received, received[0], kReadHoldingRegisters, kMeasurementRegisterCount).ok())
    length = kMeasurementReplyLength;
  if (length != 0) Record(FrameDirection::Received, received[0], received.first(length), "late");
  return length;
}

void MeasurementRequests::Record(FrameDirection direction, int station, ByteView bytes, std::string outcome) {
  if (frames_) frames_->Add(direction, station, bytes, std::move(outcome));
}

RequestResult MeasurementRequests::Replied(RequestResult result, int station, ByteView reply) {
  Record(FrameDirection::Received, station, reply,
         result.ok() ? std::string("ok") : std::string(FailureKindId(result.failure)));
  return result;
}

std::optional<RequestResult> MeasurementRequests::LetStrayInputGo(int station) {
  if (!std::exchange(strayInput_, false)) return std::nullopt;
  SettleTimes settle;
  settle.quietMs = kQuietMs;
  settle.maxMs = times_.replyMs;
  switch (SettleLine(port_, settle)) {
    case SettleOutcome::Quiet:
    case SettleOutcome::NeverQuiet:
      return std::nullopt;
    case SettleOutcome::PortClosed:
      return RequestResult::Failed(FailureKind::LineLost, LineLostDuringRequestText(port_.DeviceName(), station));
    case SettleOutcome::Interrupted:
      break;
  }
  return RequestResult::Interrupted();
}

RequestResult MeasurementRequests::Exchange(RequestMember member, int station, int registerBase) {
  // Bytes left over from an earlier exchange cannot be taken for this reply.
  port_.FlushInput();
  const auto request = BuildRequest(station, kReadHoldingRegisters, registerBase, kMeasurementRegisterCount);
  Record(FrameDirection::Sent, station, request->frame, {});
  port_.Write(request->frame);
  const Reply reply = AwaitReply(port_, request->expectedLength, times_, [&](ByteView received) {
    return LateReplyLength(received, station);
  });

  switch (reply.outcome) {
    case ReplyOutcome::TimedOut:
      holds_[station] = Hold{reply.replyWaitBegan, pass_};
      // What came of the reply stays buffered until the next request.
      return Replied(FailedAt(FailureKind::TimedOut, station), station, port_.PeekInput(kMeasurementReplyLength));
    case ReplyOutcome::PortClosed:
      return Replied(
          RequestResult::Failed(FailureKind::LineLost, LineLostDuringRequestText(port_.DeviceName(), station)),
          station, {});
    case ReplyOutcome::Interrupted:
      return RequestResult::Interrupted();
    case ReplyOutcome::Exception:
    case ReplyOutcome::Complete:
      break;
  }

  const double replyMs = std::chrono::duration<double, std::milli>(Clock::now() - reply.replyWaitBegan).count();
  const ReplyCheck check = CheckReadReply(reply.bytes, station, kReadHoldingRegisters, kMeasurementRegisterCount);
  RequestResult result = RequestResult::Success();
  if (check.fault == ReplyFault::Exception) {
    result = FailedAt(FailureKind::Exception, station, check.exceptionCode);
  } else if (!check.ok()) {
    strayInput_ = true;
    result = FailedAt(KindOf(check.fault), station);
  } else {
    DecodeMeasurement(member, reply.bytes, results_);
  }
  if (result.ok()) lastReply_ = reply.bytes;
  result.replyMs = replyMs;
  return Replied(std::move(result), station, reply.bytes);
}

RequestResult MeasurementRequests::RequestResistivity(int s, int b) { return Request(RequestMember::Resistivity, s, b); }
RequestResult MeasurementRequests::RequestConductivity(int s, int b) { return Request(RequestMember::Conductivity, s, b); }
RequestResult MeasurementRequests::RequestPh(int s, int b) { return Request(RequestMember::Ph, s, b); }
RequestResult MeasurementRequests::RequestRedox(int s, int b) { return Request(RequestMember::Redox, s, b); }
RequestResult MeasurementRequests::RequestOxygen(int s, int b) { return Request(RequestMember::Oxygen, s, b); }
RequestResult MeasurementRequests::RequestFlow(int s, int b) { return Request(RequestMember::Flow, s, b); }
RequestResult MeasurementRequests::RequestChlorine(int s, int b) { return Request(RequestMember::Chlorine, s, b); }
RequestResult MeasurementRequests::RequestTurbidity(int s, int b) { return Request(RequestMember::Turbidity, s, b); }
RequestResult MeasurementRequests::RequestDualResistivity(int s, int b) { return Request(RequestMember::DualResistivity, s, b); }
RequestResult MeasurementRequests::RequestMultiUnit(int s, int b) { return Request(RequestMember::MultiUnit, s, b); }
RequestResult MeasurementRequests::RequestOxidant(int s, int b) { return Request(RequestMember::Oxidant, s, b); }

} // namespace trelvan
