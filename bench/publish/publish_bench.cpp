// Measures the publisher against a mosquitto broker that it starts on a free
// loopback port (and stops again):
//
//   a. Delivery time on the loopback: passes of four readings (one per
//      channel), 20 ms apart; per message the time from the Publish() call to
//      a subscriber's receipt, per pass the time from the end of the pass (the
//      fourth Publish() returned) to the receipt of its last message. Median
//      and 99th percentile.
//   b. CPU of this process over two equal phases in one run, four readings a
//      second: formatting them as the poller's JSON lines only, then also
//      publishing them (the publishing thread included; the broker is another
//      process). As % of one core and as a ratio.
//
//   build/bench/publish/bench_publish [--passes N] [--cpu-seconds S]

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <thread>
#include <vector>

#include "core/reading_json.h"
#include "core/time_text.h"
#include "publish/mqtt_publisher.h"
#include "support/running_broker.h"
#include "support/temp_folder.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using trelvan::Reading;

Reading ChannelReading(std::int64_t pass, int channel) {
  Reading r;
  r.timeMs = trelvan::NowMs();
  r.pass = pass;
  r.channel = channel;
  r.station = channel + 1;
  r.typeIndex = 2;
  r.type = "pH";
  r.marker = "Becken " + std::to_string(channel);
  r.ok = true;
  r.values = {{"main", 7.23, "pH"}, {"temperature", 22.6, "°C"}};
  r.text = "   7.23 pH     22.6  °C";
  return r;
}

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

void Report(const char* what, std::vector<double> ms) {
  std::sort(ms.begin(), ms.end());
  const auto at = [&](double q) { return ms[std::min(ms.size() - 1, static_cast<std::size_t>(q * ms.size()))]; };
  std::printf("  %-44s median %.3f ms, p99 %.3f ms, max %.3f ms (%zu samples)\n", what, at(0.5), at(0.99),
              ms.back(), ms.size());
}

double ProcessCpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

trelvan::MqttConfig ConfigFor(const std::string& url) {
  trelvan::MqttConfig config;
  config.broker = *trelvan::ParseBrokerUrl(url).address;
  config.site = "bench";
  return config;
}

// Four readings a second for `seconds`, formatted as JSON lines (what the
// poller does with them anyway) and, with a publisher, published.
double CpuPhase(int seconds, trelvan::MqttPublisher* publisher) {
  const double start = ProcessCpuSeconds();
  std::size_t bytes = 0;
  auto tick = Clock::now();
  for (int pass = 1; pass <= seconds; ++pass) {
    for (int channel = 0; channel < 4; ++channel) {
      const Reading r = ChannelReading(pass, channel);
      bytes += trelvan::ReadingJson(r).size();
      if (publisher) publisher->Publish(r);
    }
    tick += 1s;
    std::this_thread::sleep_until(tick);
  }
  if (bytes == 0) std::puts("");
  return ProcessCpuSeconds() - start;
}

} // namespace

int main(int argc, char** argv) {
  int passes = 500, cpuSeconds = 30;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (!std::strcmp(argv[i], "--passes")) passes = std::atoi(argv[i + 1]);
    if (!std::strcmp(argv[i], "--cpu-seconds")) cpuSeconds = std::atoi(argv[i + 1]);
  }
  if (trelvan::testing::MosquittoBinary().empty()) {
    std::fprintf(stderr, "mosquitto is not installed (scripts/install-deps)\n");
    return 1;
  }
  trelvan::testing::TempFolder folder;
  trelvan::testing::RunningBroker broker(folder.path());
  if (!broker.Start()) {
    std::fprintf(stderr, "the broker did not start:\n%s\n", broker.log().c_str());
    return 1;
  }
  std::printf("mosquitto on %s\n", broker.url().c_str());

  {
    std::puts("a. delivery on the loopback, passes of 4 readings 20 ms apart");
    trelvan::testing::Subscriber subscriber(broker.port(), "trelvan/bench/kanal/#");
    subscriber.WaitSubscribed();
    trelvan::MqttPublisher publisher(ConfigFor(broker.url()));
    publisher.Publish(ChannelReading(0, 0)); // connected and warm before the first timed pass
    subscriber.WaitFor([](const auto& m) { return !m.empty(); });
    const std::size_t offset = subscriber.messages().size();

    std::vector<Clock::time_point> calledAt;
    std::vector<Clock::time_point> passEnd;
    for (int pass = 1; pass <= passes; ++pass) {
      for (int channel = 0; channel < 4; ++channel) {
        const Reading r = ChannelReading(pass, channel);
        calledAt.push_back(Clock::now());
        publisher.Publish(r);
      }
      passEnd.push_back(Clock::now());
      std::this_thread::sleep_for(20ms);
    }
    if (!subscriber.WaitFor([&](const auto& m) { return m.size() >= offset + calledAt.size(); }, 10s)) {
      std::fprintf(stderr, "not all messages arrived\n");
      return 1;
    }
    const auto received = subscriber.messages();
    std::vector<double> perMessage, perPass;
    for (std::size_t i = 0; i < calledAt.size(); ++i) perMessage.push_back(Ms(received[offset + i].at - calledAt[i]));
    for (std::size_t p = 0; p < passEnd.size(); ++p) perPass.push_back(Ms(received[offset + 4 * p + 3].at - passEnd[p]));
    Report("Publish() call to receipt, per message:", perMessage);
    Report("end of pass to receipt of its last message:", perPass);
    publisher.Stop();
  }

  {
    std::printf("b. CPU at 4 readings a second, %d s without and %d s with publishing\n", cpuSeconds, cpuSeconds);
    const double without = CpuPhase(cpuSeconds, nullptr);
    trelvan::MqttPublisher publisher(ConfigFor(broker.url()));
    const double with = CpuPhase(cpuSeconds, &publisher);
    const auto share = [&](double s) { return 100.0 * s / cpuSeconds; };
    std::printf("  without publishing: %.1f ms CPU = %.4f %% of a core\n", without * 1e3, share(without));
    std::printf("  with publishing:    %.1f ms CPU = %.4f %% of a core (%llu acknowledged)\n", with * 1e3,
                share(with), static_cast<unsigned long long>(publisher.Stats().acknowledged));
    std::printf("  ratio with/without: %.1f; publishing adds %.4f %% of a core\n", with / without,
                share(with - without));
    publisher.Stop();
  }
  return 0;
}
