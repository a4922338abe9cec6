// The publisher against a real mosquitto broker that each test starts on a
// free loopback port and stops again: topics, payloads and retained flags, a
// broker that goes away and comes back, TLS and log-in, and how it ends.

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <set>
#include <tuple>

#include "core/reading_json.h"
#include "publish/mqtt_publisher.h"
#include "support/event_loop.h"
#include "support/running_broker.h"
#include "support/temp_folder.h"

namespace trelvan {
namespace {

using namespace std::chrono_literals;
using testing::ReceivedMessage;
using testing::RunningBroker;
using testing::Subscriber;
using testing::TempFolder;

#define REQUIRE_BROKER() \
  if (testing::MosquittoBinary().empty()) GTEST_SKIP() << "mosquitto is not installed (scripts/install-deps)"

MqttConfig ConfigFor(const std::string& url, const std::string& site = "werk", const std::string& caFile = "",
                     const std::optional<MqttCredentials>& credentials = {}) {
  return {.broker = *ParseBrokerUrl(url).address, .site = site, .keepaliveS = 5, .caFile = caFile,
          .credentials = credentials};
}

Reading PhReading(std::int64_t pass, int channel = 0) {
  return {.pass = pass, .channel = channel, .typeIndex = 2, .type = "pH", .marker = "", .ok = true, .reason = "",
          .values = {{"main", 7.23, "pH"}}, .text = ""};
}

std::string Joined(const std::vector<std::string>& lines) {
  std::string all;
  for (const auto& l : lines) all += l + "\n";
  return all;
}

TEST(MqttPublisher, PublishesWithTheirFlagsAndAStopSendsWhatWaitsThenOffline) {
  REQUIRE_BROKER();
  TempFolder folder;
  RunningBroker broker(folder.path());
  ASSERT_TRUE(broker.Start()) << broker.log();
  Subscriber live(broker.port(), "#");
  ASSERT_TRUE(live.WaitSubscribed());

  MqttConfig config = ConfigFor(broker.url());
  config.haDiscovery = true;
  const Reading failed{.pass = 1, .channel = 1, .typeIndex = 2, .type = "pH", .marker = "", .ok = false, .reason = "",
                       .values = {}, .text = ""};
  const AlarmEvent alarm{.channel = 0, .value = 8.6, .limit = 8.5, .unit = "pH", .text = "pH zu hoch"};
  MqttPublisher publisher(config);
  publisher.Publish(PhReading(1, 0));
  publisher.Publish(failed);
  publisher.Publish(alarm);
  ASSERT_TRUE(live.WaitForPayload("trelvan/werk/alarm", AlarmEventJson(alarm))) << broker.log();
  for (const char* topic : {"trelvan/werk/kanal/0", "trelvan/werk/alarm"}) EXPECT_EQ(live.On(topic).at(0).qos, 1);

  // A stop, even on a connection not yet made, sends what still waits, then
  // "offline".
  MqttPublisher quick(ConfigFor(broker.url(), "kurz"));
  quick.Publish(PhReading(1));
  quick.Stop();
  ASSERT_TRUE(live.WaitForPayload("trelvan/kurz/status", "offline")) << broker.log();

  // A late subscriber gets what is retained: each channel's last reading,
  // the status and the announcements; alarms are events and are not kept.
  Subscriber late(broker.port(), "#");
  ASSERT_TRUE(late.WaitFor([](const auto& m) { return m.size() >= 7; }));
  std::this_thread::sleep_for(200ms);
  std::set<std::string> retained;
  for (const ReceivedMessage& m : late.messages()) {
    EXPECT_TRUE(m.retain) << m.topic;
    retained.insert(m.topic);
  }
  const std::string node = "homeassistant/sensor/trelvan_werk/";
  EXPECT_EQ(retained, (std::set<std::string>{"trelvan/werk/kanal/0", "trelvan/werk/kanal/1", "trelvan/werk/status",
                                             node + "kanal0/config", node + "kanal1/config", "trelvan/kurz/kanal/0",
                                             "trelvan/kurz/status"}));
  EXPECT_EQ(late.On("trelvan/kurz/status").at(0).payload, "offline");
}

TEST(MqttPublisher, BrokerRestartDrainsTheBoundedQueueInOrderAndPublishNeverWaits) {
  REQUIRE_BROKER();
  TempFolder folder;
  // The subscriber's session outlives the restart.
  RunningBroker broker(folder.path(), {.passwordFile = "", .certFile = "", .keyFile = "", .persistence = true});
  ASSERT_TRUE(broker.Start()) << broker.log();
  Subscriber live(broker.port(), "trelvan/werk/kanal/0", "pruef-abonnent");
  ASSERT_TRUE(live.WaitSubscribed());

  MqttPublisher publisher(ConfigFor(broker.url()));
  const std::int64_t before = 10, during = static_cast<std::int64_t>(publisher.config().queueCapacity) + 50;
  for (std::int64_t pass = 1; pass <= before; ++pass) publisher.Publish(PhReading(pass));
  ASSERT_TRUE(live.WaitFor([&](const auto& m) { return m.size() == static_cast<std::size_t>(before); }));
  ASSERT_TRUE(testing::WaitFor([&] { return publisher.Stats().unacknowledged == 0; }, 5000));

  broker.Stop();
  ASSERT_TRUE(testing::WaitFor([&] { return !publisher.Stats().connected; }, 5000));
  std::chrono::nanoseconds longest{0};
  for (std::int64_t pass = before + 1; pass <= before + during; ++pass) {
    const auto start = std::chrono::steady_clock::now();
    publisher.Publish(PhReading(pass));
    longest = std::max(longest, std::chrono::steady_clock::now() - start);
  }
  EXPECT_EQ(publisher.Stats().dropped, 50u);
  // A connection attempt in the caller would take a second or more.
  EXPECT_LT(longest, 100ms) << std::chrono::duration_cast<std::chrono::microseconds>(longest).count() << " us";

  ASSERT_TRUE(broker.Start()) << broker.log();
  const std::int64_t last = before + during;
  ASSERT_TRUE(live.WaitFor(
      [&](const auto& messages) {
        return !messages.empty() && messages.back().payload.find("\"pass\":" + std::to_string(last) + ",") == 1;
      },
      30s))
      << Joined(publisher.TakeNotices());

  // In order, nothing lost but the 50 oldest of the outage. QoS 1 may repeat
  // a message (the broker, too, redelivers to a subscriber across its
  // restart), so the order is that of each pass's first arrival.
  std::vector<std::int64_t> firsts;
  std::set<std::int64_t> seen;
  for (const ReceivedMessage& m : live.messages()) {
    const std::int64_t pass = std::atoll(m.payload.c_str() + 8); // {"pass":N,...
    if (seen.insert(pass).second) firsts.push_back(pass);
  }
  std::vector<std::int64_t> expected;
  for (std::int64_t p = 1; p <= last; ++p)
    if (p <= before || p > before + 50) expected.push_back(p);
  EXPECT_EQ(firsts, expected);
  const std::string notices = Joined(publisher.TakeNotices());
  EXPECT_NE(notices.find("50 Meldungen wurden verworfen"), std::string::npos) << notices;
}

TEST(MqttPublisher, TlsWithTheSitesCaAndLogInWithAPasswordFile) {
  REQUIRE_BROKER();
  TempFolder folder;
  const std::string f = folder.path().string();
  // A CA, a broker certificate for 127.0.0.1 signed by it, and a CA the
  // broker has nothing to do with.
  folder.write("san.ext", "subjectAltName=IP:127.0.0.1\n");
  const std::string make =
      "cd " + f + " && for ca in ca fremd; do openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 "
      "-nodes -keyout $ca.key -out $ca.pem -days 2 -subj /CN=Pruef-$ca; done && "
      "openssl req -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -keyout broker.key -out broker.csr "
      "-subj /CN=127.0.0.1 && openssl x509 -req -in broker.csr -CA ca.pem -CAkey ca.key -CAcreateserial "
      "-out broker.pem -days 2 -extfile san.ext && mosquitto_passwd -c -b passwd pumpe geheim";
  ASSERT_EQ(std::system(("(" + make + ") >/dev/null 2>&1").c_str()), 0) << make;

  TempFolder tlsFolder, loginFolder;
  RunningBroker tlsBroker(tlsFolder.path(), {.passwordFile = "", .certFile = f + "/broker.pem", .keyFile = f + "/broker.key"});
  ASSERT_TRUE(tlsBroker.Start()) << tlsBroker.log();
  RunningBroker loginBroker(loginFolder.path(),
                            {.allowAnonymous = false, .passwordFile = f + "/passwd", .certFile = "", .keyFile = ""});
  ASSERT_TRUE(loginBroker.Start()) << loginBroker.log();

  // Each case: its name, the publisher's config, a part of the failure it tells (nullptr: it delivers).
  const std::tuple<const char*, MqttConfig, const char*> cases[] = {
      {"TLS, the broker's CA", ConfigFor(tlsBroker.url(), "werk", f + "/ca.pem"), nullptr},
      {"TLS, another CA", ConfigFor(tlsBroker.url(), "werk", f + "/fremd.pem"), "TLS-Verbindung gescheitert"},
      {"right password", ConfigFor(loginBroker.url(), "werk", "", MqttCredentials{"pumpe", "geheim"}), nullptr},
      {"wrong password", ConfigFor(loginBroker.url(), "werk", "", MqttCredentials{"pumpe", "falsch"}),
       "Anmeldung abgelehnt"},
  };
  for (const auto& [name, config, failurePart] : cases) {
    SCOPED_TRACE(name);
    MqttPublisher publisher(config);
    publisher.Publish(PhReading(1));
    std::string notices;
    EXPECT_TRUE(testing::WaitFor([&] {
      notices += Joined(publisher.TakeNotices());
      return failurePart ? notices.find(failurePart) != std::string::npos : publisher.Stats().acknowledged >= 2;
    }, 5000)) << notices;
    if (failurePart) { EXPECT_EQ(publisher.Stats().acknowledged, 0u); }
  }
}

// A broker that takes the connection and never says a word does not hold a
// stop up. (A killed poller's last will is read in the poller's tests.)
TEST(MqttPublisher, StopEndsInTimeWhenTheBrokerIsMute) {
  const int mute = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{.sin_family = AF_INET, .sin_port = 0, .sin_addr = {htonl(INADDR_LOOPBACK)}, .sin_zero = {}};
  socklen_t length = sizeof address;
  ASSERT_EQ(bind(mute, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  listen(mute, 4);
  getsockname(mute, reinterpret_cast<sockaddr*>(&address), &length);
  MqttPublisher publisher(ConfigFor("mqtt://127.0.0.1:" + std::to_string(ntohs(address.sin_port))));
  publisher.Publish(PhReading(1));
  std::this_thread::sleep_for(200ms);
  const auto start = std::chrono::steady_clock::now();
  publisher.Stop(500ms);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 2500ms);
  close(mute);
}

} // namespace
} // namespace trelvan
