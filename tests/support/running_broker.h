#pragma once
// A mosquitto broker of the test's own on a free loopback port, started and
// stopped by its process id, and a libmosquitto subscriber that keeps every
// message it receives. Used by the publishing tests, the poller's tests and the
// benchmark.

#include <mosquitto.h>

#include <arpa/inet.h>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <netinet/in.h>
#include <optional>
#include <pwd.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace trelvan::testing {

using BrokerClock = std::chrono::steady_clock;

// The broker program, or "" when the package is not installed.
inline std::string MosquittoBinary() {
  for (const char* path : {"/usr/sbin/mosquitto", "/usr/bin/mosquitto", "/usr/local/sbin/mosquitto"})
    if (access(path, X_OK) == 0) return path;
  return {};
}

// Port 0 binds a free port and tells which; another port tells whether something listens there.
inline int LoopbackPort(int port) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{.sin_family = AF_INET, .sin_port = htons(static_cast<std::uint16_t>(port)),
                      .sin_addr = {htonl(INADDR_LOOPBACK)}, .sin_zero = {}};
  auto* a = reinterpret_cast<sockaddr*>(&address);
  socklen_t length = sizeof address;
  const bool ok = port ? connect(fd, a, length) == 0 : bind(fd, a, length) == 0 && getsockname(fd, a, &length) == 0;
  close(fd);
  return ok ? ntohs(address.sin_port) : 0;
}

struct BrokerSetup {
  bool allowAnonymous = true;
  std::string passwordFile;  // mosquitto_passwd file
  std::string certFile, keyFile; // a TLS listener when set
  bool persistence = false;  // sessions and queued messages survive a restart
};

class RunningBroker {
 public:
  RunningBroker(std::filesystem::path folder, BrokerSetup setup = {})
      : folder_(std::move(folder)), setup_(std::move(setup)), port_(LoopbackPort(0)) {}
  ~RunningBroker() { Stop(); }
  RunningBroker(const RunningBroker&) = delete;
  RunningBroker& operator=(const RunningBroker&) = delete;

  // Starts it (again, on the same port) and waits until it accepts connections.
  bool Start() {
    std::string binary = MosquittoBinary(), config = (folder_ / "mosquitto.conf").string(),
                log = (folder_ / "mosquitto.log").string();
    if (binary.empty() || pid_ > 0) return false;
    // The broker drops root rights to the user named; naming ourselves keeps it able to read the test's files.
    const passwd* pw = getpwuid(getuid());
    const auto flag = [](bool on) { return on ? "true\n" : "false\n"; };
    std::ofstream(config) << "listener " << port_ << " 127.0.0.1\nallow_anonymous " << flag(setup_.allowAnonymous)
                          << (setup_.passwordFile.empty() ? "" : "password_file " + setup_.passwordFile + "\n")
                          << (setup_.certFile.empty() ? "" : "certfile " + setup_.certFile + "\nkeyfile " + setup_.keyFile)
                          << "\npersistence " << flag(setup_.persistence) << "persistence_location " << folder_.string()
                          << "/\nmax_queued_messages 0\n" // a persistent subscriber misses nothing while away
                          << "user " << (pw ? pw->pw_name : "root") << "\nlog_dest file " << log << "\n";
    char* argv[] = {binary.data(), const_cast<char*>("-c"), config.data(), nullptr};
    // What it says before its log is open (a warning about running as root) goes to the log file too.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    if (posix_spawn(&pid_, binary.c_str(), &actions, nullptr, argv, environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    for (const auto until = BrokerClock::now() + std::chrono::seconds(5); pid_ > 0 && BrokerClock::now() < until;
         std::this_thread::sleep_for(std::chrono::milliseconds(10))) {
      if (LoopbackPort(port_)) return true;
      if (waitpid(pid_, nullptr, WNOHANG) == pid_) pid_ = -1;
    }
    return false;
  }

  void Stop() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }

  int port() const { return port_; }
  std::string url() const {
    return (setup_.certFile.empty() ? "mqtt://127.0.0.1:" : "mqtts://127.0.0.1:") + std::to_string(port_);
  }
  std::string log() const {
    std::ifstream in(folder_ / "mosquitto.log");
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }

 private:
  std::filesystem::path folder_;
  BrokerSetup setup_;
  int port_;
  pid_t pid_ = -1;
};

