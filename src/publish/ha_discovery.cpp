#include "ha_discovery.h"

#include <array>
#include <cstdio>
#include <cstdint>
#include <utility>
#include <vector>

#include "core/reading_json.h"
#include "core/version.h"

namespace trelvan {

namespace {

struct UnitFactor {
  std::string_view unit;   // as the Reading carries it
  double factor;           // to the sensor's unit
};

// How a type's main value appears in Home Assistant. An empty factor list:
// the unit is the reading's own.
struct SensorKind {
  std::string_view deviceClass; // "" for none
  std::string_view unit;        // the sensor's unit ("" for none: pH has none in Home Assistant)
  std::vector<UnitFactor> factors;
};

const SensorKind kResistivity{"", "kOhm", {{"Ohm", 0.001}, {"kOhm", 1}, {"MOhm", 1000}}};
const SensorKind kConductivity{"conductivity", "µS/cm", {{"µS", 1}, {"mS", 1000}}};
const SensorKind kPh{"ph", "", {{"pH", 1}}};
const SensorKind kRedox{"voltage", "mV", {{"mV", 1}}};
const SensorKind kFlow{"volume_flow_rate", "m³/h", {{"m3/h", 1}, {"m3/s", 3600}}};
const SensorKind kChlorine{"", "mg/l", {{"mg/l", 1}}};
const SensorKind kPercent{"", "%", {{"%", 1}}};
const SensorKind kReplyUnit{"", "", {}};

// By typeIndex, in catalogue order.
const std::array<const SensorKind*, 16> kKinds{
    &kResistivity,  // 0 Wiederderstand
    &kConductivity, // 1 Leitfähigkeit
    &kPh,           // 2 pH
    &kRedox,        // 3 Redox
    &kReplyUnit,    // 4 Sauerstoff: % saturation or mg/l, two quantities
    &kFlow,         // 5 Durchfluss
    &kChlorine,     // 6 Chlor
    &kConductivity, // 7 C_TOR
    &kPercent,      // 8 NaCl
    &kPercent,      // 9 NaOH
    &kPercent,      // 10 HCl
    &kPercent,      // 11 H2SO4
    &kReplyUnit,    // 12 Trübung
    &kResistivity,  // 13 R_862
    &kReplyUnit,    // 14 458
    &kReplyUnit,    // 15 731
};

std::uint32_t Fnv1a(std::string_view text) {
  std::uint32_t hash = 2166136261u;
  for (const char c : text) hash = (hash ^ static_cast<unsigned char>(c)) * 16777619u;
  return hash;
}

// {% if %} with the reading's main value converted to the sensor's unit, or
// "None", which Home Assistant shows as unknown (a failed reading, an unknown
// range).
std::string ValueTemplate(const std::vector<UnitFactor>& factors) {
  std::string map = "{";
  for (std::size_t i = 0; i < factors.size(); ++i) {
    if (i) map += ", ";
    map += JsonString(factors[i].unit) + ": " + JsonNumber(factors[i].factor);
  }
  map += "}";
  return "{% set v = value_json['values'] %}{% set f = " + map +
         " %}{% if value_json.ok and 'main' in v and v['main']['value'] is number and v['main']['unit'] in f %}"
         "{{ (v['main']['value'] * f[v['main']['unit']]) | round(6) }}{% else %}None{% endif %}";
}

} // namespace

std::string HaNodeId(std::string_view site) {
  std::string id = "trelvan_";
  bool changed = false;
  for (const char c : site) {
    const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
                    c == '-';
    id += ok ? c : '_';
    changed = changed || !ok;
  }
  if (changed) {
    char hash[16];
    std::snprintf(hash, sizeof hash, "_%08x", Fnv1a(site));
    id += hash;
  }
  return id;
}

MqttMessage HaDiscoveryMessage(std::string_view site, const Reading& reading) {
  const SensorKind& kind =
      *kKinds[static_cast<std::size_t>(reading.typeIndex >= 0 && reading.typeIndex < 16 ? reading.typeIndex : 4)];
  std::string unit(kind.unit);
  std::vector<UnitFactor> factors = kind.factors;
  if (factors.empty()) {
    // The unit the instrument reported with its latest good reading.
    const ReadingValue* main = reading.ok ? reading.Value(value_name::kMain) : nullptr;
    unit = main ? main->unit : "";
    factors.push_back({unit, 1});
  }
  const std::string node = HaNodeId(site);
  const std::string object = "kanal" + std::to_string(reading.channel);
  std::string name = "Kanal " + std::to_string(reading.channel) + " " + reading.type;
  if (!reading.marker.empty()) name += " " + reading.marker;
  const std::string state = ChannelTopic(site, reading.channel);

  std::string json = "{\"name\":" + JsonString(name);
  json += ",\"unique_id\":" + JsonString(node + "_" + object);
  json += ",\"state_topic\":" + JsonString(state);
  json += ",\"json_attributes_topic\":" + JsonString(state);
  json += ",\"value_template\":" + JsonString(ValueTemplate(factors));
  if (!unit.empty()) json += ",\"unit_of_measurement\":" + JsonString(unit);
  if (!kind.deviceClass.empty()) json += ",\"device_class\":" + JsonString(kind.deviceClass);
  json += ",\"state_class\":\"measurement\"";
  json += ",\"availability_topic\":" + JsonString(StatusTopic(site));
  json += ",\"payload_available\":" + JsonString(kOnline);
  json += ",\"payload_not_available\":" + JsonString(kOffline);
  json += ",\"device\":{\"identifiers\":[" + JsonString(node) + "],\"name\":" +
          JsonString("TRELVAN " + std::string(site)) +
          ",\"manufacturer\":\"TRELVAN\",\"model\":\"Messstation\",\"sw_version\":" +
          JsonString(VersionNumber) + "}";
  json += "}";
  return {"homeassistant/sensor/" + node + "/" + object + "/config", json, 1, true};
}

} // namespace trelvan
