#include "time_text.h"

#include <chrono>
#include <cstdio>
#include <ctime>

namespace trelvan {

namespace {

std::string Format(const std::tm& t, int millis, long offsetSeconds, bool utc) {
  char buf[64];
  int n = std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d.%03d", t.tm_year + 1900,
                        t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec, millis);
  std::string text(buf, static_cast<std::size_t>(n));
  if (utc) return text + "Z";
  const char sign = offsetSeconds < 0 ? '-' : '+';
  const long a = offsetSeconds < 0 ? -offsetSeconds : offsetSeconds;
  n = std::snprintf(buf, sizeof buf, "%c%02ld:%02ld", sign, a / 3600, (a % 3600) / 60);
  return text + std::string(buf, static_cast<std::size_t>(n));
}

// Whole seconds and the milliseconds after them, rounding towards the past
// for times before 1970 too.
void Split(std::int64_t ms, std::time_t* seconds, int* millis) {
  std::int64_t s = ms / 1000;
  std::int64_t rest = ms % 1000;
  if (rest < 0) {
    rest += 1000;
    --s;
  }
  *seconds = static_cast<std::time_t>(s);
  *millis = static_cast<int>(rest);
}

} // namespace

std::int64_t NowMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

std::string IsoLocalTime(std::int64_t ms) {
  std::time_t seconds;
  int millis;
  Split(ms, &seconds, &millis);
  std::tm local{};
  localtime_r(&seconds, &local);
  return Format(local, millis, local.tm_gmtoff, false);
}

std::string IsoUtcTime(std::int64_t ms) {
  std::time_t seconds;
  int millis;
  Split(ms, &seconds, &millis);
  std::tm utc{};
  gmtime_r(&seconds, &utc);
  return Format(utc, millis, 0, true);
}

} // namespace trelvan
