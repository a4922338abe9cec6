#pragma once
// A Reading as one line of JSON: the poller's --json output, the record's
// JSON Lines export and the published payload all use this one form.
//
//   {"pass":2,"channel":0,"ok":true,"text":"7.23 pH 22.6 °C",
//    "time":"2026-12-08T13:05:40.123+01:00","station":3,"block":"master",
//    "type":"pH","marker":"Zulauf",
//    "values":{"main":{"value":7.23,"unit":"pH"},"temperature":{"value":22.6,"unit":"°C"}}}
//
// A failed reading has "error" (FailureKindId), "reason" (German) and, for an
// exception reply, "exception_code"; its "values" is empty. "alarm" ("low",
// "high") is there only while the main value is outside its limits.

#include <string>

#include "core/reading.h"

namespace trelvan {

// Without the trailing line break. Text is UTF-8, escaped as JSON requires.
std::string ReadingJson(const Reading& reading);

// The same for an alarm event:
//   {"time":"…","channel":1,"state":"raised","limit":"high","value":8.6,"bound":8.5,"unit":"pH","text":"…"}
std::string AlarmEventJson(const AlarmEvent& event);

// A text as a JSON string, quotes included.
std::string JsonString(std::string_view text);
// A number in its shortest exact form ("7.23"), "null" when not finite.
std::string JsonNumber(double number);

} // namespace trelvan
