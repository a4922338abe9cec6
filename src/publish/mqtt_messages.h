#pragma once
// The messages a site publishes, as topic, payload, QoS and retain flag.
//
//   trelvan/<site>/kanal/<n>   a Reading as JSON (ReadingJson), QoS 1, retained:
//                              a new subscriber sees each channel's last reading at once
//   trelvan/<site>/alarm       an AlarmEvent as JSON (AlarmEventJson), QoS 1, not retained:
//                              an alarm is an event, not a state
//   trelvan/<site>/status      "online" / "offline", QoS 1, retained; "offline" is also
//                              the last will, which the broker publishes when the site
//                              vanishes without saying goodbye
//
// <site> names the station as a whole (a valid topic level, see
// SiteNameProblem); the JSON field "station" is an instrument's Modbus address.

#include <string>
#include <string_view>

#include "core/reading.h"

namespace trelvan {

struct MqttMessage {
  std::string topic;
  std::string payload;
  int qos = 1;
  bool retain = false;
  bool operator==(const MqttMessage&) const = default;
};

inline constexpr std::string_view kOnline = "online";
inline constexpr std::string_view kOffline = "offline";

std::string StatusTopic(std::string_view site);
std::string ChannelTopic(std::string_view site, int channel);
std::string AlarmTopic(std::string_view site);

MqttMessage ReadingMessage(std::string_view site, const Reading& reading);
MqttMessage AlarmMessage(std::string_view site, const AlarmEvent& event);
MqttMessage StatusMessage(std::string_view site, std::string_view state); // kOnline or kOffline

} // namespace trelvan
