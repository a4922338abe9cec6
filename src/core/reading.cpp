#include "reading.h"

#include <array>
#include <utility>

namespace trelvan {

namespace {

constexpr std::array<std::pair<FailureKind, std::string_view>, 10> kFailureIds{{
    {FailureKind::TimedOut, "timeout"},
    {FailureKind::HeldBack, "held-back"},
    {FailureKind::BadCrc, "crc"},
    {FailureKind::WrongStation, "station"},
    {FailureKind::WrongFunction, "function"},
    {FailureKind::WrongByteCount, "byte-count"},
    {FailureKind::Exception, "exception"},
    {FailureKind::NotOpen, "not-open"},
    {FailureKind::LineLost, "line-lost"},
    {FailureKind::NotAStation, "address"},
}};

} // namespace

std::string_view FailureKindId(FailureKind kind) {
  for (const auto& [k, id] : kFailureIds)
    if (k == kind) return id;
  return {};
}

std::optional<FailureKind> FailureKindFromId(std::string_view id) {
  if (id.empty()) return FailureKind::None;
  for (const auto& [k, name] : kFailureIds)
    if (name == id) return k;
  return std::nullopt;
}

std::string_view BlockId(Block block) { return block == Block::Master ? "master" : "ext"; }

std::string_view AlarmStateId(AlarmState state) {
  switch (state) {
    case AlarmState::Low: return "low";
    case AlarmState::High: return "high";
    case AlarmState::None: break;
  }
  return {};
}

const ReadingValue* Reading::Value(std::string_view name) const {
  for (const ReadingValue& v : values)
    if (v.name == name) return &v;
  return nullptr;
}

} // namespace trelvan
