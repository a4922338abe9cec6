#pragma once
// The family of measurement requests: one member per instrument family. Each
// asks its instrument for the eight registers of its block (function 3),
// waits for the reply, checks it and decodes it into the shared results. A
// request that fails changes no result, and says why in its RequestResult.
//
// A Modbus reply names its station but not the registers it answers, so a
// reply that comes too late would pass for the next request to the same
// station. After a time-out the station is therefore held:
//  - a further request to it in the same pass fails at once, unsent, as held
//    back (a dead instrument with two blocks costs one time-out a pass);
//  - in a later pass its next request is sent only once one and a half reply
//    time-outs have passed since the timed-out reply wait began and the line
//    has then been quiet for max(20 ms, 3.5 character times); what arrives
//    meanwhile is discarded. A line that never goes quiet is waited on for at
//    most one more reply time-out, and the request fails as held back.
// Only a time-out holds a station: a bad CRC, a wrong echo or an exception
// reply shows it alive. A held station's late reply that arrives, whole and
// valid, while another station's reply is awaited is let go, and the wait
// goes on. A reply later than one and a half reply time-outs cannot be told
// from a current one. After a bad reply, whatever followed it
// is let go before the next request: the request waits until no byte has
// come for 20 ms.

#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <string>

#include "comm/frame_log.h"
#include "comm/serial_line.h"
#include "comm/serial_port.h"
#include "core/catalogue.h"
#include "core/reading.h"
#include "core/shared_results.h"

namespace trelvan {

// What became of one request.
struct RequestResult {
  FailureKind failure = FailureKind::None;
  std::string reason;    // German, built where the failure was found; "" on success
  int exceptionCode = 0; // with FailureKind::Exception
  // Cut short by a stop, the program's end or a line lost while a held
  // station's request waited: no reading, the channel's label keeps its text.
  bool interrupted = false;
  // From the request leaving the output to its reply, where one came.
  std::optional<double> replyMs;

  bool ok() const { return failure == FailureKind::None && !interrupted; }

  static RequestResult Success() { return {}; }
  static RequestResult Failed(FailureKind kind, std::string reason, int exceptionCode = 0) {
    return {kind, std::move(reason), exceptionCode, false, std::nullopt};
  }
  static RequestResult Interrupted() { return {FailureKind::None, {}, 0, true, std::nullopt}; }
};

class MeasurementRequests {
 public:
  MeasurementRequests(SerialPort& port, SharedResults& results);

  RequestResult RequestResistivity(int station, int registerBase);
  RequestResult RequestConductivity(int station, int registerBase);
  RequestResult RequestPh(int station, int registerBase);
  RequestResult RequestRedox(int station, int registerBase);
  RequestResult RequestOxygen(int station, int registerBase);
  RequestResult RequestFlow(int station, int registerBase);
  RequestResult RequestChlorine(int station, int registerBase);
  RequestResult RequestTurbidity(int station, int registerBase);
  RequestResult RequestDualResistivity(int station, int registerBase);
  RequestResult RequestMultiUnit(int station, int registerBase);
  RequestResult RequestOxidant(int station, int registerBase);
  // The member that reads instruments of a catalogue entry. A station
  // outside 1..247 or a block beyond register 65535 is never sent.
  RequestResult Request(RequestMember member, int station, int registerBase);

  // A poll pass begins: the requests until the next call form one pass. A
  // user that never calls it has each request count as a pass of its own.
  void BeginPass() { ++pass_; }

  // Ends the wait before a held station's request, if one is under way (the
  // operator's stop); a reply wait under way runs on.
  void InterruptHoldWait();

  // Every request and reply goes to `log` as well (nullptr: none).
  void SetFrameLog(FrameLog* log) { frames_ = log; }
  // The reply of the last request, a whole valid frame; empty when the
  // request got none.
  const Bytes& lastReply() const { return lastReply_; }

  // The reply time-out (and drain time-out) of every request.
  void SetWaitTimes(const WaitTimes& times) { times_ = times; }
  const WaitTimes& waitTimes() const { return times_; }

 private:
  using Clock = std::chrono::steady_clock;
  struct Hold {
    Clock::time_point replyWaitBegan; // of the request that timed out
    std::int64_t pass = 0;            // the pass it timed out in, or held back the last one
  };

  // Nothing when the request may go; otherwise why it may not.
  std::optional<RequestResult> WaitOutHold(int station);
  std::optional<RequestResult> LetStrayInputGo(int station);
  // The length of a held station's late reply (a whole, valid frame) at the
  // start of `received` during the wait for `awaitedStation`'s; 0 for none.
  std::size_t LateReplyLength(ByteView received, int awaitedStation);
  RequestResult Exchange(RequestMember member, int station, int registerBase);
  // The result of an exchange, and what the frame monitor is told of its reply.
  RequestResult Replied(RequestResult result, int station, ByteView reply);
  void Record(FrameDirection direction, int station, ByteView bytes, std::string outcome);
  int QuietMs() const;

  SerialPort& port_;
  SharedResults& results_;
  WaitTimes times_;
  std::map<int, Hold> holds_; // by station
  std::int64_t pass_ = 0;     // 0: requests are not grouped into passes
  bool strayInput_ = false;   // the last exchange ended with a bad reply
  bool inHoldWait_ = false;
  FrameLog* frames_ = nullptr;
  Bytes lastReply_;
};

} // namespace trelvan
