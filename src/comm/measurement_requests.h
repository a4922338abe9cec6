#pragma once
// The family of measurement requests: one member per instrument family. Each
// flushes the line, asks its instrument for the eight registers of its block
// (function 3), waits for the reply, checks it and decodes it into the shared
// results. A request that fails changes no result.

#include <QString>

#include "comm/serial_line.h"
#include "comm/serial_port.h"
#include "core/catalogue.h"
#include "core/shared_results.h"

namespace trelvan {

enum class RequestError {
  None,
  TimedOut,   // no complete reply in time
  BadReply,   // wrong station, wrong function, wrong byte count or wrong CRC
  Exception,  // the instrument refused the request
  NotSent,    // station address outside 1..247 or a register block that does not exist
  PortClosed, // the line is not open, or was lost during the wait
};

class MeasurementRequests {
 public:
  MeasurementRequests(SerialPort& port, SharedResults& results);

  // Station address and register base are rounded to whole numbers.
  bool RequestResistivity(double stationAddress, double registerBase);
  bool RequestConductivity(double stationAddress, double registerBase);
  bool RequestPh(double stationAddress, double registerBase);
  bool RequestRedox(double stationAddress, double registerBase);
  bool RequestOxygen(double stationAddress, double registerBase);
  bool RequestFlow(double stationAddress, double registerBase);
  bool RequestChlorine(double stationAddress, double registerBase);
  bool RequestTurbidity(double stationAddress, double registerBase);
  bool RequestDualResistivity(double stationAddress, double registerBase);
  bool RequestMultiUnit(double stationAddress, double registerBase);
  bool RequestOxidant(double stationAddress, double registerBase);
  // The member that reads instruments of a catalogue entry.
  bool Request(RequestMember member, double stationAddress, double registerBase);

  // Shorter waits for tests and tools; the station uses the defaults.
  void SetWaitTimes(const WaitTimes& times) { times_ = times; }
  const WaitTimes& waitTimes() const { return times_; }

  RequestError lastError() const { return lastError_; }
  // German, one text per kind of error, naming the station ("" after success).
  QString lastErrorText() const { return lastErrorText_; }

 private:
  bool Fail(RequestError error, QString text);

  SerialPort& port_;
  SharedResults& results_;
  WaitTimes times_;
  RequestError lastError_ = RequestError::None;
  QString lastErrorText_;
};

} // namespace trelvan
