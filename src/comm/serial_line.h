#pragma once
// Opening and closing the one serial line, and the wait that follows every
// request: first until the request has left the output buffer, then until a
// reply of the expected length is buffered, each wait bounded by its own
// time-out. The waits sleep in the event loop; window events, timers and
// clicks keep being served while an instrument is being waited for.

#include <QString>

#include <chrono>
#include <functional>

#include "comm/bytes.h"
#include "comm/frame_codec.h"
#include "comm/serial_port.h"
#include "core/serial_settings.h"

namespace trelvan {

struct PortResult {
  bool ok = true;
  QString message; // German, for the operator: names the device and the reason
};

// Reads the settings text of `settings` ("9600,n,8, 1") once and applies the
// line settings it gives to the port; a text that does not read as settings
// is refused, never guessed.
PortResult ApplySettings(SerialPort& port, const SerialSettings& settings);
// Selects the settings' port, applies the settings and opens the port.
PortResult OpenPort(SerialPort& port, const SerialSettings& settings);
void ClosePort(SerialPort& port);

inline constexpr int kDefaultTimeOutMs = 2000;

struct WaitTimes {
  int drainMs = kDefaultTimeOutMs; // until the request has left the output buffer
  int replyMs = kDefaultTimeOutMs; // from then until the reply is complete
};

enum class ReplyOutcome {
  Complete,    // at least the expected number of bytes arrived in time
  Exception,   // an exception reply (5 bytes, function | 0x80, right CRC) arrived
  TimedOut,    // the reply wait ran out first; the bytes received stay buffered
  PortClosed,  // the port was closed, or closed itself, before the reply
  Interrupted, // SerialPort::InterruptWaits ended the wait
};

struct Reply {
  ReplyOutcome outcome = ReplyOutcome::TimedOut;
  Bytes bytes; // Complete and Exception: every buffered byte, extra ones included
  // When the reply wait began: the request had left the output buffer (or
  // the drain wait had run out).
  std::chrono::steady_clock::time_point replyWaitBegan;
};

// How many of the first received bytes are a frame that is no reply to the
// request under way and is to be let go (another station's late reply); 0
// for none.
using StaleFrame = std::function<std::size_t(ByteView received)>;

// Waits for the reply to the request just written. When the output has not
// drained within `times.drainMs` the unsent rest is discarded and the reply
// wait still runs its full `times.replyMs`. A deadline that has passed when
// the last byte is seen fails the wait, even if the bytes are all there.
// Frames that `stale` names are dropped as they come, and the wait goes on.
// Nothing of a wait outlives it: a time-out never reaches the next exchange.
Reply AwaitReply(SerialPort& port, int expectedLength, const WaitTimes& times = {}, const StaleFrame& stale = {});

struct SettleTimes {
  int minMs = 0;   // the line is watched at least this long
  int quietMs = 0; // and until no byte has come for this long
  int maxMs = 0;   // but never longer than this
};

enum class SettleOutcome {
  Quiet,       // the line was quiet long enough
  NeverQuiet,  // bytes kept coming until maxMs
  PortClosed,  // the port closed, or closed itself, meanwhile
  Interrupted, // SerialPort::InterruptWaits ended the wait
};

// Lets the line go quiet before a request: discards what is buffered and
// everything that arrives until the settle times are met. Sleeps in the event
// loop like AwaitReply.
SettleOutcome SettleLine(SerialPort& port, const SettleTimes& times);

} // namespace trelvan