struct ReceivedMessage {
  std::string topic;
  std::string payload;
  int qos = 0;
  bool retain = false;
  BrokerClock::time_point at;
};

// Subscribes to `filter` (QoS 1) on every (re)connect. With a client id the
// session is persistent: the broker keeps what arrives while it is away.
class Subscriber {
 public:
  Subscriber(int port, std::string filter, const std::string& clientId = {}) : filter_(std::move(filter)) {
    static std::once_flag once;
    std::call_once(once, [] { mosquitto_lib_init(); });
    mosq_ = mosquitto_new(clientId.empty() ? nullptr : clientId.c_str(), clientId.empty(), this);
    mosquitto_reconnect_delay_set(mosq_, 1, 1, false);
    mosquitto_connect_callback_set(mosq_, [](mosquitto* m, void* self, int rc) {
      if (rc == 0) mosquitto_subscribe(m, nullptr, static_cast<Subscriber*>(self)->filter_.c_str(), 1);
    });
    mosquitto_subscribe_callback_set(mosq_, [](mosquitto*, void* self, int, int, const int*) {
      auto* s = static_cast<Subscriber*>(self);
      std::lock_guard lock(s->mutex_);
      ++s->subscriptions_;
    });
    mosquitto_message_callback_set(mosq_, [](mosquitto*, void* self, const mosquitto_message* m) {
      auto* s = static_cast<Subscriber*>(self);
      std::lock_guard lock(s->mutex_);
      const auto* payload = static_cast<const char*>(m->payload);
      s->messages_.push_back({m->topic, {payload, payload + m->payloadlen}, m->qos, m->retain, BrokerClock::now()});
    });
    mosquitto_connect_async(mosq_, "127.0.0.1", port, 60);
    mosquitto_loop_start(mosq_);
  }
  ~Subscriber() {
    mosquitto_disconnect(mosq_);
    mosquitto_loop_stop(mosq_, false);
    mosquitto_destroy(mosq_);
  }
  Subscriber(const Subscriber&) = delete;
  Subscriber& operator=(const Subscriber&) = delete;

  bool WaitSubscribed() { return WaitUntil([&] { return subscriptions_ > 0; }, std::chrono::seconds(5)); }

  // Waits until `done` holds for the messages so far; returns it.
  bool WaitFor(const std::function<bool(const std::vector<ReceivedMessage>&)>& done,
               std::chrono::milliseconds within = std::chrono::seconds(5)) {
    return WaitUntil([&] { return done(messages_); }, within);
  }
  std::optional<ReceivedMessage> WaitForPayload(const std::string& topic, const std::string& payload) {
    std::optional<ReceivedMessage> found;
    WaitFor([&](const auto& messages) {
      for (const auto& m : messages)
        if (m.topic == topic && m.payload == payload) found = m;
      return found.has_value();
    });
    return found;
  }

  std::vector<ReceivedMessage> messages() const {
    std::lock_guard lock(mutex_);
    return messages_;
  }
  std::vector<ReceivedMessage> On(const std::string& topic) const {
    std::vector<ReceivedMessage> on;
    for (const auto& m : messages())
      if (m.topic == topic) on.push_back(m);
    return on;
  }

 private:
  template <typename Done>
  bool WaitUntil(Done done, std::chrono::milliseconds within) {
    for (const auto until = BrokerClock::now() + within;; std::this_thread::sleep_for(std::chrono::milliseconds(5))) {
      std::lock_guard lock(mutex_);
      if (done()) return true;
      if (BrokerClock::now() >= until) return false;
    }
  }

  std::string filter_;
  mosquitto* mosq_ = nullptr;
  mutable std::mutex mutex_;
  std::vector<ReceivedMessage> messages_;
  int subscriptions_ = 0;
};

} // namespace trelvan::testing
