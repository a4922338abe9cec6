#include "reading_json.h"

#include <charconv>
#include <cmath>
#include <cstdio>

#include "core/time_text.h"

namespace trelvan {

std::string JsonString(std::string_view text) {
  std::string out = "\"";
  for (const char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\r': out += "\\r"; break;
      case '\n': out += "\\n"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20 || c == 0x7F) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\u%04x", c);
          out += buf;
        } else {
          out += ch;
        }
    }
  }
  return out + "\"";
}

std::string JsonNumber(double number) {
  if (!std::isfinite(number)) return "null";
  if (number == 0) return "0"; // never "-0"
  char buf[32];
  const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, number);
  if (ec != std::errc()) return "null";
  return std::string(buf, end);
}

std::string ReadingJson(const Reading& r) {
  std::string out;
  out.reserve(320);
  out += "{\"pass\":" + std::to_string(r.pass);
  out += ",\"channel\":" + std::to_string(r.channel);
  out += r.ok ? ",\"ok\":true" : ",\"ok\":false";
  out += ",\"text\":" + JsonString(r.text);
  out += ",\"time\":" + JsonString(IsoLocalTime(r.timeMs));
  out += ",\"station\":" + std::to_string(r.station);
  out += ",\"block\":" + JsonString(BlockId(r.block));
  out += ",\"type\":" + JsonString(r.type);
  out += ",\"marker\":" + JsonString(r.marker);
  if (!r.ok) {
    out += ",\"error\":" + JsonString(FailureKindId(r.failure));
    out += ",\"reason\":" + JsonString(r.reason);
    if (r.failure == FailureKind::Exception) out += ",\"exception_code\":" + std::to_string(r.exceptionCode);
  }
  out += ",\"values\":{";
  bool first = true;
  for (const ReadingValue& v : r.values) {
    if (!first) out += ',';
    first = false;
    out += JsonString(v.name) + ":{\"value\":" + (v.number ? JsonNumber(*v.number) : "null") +
           ",\"unit\":" + JsonString(v.unit) + "}";
  }
  out += '}';
  if (r.alarm != AlarmState::None) out += ",\"alarm\":" + JsonString(AlarmStateId(r.alarm));
  out += '}';
  return out;
}

std::string AlarmEventJson(const AlarmEvent& e) {
  std::string out = "{\"time\":" + JsonString(IsoLocalTime(e.timeMs));
  out += ",\"channel\":" + std::to_string(e.channel);
  out += e.raised ? ",\"state\":\"raised\"" : ",\"state\":\"cleared\"";
  out += ",\"limit\":" + JsonString(AlarmStateId(e.state));
  out += ",\"value\":" + JsonNumber(e.value);
  out += ",\"bound\":" + JsonNumber(e.limit);
  out += ",\"unit\":" + JsonString(e.unit);
  out += ",\"text\":" + JsonString(e.text);
  out += '}';
  return out;
}

} // namespace trelvan
