#include "frame_log.h"

#include <cstdio>

#include "core/time_text.h"

namespace trelvan {

void FrameLog::Add(FrameDirection direction, int station, ByteView bytes, std::string outcome) {
  FrameRecord record{next_++, NowMs(), direction, station, Bytes(bytes.begin(), bytes.end()), std::move(outcome)};
  if (observer_) observer_(record);
  if (capacity_ == 0) return;
  if (ring_.size() == capacity_) ring_.pop_front();
  ring_.push_back(std::move(record));
}

void FrameLog::SetCapacity(std::size_t capacity) {
  capacity_ = capacity;
  while (ring_.size() > capacity_) ring_.pop_front();
}

std::vector<FrameRecord> FrameLog::Since(std::uint64_t sequence) const {
  if (ring_.empty() || sequence >= ring_.back().sequence) return {};
  // The ring holds consecutive sequence numbers.
  const std::uint64_t first = ring_.front().sequence;
  const auto skip = static_cast<std::ptrdiff_t>(sequence < first ? 0 : sequence - first + 1);
  return std::vector<FrameRecord>(ring_.begin() + skip, ring_.end());
}

std::string HexBytes(ByteView bytes) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string text;
  text.reserve(bytes.size() * 3);
  for (std::uint8_t b : bytes) {
    if (!text.empty()) text += ' ';
    text += kHex[b >> 4];
    text += kHex[b & 0x0F];
  }
  return text;
}

std::string FrameLine(const FrameRecord& r) {
  // "2026-12-08T13:05:40.123+01:00": the time of day with its milliseconds.
  const std::string time = IsoLocalTime(r.timeMs).substr(11, 12);
  char head[48];
  std::snprintf(head, sizeof head, "%s  %s  St %3d  ", time.c_str(), r.direction == FrameDirection::Sent ? ">" : "<",
                r.station);
  std::string line = head + HexBytes(r.bytes);
  if (!r.outcome.empty()) line += (r.bytes.empty() ? "" : "  ") + r.outcome;
  return line;
}

} // namespace trelvan
