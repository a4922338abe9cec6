#include "mqtt_messages.h"

#include "core/reading_json.h"

namespace trelvan {

namespace {
std::string SiteTopic(std::string_view site) { return "trelvan/" + std::string(site); }
} // namespace

std::string StatusTopic(std::string_view site) { return SiteTopic(site) + "/status"; }

std::string ChannelTopic(std::string_view site, int channel) {
  return SiteTopic(site) + "/kanal/" + std::to_string(channel);
}

std::string AlarmTopic(std::string_view site) { return SiteTopic(site) + "/alarm"; }

MqttMessage ReadingMessage(std::string_view site, const Reading& reading) {
  return {ChannelTopic(site, reading.channel), ReadingJson(reading), 1, true};
}

MqttMessage AlarmMessage(std::string_view site, const AlarmEvent& event) {
  return {AlarmTopic(site), AlarmEventJson(event), 1, false};
}

MqttMessage StatusMessage(std::string_view site, std::string_view state) {
  return {StatusTopic(site), std::string(state), 1, true};
}

} // namespace trelvan
