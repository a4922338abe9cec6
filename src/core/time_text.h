#pragma once
// Times as text: ISO 8601 with milliseconds, in local time with its UTC
// offset ("2026-12-08T13:05:40.123+01:00") or in UTC ("…T12:05:40.123Z").

#include <cstdint>
#include <string>

namespace trelvan {

// ms since 1970-01-01 UTC, as the Reading carries it.
std::int64_t NowMs();
std::string IsoLocalTime(std::int64_t ms);
std::string IsoUtcTime(std::int64_t ms);

} // namespace trelvan
