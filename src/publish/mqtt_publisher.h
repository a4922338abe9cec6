#pragma once
// Publishes a site's readings, alarms and state to an MQTT broker beside the
// poll, never in its way.
//
// Publish() formats the message, puts it into a bounded queue and returns: it
// takes one short lock and writes eight bytes to an eventfd, never a socket,
// so a broker that is down, slow or unreachable costs a pass nothing. A
// thread of the publisher's own owns the libmosquitto client and does all
// network work: connecting (with back-off), handing queued messages to the
// client in order with at most kWindow of them unacknowledged, reading the
// acknowledgements, keep-alive.
//
// While the broker cannot be reached, messages wait in the queue (capacity
// MqttConfig::queueCapacity); when it is full the oldest go first and are
// counted. After a reconnect the messages that were sent but not acknowledged
// go again first, then the queue, in order (QoS 1: a subscriber may see a
// message twice, never out of order within a topic).
//
// The site's state: on every connect "online" (retained) and, with discovery,
// the Home Assistant announcements; "offline" (retained) is the last will for
// any end the program does not see, and Stop() publishes it itself before a
// normal disconnect.

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "core/reading.h"
#include "publish/mqtt_messages.h"
#include "publish/mqtt_options.h"

namespace trelvan {

namespace detail {
struct PublisherState; // shared by the caller's side and the publishing thread
} // namespace detail

struct MqttPublisherStats {
  bool connected = false;     // CONNACK received, connection up
  std::size_t queued = 0;     // waiting in the queue
  std::size_t unacknowledged = 0; // handed to the client, no PUBACK yet
  std::uint64_t acknowledged = 0; // delivered to the broker (PUBACK)
  std::uint64_t dropped = 0;  // oldest dropped because the queue was full
  std::uint64_t connects = 0; // successful connects so far
};

class MqttPublisher {
 public:
  // At most this many messages are handed to libmosquitto and not yet
  // acknowledged; the rest wait in our queue, where the bound applies.
  static constexpr std::size_t kWindow = 20;
  // Waits between connection attempts: 1 s, doubled after each failure up
  // to 30 s, each ±20 % so that many sites do not all return at once after
  // a broker restart.
  static constexpr std::chrono::milliseconds kFirstRetry{1000};
  static constexpr std::chrono::milliseconds kLastRetry{30000};

  // Starts the publishing thread, which connects at once.
  explicit MqttPublisher(MqttConfig config);
  // Stop() with the default time, when not already stopped.
  ~MqttPublisher();
  MqttPublisher(const MqttPublisher&) = delete;
  MqttPublisher& operator=(const MqttPublisher&) = delete;

  // Queue a reading for trelvan/<site>/kanal/<n> (with discovery: its
  // channel's announcement first, when new or changed), an alarm for
  // trelvan/<site>/alarm. Never blocks; after Stop() they are ignored.
  void Publish(const Reading& reading);
  void Publish(const AlarmEvent& event);

  // The normal end: while connected, sends what is queued for at most
  // `drain`, publishes "offline" (retained) and disconnects. A message that
  // could not go in time is counted in a notice. Without a connection
  // nothing can be said; the broker already holds "offline" from the will.
  // Returns within about `drain` + 1 s even when a connection attempt hangs
  // on an unreachable host (that attempt then ends on its own).
  void Stop(std::chrono::milliseconds drain = std::chrono::milliseconds(3000));

  MqttPublisherStats Stats() const;

  // What happened since the last call, in German, one line each ("MQTT:
  // Verbindung zu mqtt://broker:1883 hergestellt."): connects, failures and
  // their reasons (each failure once, not every retry), losses, dropped
  // messages. The caller shows or logs them in its own thread.
  std::vector<std::string> TakeNotices();

  const MqttConfig& config() const { return config_; }

 private:
  void Enqueue(MqttMessage message);

  MqttConfig config_;
  std::shared_ptr<detail::PublisherState> shared_;
  std::thread thread_;
  bool stopped_ = false;
};

} // namespace trelvan
