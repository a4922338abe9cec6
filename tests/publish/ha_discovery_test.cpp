// Home Assistant discovery: the sensor's unit and device class per type, and
// the conversion a value template applies to a reading's own unit.

#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QJsonObject>

#include <tuple>

#include "publish/ha_discovery.h"

namespace trelvan {
namespace {

Reading Good(int channel, int typeIndex, std::string type, std::string unit) {
  return {.channel = channel, .typeIndex = typeIndex, .type = std::move(type), .marker = "", .ok = true,
          .reason = "", .values = {{"main", 1.5, std::move(unit)}}, .text = ""};
}

TEST(HaDiscovery, OneSensorPerChannelWithUnitClassAndConversion) {
  // The reading; the sensor's unit and device class ("" for none); a part of
  // the value template's unit map.
  const std::tuple<Reading, const char*, const char*, const char*> cases[] = {
      {Good(0, 0, "Wiederderstand", "MOhm"), "kOhm", "", "\"MOhm\": 1000"},
      {Good(1, 1, "Leitfähigkeit", "mS"), "µS/cm", "conductivity", "\"mS\": 1000"},
      {Good(2, 2, "pH", "pH"), "", "ph", "\"pH\": 1"},
      {Good(3, 5, "Durchfluss", "m3/s"), "m³/h", "volume_flow_rate", "\"m3/s\": 3600"},
      // The instrument names the unit: the sensor takes the reading's.
      {Good(2, 12, "Trübung", "NTU"), "NTU", "", "\"NTU\": 1"},
  };
  for (const auto& [reading, unit, deviceClass, conversion] : cases) {
    SCOPED_TRACE(reading.type);
    const MqttMessage m = HaDiscoveryMessage("Werk 1", reading);
    const QJsonObject config = QJsonDocument::fromJson(QByteArray::fromStdString(m.payload)).object();
    ASSERT_FALSE(config.isEmpty()) << m.payload;
    EXPECT_EQ(config["unit_of_measurement"].toString().toStdString(), unit);
    EXPECT_EQ(config["device_class"].toString().toStdString(), deviceClass);
    EXPECT_EQ(config["state_topic"].toString().toStdString(), "trelvan/Werk 1/kanal/" + std::to_string(reading.channel));
    EXPECT_EQ(config["availability_topic"].toString(), "trelvan/Werk 1/status");
    EXPECT_NE(config["value_template"].toString().toStdString().find(conversion), std::string::npos)
        << config["value_template"].toString().toStdString();
  }
  // Sites that differ only in characters a node id cannot hold stay apart.
  EXPECT_NE(HaNodeId("Werk 1"), HaNodeId("Werk_1"));
}

} // namespace
} // namespace trelvan
