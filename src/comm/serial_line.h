#pragma once
// Opening and closing the one serial line, and the wait that follows every
// request: first until the request has left the output buffer, then until a
// reply of the expected length is buffered, each wait bounded by its own
// time-out. The wait sleeps in the event loop; window events, timers and
// clicks keep being served while an instrument is being waited for.

#include <QString>

#include "comm/bytes.h"
#include "comm/serial_port.h"
#include "core/serial_settings.h"

namespace trelvan {

struct PortResult {
  bool ok = true;
  QString message; // German, for the operator: names the device and the reason
};

// Applies the settings text of `settings` ("9600,n,8, 1") to the port.
PortResult ApplySettings(SerialPort& port, const SerialSettings& settings);
// Selects the settings' port, applies the settings text and opens the port.
PortResult OpenPort(SerialPort& port, const SerialSettings& settings);
void ClosePort(SerialPort& port);

inline constexpr int kDefaultTimeOutMs = 2000;

struct WaitTimes {
  int drainMs = kDefaultTimeOutMs; // until the request has left the output buffer
  int replyMs = kDefaultTimeOutMs; // from then until the reply is complete
};

enum class ReplyOutcome {
  Complete,   // at least the expected number of bytes arrived in time
  Exception,  // an exception reply (5 bytes, function | 0x80, right CRC) arrived
  TimedOut,   // the reply wait ran out first; the bytes received stay buffered
  PortClosed, // the port was closed, or closed itself, before the reply
};

struct Reply {
  bool success = false; // true only for ReplyOutcome::Complete
  Bytes bytes;          // Complete and Exception: every buffered byte, extra ones included
  ReplyOutcome outcome = ReplyOutcome::TimedOut;
};

// Waits for the reply to the request just written. When the output has not
// drained within `times.drainMs` the unsent rest is discarded and the reply
// wait still runs its full `times.replyMs`. A deadline that has passed when
// the last byte is seen fails the wait, even if the bytes are all there.
// Nothing of a wait outlives it: a time-out never reaches the next exchange.
Reply AwaitReply(SerialPort& port, int expectedLength, const WaitTimes& times = {});

struct SettleTimes {
  int minMs = 0;   // the line is watched at least this long
  int quietMs = 0; // and until no byte has come for this long
  int maxMs = 0;   // but never longer than this
};

// Lets the line go quiet before a request: discards what is buffered and
// everything that arrives until the settle times are met or the port closes.
// Sleeps in the event loop like AwaitReply.
void SettleLine(SerialPort& port, const SettleTimes& times);

} // namespace trelvan
