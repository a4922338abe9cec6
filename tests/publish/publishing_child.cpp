// A publishing process for the last-will test: connects to the broker at
// argv[1] as site argv[2] and publishes a reading every 100 ms. It never ends
// by itself; the test kills it.

#include <chrono>
#include <thread>

#include "publish/mqtt_publisher.h"

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  trelvan::MqttOptions options;
  options.url = argv[1];
  options.site = argv[2];
  options.keepaliveS = 5;
  const trelvan::MqttConfigResult config = trelvan::ResolveMqttConfig(options);
  if (!config.config) return 1;
  trelvan::MqttPublisher publisher(*config.config);
  for (std::int64_t pass = 1;; ++pass) {
    trelvan::Reading reading;
    reading.pass = pass;
    publisher.Publish(reading);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
}
