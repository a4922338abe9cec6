#include <gtest/gtest.h>

#include <QSignalSpy>

#include "support/running_broker.h"
#include "support/temp_folder.h"
#include "ui/measurement_outlets.h"

namespace trelvan {
namespace {

using testing::RunningBroker;
using testing::Subscriber;

// New MQTT settings restart publishing beside the window's thread: the old
// site says "offline" before the new one says "online" (the reverse would
// leave the broker holding "offline" for a site that runs), and the readings
// go to the new site.
TEST(MeasurementOutlets, NewMqttSettingsRestartPublishingTheOldSiteGoingOfflineFirst) {
  if (testing::MosquittoBinary().empty()) GTEST_SKIP() << "mosquitto is not installed (scripts/install-deps)";
  testing::TempFolder folder;
  RunningBroker broker(folder.path());
  ASSERT_TRUE(broker.Start());
  Subscriber status(broker.port(), "trelvan/#");
  ASSERT_TRUE(status.WaitSubscribed());
  auto settings = [&](const char* site) {
    folder.write("trelvan.ini", "[MQTT]\nEnabled=true\nUrl=" + broker.url() + "\nSite=" + site + "\nKeepalive=5\n");
  };
  settings("alt");
  MeasurementOutlets outlets(folder.path(), ".");
  EXPECT_TRUE(outlets.StartPublisher().empty());
  ASSERT_TRUE(status.WaitForPayload("trelvan/alt/status", "online"));

  settings("neu");
  QSignalSpy started(&outlets, &MeasurementOutlets::publisherStarted);
  EXPECT_TRUE(outlets.StartPublisher().empty());
  ASSERT_TRUE(started.wait(10000));
  Reading reading;
  reading.channel = 2;
  reading.ok = true;
  reading.text = "7.02 pH";
  outlets.outlets().Take(reading);
  ASSERT_TRUE(status.WaitForPayload("trelvan/neu/status", "online"));
  ASSERT_TRUE(status.WaitFor([](const auto& m) {
    return std::any_of(m.begin(), m.end(), [](const auto& r) { return r.topic == "trelvan/neu/kanal/2"; });
  }));
  const auto messages = status.messages();
  auto at = [&](const std::string& topic, const std::string& payload) {
    for (std::size_t k = 0; k < messages.size(); ++k)
      if (messages[k].topic == topic && messages[k].payload == payload) return static_cast<int>(k);
    return -1;
  };
  EXPECT_GE(at("trelvan/alt/status", "offline"), 0);
  EXPECT_LT(at("trelvan/alt/status", "offline"), at("trelvan/neu/status", "online"));
  EXPECT_TRUE(status.On("trelvan/alt/kanal/2").empty());
}

} // namespace
} // namespace trelvan
