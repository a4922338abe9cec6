#pragma once
// The frame monitor's record: every request the master sends and every reply
// (or the lack of one) it sees, with time, direction, station and outcome, in
// a bounded ring so that memory stays flat over weeks of measuring.

#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "comm/bytes.h"
#include "comm/frame_codec.h"

namespace trelvan {

enum class FrameDirection { Sent, Received };

struct FrameRecord {
  std::uint64_t sequence = 0; // counted from 1 over the life of the log
  std::int64_t timeMs = 0;    // wall clock, ms since 1970-01-01 UTC
  FrameDirection direction = FrameDirection::Sent;
  int station = 0;
  Bytes bytes;
  // For a reply: "ok", a failure identifier ("timeout", "crc", ...) or
  // "late" for a held station's late reply let go; "" for a request.
  std::string outcome;
};

class FrameLog {
 public:
  static constexpr std::size_t kDefaultCapacity = 10'000;
  explicit FrameLog(std::size_t capacity = kDefaultCapacity) : capacity_(capacity) {}

  void Add(FrameDirection direction, int station, ByteView bytes, std::string outcome);
  // The records after `sequence`, oldest first (what the ring still holds).
  std::vector<FrameRecord> Since(std::uint64_t sequence) const;
  std::uint64_t lastSequence() const { return next_ - 1; }
  std::size_t size() const { return ring_.size(); }
  void Clear() { ring_.clear(); }
  // How many records the ring keeps; 0 keeps none (the observer still sees each).
  void SetCapacity(std::size_t capacity);

  // Called with each record as it is added (trelvan-cli poll --frames).
  void SetObserver(std::function<void(const FrameRecord&)> observer) { observer_ = std::move(observer); }

 private:
  std::size_t capacity_;
  std::deque<FrameRecord> ring_;
  std::uint64_t next_ = 1;
  std::function<void(const FrameRecord&)> observer_;
};

// Bytes as hexadecimal pairs: "03 03 00 00 00 08 45 EE".
std::string HexBytes(ByteView bytes);
// One record as the monitor shows it:
// "13:05:40.123  >  St  3  03 03 00 00 00 08 45 EE" for a request,
// "13:05:40.145  <  St  3  03 03 10 ... 8C 2F  ok" for a reply.
std::string FrameLine(const FrameRecord& record);

} // namespace trelvan
