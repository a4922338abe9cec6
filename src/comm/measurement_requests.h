#pragma once
// The family of measurement requests: one member per instrument family. Each
// flushes the line, asks its instrument for the eight registers of its block
// (function 3), waits for the reply, checks it and decodes it into the shared
// results. A request that fails changes no result.
//
// A Modbus reply names its station but not the registers it answers, so a
// reply that comes too late would pass for the next request to the same
// station. A request therefore lets the line settle first where the exchange
// before it may have left bytes on their way:
//  - after a time-out, a request to the same station within a quarter of the
//    reply wait (500 ms by default) waits until that quarter is over and the
//    line quiet; a late reply arriving then is discarded. (A late reply during
//    a request to another station fails that request: wrong station.)
//  - after a bad reply, whatever followed it is let go: the request waits
//    until no byte has come for 20 ms.

#include <QElapsedTimer>
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
  void SettleBefore(int station);

  SerialPort& port_;
  SharedResults& results_;
  WaitTimes times_;
  int timedOutStation_ = 0;    // the station of the last time-out, 0: none pending
  QElapsedTimer sinceTimeOut_; // since that time-out
  bool strayInput_ = false;    // the last exchange ended with a bad reply
  RequestError lastError_ = RequestError::None;
  QString lastErrorText_;
};

} // namespace trelvan
