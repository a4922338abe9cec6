#include "measurement_requests.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "comm/frame_codec.h"
#include "comm/measurement_decoding.h"

namespace trelvan {

namespace {

// Modbus station addresses: 0 is broadcast (nobody answers), 248..255 reserved.
constexpr int kFirstStation = 1;
constexpr int kLastStation = 247;

// The whole number nearest to `x`, or nothing when it is not a finite number
// within `low`..`high`.
std::optional<int> RoundedWithin(double x, int low, int high) {
  if (!std::isfinite(x)) return std::nullopt;
  const double r = std::round(x);
  if (r < low || r > high) return std::nullopt;
  return static_cast<int>(r);
}

QString FaultText(ReplyFault fault) {
  switch (fault) {
    case ReplyFault::TooShort: return QStringLiteral("Antwort zu kurz");
    case ReplyFault::WrongStation: return QStringLiteral("Antwort von einer anderen Station");
    case ReplyFault::WrongFunction: return QStringLiteral("falscher Funktionscode");
    case ReplyFault::WrongByteCount: return QStringLiteral("falsche Byteanzahl");
    case ReplyFault::BadCrc: return QStringLiteral("Prüfsumme falsch");
    case ReplyFault::Exception:
    case ReplyFault::None: break;
  }
  return {};
}

// Bytes of one reply are about 1 ms apart at 9600 baud; a USB adapter hands
// them over at the latest every 16 ms (its latency timer). 20 ms without a
// byte: nothing more of that reply is coming.
constexpr int kQuietMs = 20;

} // namespace

MeasurementRequests::MeasurementRequests(SerialPort& port, SharedResults& results)
    : port_(port), results_(results) {}

bool MeasurementRequests::Fail(RequestError error, QString text) {
  lastError_ = error;
  lastErrorText_ = std::move(text);
  return false;
}

bool MeasurementRequests::Request(RequestMember member, double stationAddress, double registerBase) {
  lastError_ = RequestError::None;
  lastErrorText_.clear();

  const auto station = RoundedWithin(stationAddress, kFirstStation, kLastStation);
  if (!station) {
    return Fail(RequestError::NotSent,
                QStringLiteral("Stationsadresse %1 liegt nicht in 1..247; nichts gesendet").arg(stationAddress));
  }
  const auto base = RoundedWithin(registerBase, 0, 0xFFFF - (kMeasurementRegisterCount - 1));
  if (!base) {
    return Fail(RequestError::NotSent,
                QStringLiteral("Registerblock ab %1 gibt es nicht; an Station %2 nichts gesendet")
                    .arg(registerBase)
                    .arg(*station));
  }
  if (!port_.IsOpen()) {
    return Fail(RequestError::PortClosed, QStringLiteral("Die Schnittstelle ist nicht geöffnet"));
  }

  // A late reply of an earlier exchange must not pass for this one.
  SettleBefore(*station);
  port_.FlushInput();
  const auto request = BuildRequest(*station, kReadHoldingRegisters, *base, kMeasurementRegisterCount);
  port_.Write(request->frame);
  const Reply reply = AwaitReply(port_, request->expectedLength, times_);

  switch (reply.outcome) {
    case ReplyOutcome::TimedOut:
      timedOutStation_ = *station;
      sinceTimeOut_.start();
      return Fail(RequestError::TimedOut, QStringLiteral("Station %1 antwortet nicht").arg(*station));
    case ReplyOutcome::PortClosed:
      return Fail(RequestError::PortClosed,
                  QStringLiteral("Die Schnittstelle %1 wurde während der Anfrage an Station %2 geschlossen")
                      .arg(port_.DeviceName())
                      .arg(*station));
    case ReplyOutcome::Exception:
    case ReplyOutcome::Complete:
      break;
  }

  const ReplyCheck check = CheckReadReply(reply.bytes, *station, kReadHoldingRegisters, kMeasurementRegisterCount);
  if (check.fault == ReplyFault::Exception) {
    return Fail(RequestError::Exception, QStringLiteral("Station %1 lehnt die Anfrage ab: Ausnahme %2 (%3)")
                                             .arg(*station)
                                             .arg(check.exceptionCode)
                                             .arg(QString::fromStdString(ExceptionCodeText(check.exceptionCode))));
  }
  if (!check.ok()) {
    strayInput_ = true;
    return Fail(RequestError::BadReply,
                QStringLiteral("Ungültige Antwort von Station %1: %2").arg(*station).arg(FaultText(check.fault)));
  }
  DecodeMeasurement(member, reply.bytes, results_);
  return true;
}

void MeasurementRequests::SettleBefore(int station) {
  SettleTimes settle;
  bool needed = std::exchange(strayInput_, false);
  if (timedOutStation_ != 0) {
    const qint64 guardLeft = times_.replyMs / 4 - sinceTimeOut_.elapsed();
    if (guardLeft <= 0) {
      timedOutStation_ = 0; // a reply later than this is not looked for
    } else if (timedOutStation_ == station) {
      settle.minMs = static_cast<int>(guardLeft);
      timedOutStation_ = 0;
      needed = true;
    }
  }
  if (!needed) return;
  settle.quietMs = kQuietMs;
  settle.maxMs = std::max(times_.replyMs, settle.minMs + kQuietMs);
  SettleLine(port_, settle);
}

bool MeasurementRequests::RequestResistivity(double a, double b) { return Request(RequestMember::Resistivity, a, b); }
bool MeasurementRequests::RequestConductivity(double a, double b) { return Request(RequestMember::Conductivity, a, b); }
bool MeasurementRequests::RequestPh(double a, double b) { return Request(RequestMember::Ph, a, b); }
bool MeasurementRequests::RequestRedox(double a, double b) { return Request(RequestMember::Redox, a, b); }
bool MeasurementRequests::RequestOxygen(double a, double b) { return Request(RequestMember::Oxygen, a, b); }
bool MeasurementRequests::RequestFlow(double a, double b) { return Request(RequestMember::Flow, a, b); }
bool MeasurementRequests::RequestChlorine(double a, double b) { return Request(RequestMember::Chlorine, a, b); }
bool MeasurementRequests::RequestTurbidity(double a, double b) { return Request(RequestMember::Turbidity, a, b); }
bool MeasurementRequests::RequestDualResistivity(double a, double b) { return Request(RequestMember::DualResistivity, a, b); }
bool MeasurementRequests::RequestMultiUnit(double a, double b) { return Request(RequestMember::MultiUnit, a, b); }
bool MeasurementRequests::RequestOxidant(double a, double b) { return Request(RequestMember::Oxidant, a, b); }

} // namespace trelvan
