#include "mqtt_publisher.h"

#include <mosquitto.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <csignal>
#include <deque>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <poll.h>
#include <random>
#include <utility>
#include <sys/eventfd.h>
#include <unistd.h>

#include "core/system_error.h"
#include "publish/ha_discovery.h"

namespace trelvan {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

namespace {

constexpr std::size_t kMaxNotices = 100;

std::string Quoted(std::string_view text) { return "„" + std::string(text) + "“"; }

// Why a connection attempt or a connection failed, in German.
std::string NetworkErrorText(int error) {
  switch (error) {
    case ECONNREFUSED: return "Verbindung abgelehnt (läuft dort ein Broker?)";
    case ETIMEDOUT: return "keine Antwort (Zeitüberschreitung)";
    case EHOSTUNREACH: return "Rechner nicht erreichbar";
    case ENETUNREACH: return "Netz nicht erreichbar";
    case ECONNRESET: return "Verbindung vom Broker zurückgesetzt";
    case EPIPE: return "Verbindung vom Broker geschlossen";
    default: return SystemErrorText(error);
  }
}

std::string MosquittoErrorText(int rc, int error, const MqttConfig& config) {
  switch (rc) {
    case MOSQ_ERR_ERRNO: return NetworkErrorText(error);
    case MOSQ_ERR_EAI: return "Rechnername " + Quoted(config.broker.host) + " nicht gefunden";
    case MOSQ_ERR_TLS:
      return "TLS-Verbindung gescheitert (Zertifikat nicht vertrauenswürdig, falscher Rechnername "
             "oder CA-Datei unbrauchbar)";
    case MOSQ_ERR_CONN_LOST: return "vom Broker geschlossen";
    case MOSQ_ERR_NO_CONN: return "keine Verbindung";
    case MOSQ_ERR_KEEPALIVE: return "keine Antwort des Brokers innerhalb der Keep-Alive-Zeit";
    case MOSQ_ERR_NOMEM: return "kein Speicher";
    default: return std::string("libmosquitto: ") + mosquitto_strerror(rc);
  }
}

// CONNACK return codes of MQTT 3.1.1.
std::string RefusalText(int code) {
  switch (code) {
    case 1: return "Protokollversion nicht unterstützt";
    case 2: return "Client-Kennung abgelehnt";
    case 3: return "Broker derzeit nicht verfügbar";
    case 4: return "Benutzername oder Passwort falsch";
    case 5: return "nicht berechtigt (Benutzername oder Passwort falsch oder nicht angegeben?)";
    default: return "Code " + std::to_string(code);
  }
}

void InitLibraryOnce() {
  static std::once_flag once;
  std::call_once(once, [] { mosquitto_lib_init(); });
}

// "trelvan-<pid>-<site>", ASCII, at most the 23 bytes every MQTT 3.1.1 broker accepts.
std::string ClientId(std::string_view site) {
  std::string id = "trelvan-" + std::to_string(getpid()) + "-";
  for (const char c : site) {
    const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-';
    id += ok ? c : '_';
  }
  return id.substr(0, 23);
}

} // namespace

namespace detail {

// What the caller's thread and the publishing thread share; all of it under
// `mutex`, except the eventfd, which only ever wakes the thread.
struct PublisherState {
  explicit PublisherState(MqttConfig c) : config(std::move(c)) {}
  ~PublisherState() {
    if (wakeFd >= 0) close(wakeFd);
  }

  void Wake() const {
    const std::uint64_t one = 1;
    // EAGAIN only when the counter is already huge: the thread is awake anyway.
    [[maybe_unused]] const ssize_t n = write(wakeFd, &one, sizeof one);
  }
  void NoticeLocked(std::string text) {
    if (notices.size() >= kMaxNotices) notices.erase(notices.begin());
    notices.push_back("MQTT: " + std::move(text));
  }
  void Notice(std::string text) {
    std::lock_guard lock(mutex);
    NoticeLocked(std::move(text));
  }
  // Puts messages back in front of the queue (unacknowledged ones after a
  // lost connection), dropping the oldest beyond the capacity.
  void RequeueFront(std::deque<MqttMessage> messages) {
    std::lock_guard lock(mutex);
    queue.insert(queue.begin(), std::make_move_iterator(messages.begin()),
                 std::make_move_iterator(messages.end()));
    TrimLocked();
  }
  void TrimLocked() {
    while (queue.size() > config.queueCapacity) {
      queue.pop_front();
      ++stats.dropped;
      ++droppedUntold;
      if (!dropping) {
        dropping = true;
        NoticeLocked("Warteschlange voll (" + std::to_string(config.queueCapacity) +
                     " Meldungen): die ältesten werden verworfen.");
      }
    }
  }

  const MqttConfig config;
  int wakeFd = -1;

  mutable std::mutex mutex;
  std::condition_variable finishedChanged;
  std::deque<MqttMessage> queue;
  std::map<int, MqttMessage> announced; // the latest discovery message per channel
  MqttPublisherStats stats;
  std::uint64_t droppedUntold = 0;
  bool dropping = false;
  std::vector<std::string> notices;
  bool stopRequested = false;
  Clock::time_point drainDeadline;
  bool finished = false;
};

} // namespace detail

namespace {

using detail::PublisherState;

// The publishing thread's side: the libmosquitto client (created anew for
// every connection, so no state of a lost one lingers in the library) and
// the messages handed to it that the broker has not acknowledged yet.
class Connection {
 public:
  explicit Connection(PublisherState& shared) : s_(shared), random_(std::random_device{}()) {}
  ~Connection() { Destroy(); }

  void Run() {
    for (;;) {
      Clock::time_point deadline;
      {
        std::lock_guard lock(s_.mutex);
        if (s_.stopRequested) deadline = s_.drainDeadline;
      }
      if (deadline != Clock::time_point{}) {
        Finish(deadline);
        return;
      }
      if (!mosq_) {
        if (Clock::now() < nextAttempt_) {
          Sleep(nextAttempt_);
          continue;
        }
        if (!Connect()) continue;
      }
      if (!connected_ && Clock::now() - connectStarted_ > ConnackWait()) {
        Fail("keine Antwort des Brokers auf die Anmeldung");
        continue;
      }
      HandOver();
      if (!Pump(milliseconds(1000))) continue;
    }
  }

 private:
  milliseconds ConnackWait() const {
    return std::max(milliseconds(5000), milliseconds(1000) * s_.config.keepaliveS);
  }

  // Waits for a wake-up (a new message, Stop) or until `until`.
  void Sleep(Clock::time_point until) {
    const auto left = std::chrono::duration_cast<milliseconds>(until - Clock::now()).count();
    pollfd wake{s_.wakeFd, POLLIN, 0};
    if (poll(&wake, 1, static_cast<int>(std::clamp<long long>(left, 0, 1000))) > 0) DrainWake();
  }

  void DrainWake() {
    std::uint64_t count;
    [[maybe_unused]] const ssize_t n = read(s_.wakeFd, &count, sizeof count);
  }

  bool Connect() {
    const MqttConfig& c = s_.config;
    mosq_ = mosquitto_new(ClientId(c.site).c_str(), true, this);
    if (!mosq_) return Fail("kein Speicher für den MQTT-Client");
    mosquitto_int_option(mosq_, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
    // Four small messages a second: Nagle's algorithm would hold each back
    // for the acknowledgement of the one before.
    mosquitto_int_option(mosq_, MOSQ_OPT_TCP_NODELAY, 1);
    const MqttMessage will = StatusMessage(c.site, kOffline);
    mosquitto_will_set(mosq_, will.topic.c_str(), static_cast<int>(will.payload.size()), will.payload.data(),
                       will.qos, will.retain);
    if (c.credentials)
      mosquitto_username_pw_set(mosq_, c.credentials->user.c_str(), c.credentials->password.c_str());
    if (c.broker.tls) {
      int rc = MOSQ_ERR_SUCCESS;
      if (!c.caFile.empty())
        rc = mosquitto_tls_set(mosq_, c.caFile.c_str(), nullptr, nullptr, nullptr, nullptr);
      else
        rc = mosquitto_int_option(mosq_, MOSQ_OPT_TLS_USE_OS_CERTS, 1);
      if (rc != MOSQ_ERR_SUCCESS) return Fail(MosquittoErrorText(rc, errno, c));
    }
    mosquitto_connect_callback_set(mosq_, [](mosquitto*, void* self, int rc) {
      static_cast<Connection*>(self)->OnConnack(rc);
    });
    mosquitto_publish_callback_set(mosq_, [](mosquitto*, void* self, int mid) {
      static_cast<Connection*>(self)->OnAcknowledged(mid);
    });

    // Blocking (name lookup, TCP, TLS handshake, CONNECT) but only this
    // thread waits; Stop() does not wait for it beyond its own limit.
    errno = 0;
    const int rc = mosquitto_connect(mosq_, c.broker.host.c_str(), c.broker.port, c.keepaliveS);
    if (rc != MOSQ_ERR_SUCCESS) return Fail(MosquittoErrorText(rc, errno, c));
    const int fd = mosquitto_socket(mosq_);
    if (fd >= 0) fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    connectStarted_ = Clock::now();
    return true;
  }

  void OnConnack(int rc) {
    if (rc != 0) {
      refused_ = rc;
      return;
    }
    connected_ = true;
    helloPending_ = true;
  }

  // After a CONNACK (outside the library's callback, where the client must
  // not be destroyed): "online", the announcements, the notices.
  void SayHello() {
    helloPending_ = false;
    retry_ = MqttPublisher::kFirstRetry;
    lastFailure_.clear();
    const MqttConfig& c = s_.config;
    std::deque<MqttMessage> hello{StatusMessage(c.site, kOnline)};
    {
      std::lock_guard lock(s_.mutex);
      s_.stats.connected = true;
      ++s_.stats.connects;
      for (const auto& [channel, message] : s_.announced) hello.push_back(message);
      s_.NoticeLocked("Verbindung zu " + BrokerUrl(c.broker) + " hergestellt (Standort " + Quoted(c.site) + ").");
      if (s_.droppedUntold > 0) {
        s_.NoticeLocked(std::to_string(s_.droppedUntold) +
                        " Meldungen wurden verworfen, weil die Warteschlange voll war.");
        s_.droppedUntold = 0;
      }
      s_.dropping = false;
    }
    // The library resends nothing of a former connection (the client is new),
    // so this goes out before whatever the queue holds.
    for (MqttMessage& m : hello)
      if (!Send(std::move(m))) return;
  }

  void OnAcknowledged(int mid) {
    const auto it = std::find_if(unacknowledged_.begin(), unacknowledged_.end(),
                                 [mid](const auto& entry) { return entry.first == mid; });
    if (it == unacknowledged_.end()) return;
    unacknowledged_.erase(it);
    std::lock_guard lock(s_.mutex);
    ++s_.stats.acknowledged;
    s_.stats.unacknowledged = unacknowledged_.size();
  }

  // Hands a message to the client; false when the connection is gone (the
  // message then waits in front of the queue again).
  bool Send(MqttMessage message) {
    int mid = 0;
    const int rc = mosquitto_publish(mosq_, &mid, message.topic.c_str(), static_cast<int>(message.payload.size()),
                                     message.payload.data(), message.qos, message.retain);
    if (rc == MOSQ_ERR_SUCCESS) {
      unacknowledged_.emplace_back(mid, std::move(message));
      std::lock_guard lock(s_.mutex);
      s_.stats.unacknowledged = unacknowledged_.size();
      return true;
    }
    if (rc == MOSQ_ERR_PAYLOAD_SIZE || rc == MOSQ_ERR_INVAL || rc == MOSQ_ERR_MALFORMED_UTF8) {
      // Sending it again would fail again.
      s_.Notice("Meldung für " + Quoted(message.topic) + " verworfen: " + mosquitto_strerror(rc) + ".");
      return true;
    }
    s_.RequeueFront({std::move(message)});
    Fail(MosquittoErrorText(rc, errno, s_.config));
    return false;
  }

  void HandOver() {
    if (connected_ && helloPending_) SayHello();
    while (connected_ && unacknowledged_.size() < MqttPublisher::kWindow) {
      MqttMessage next;
      {
        std::lock_guard lock(s_.mutex);
        if (s_.queue.empty()) return;
        next = std::move(s_.queue.front());
        s_.queue.pop_front();
      }
      if (!Send(std::move(next))) return;
    }
  }

  // One round of network work: waits up to `timeout` for the socket or a
  // wake-up, then reads, writes and keeps alive. False when the connection
  // was lost or refused (and has been dropped).
  bool Pump(milliseconds timeout) {
    const int fd = mosquitto_socket(mosq_);
    if (fd < 0) return Fail("vom Broker geschlossen");
    pollfd fds[2] = {{s_.wakeFd, POLLIN, 0},
                     {fd, static_cast<short>(POLLIN | (mosquitto_want_write(mosq_) ? POLLOUT : 0)), 0}};
    if (poll(fds, 2, static_cast<int>(timeout.count())) < 0 && errno != EINTR)
      return Fail(SystemErrorText(errno));
    if (fds[0].revents & POLLIN) DrainWake();
    errno = 0;
    if (fds[1].revents & (POLLIN | POLLHUP | POLLERR)) {
      const int rc = mosquitto_loop_read(mosq_, 1);
      if (refused_ != 0) return Fail("Anmeldung abgelehnt: " + RefusalText(refused_));
      if (rc != MOSQ_ERR_SUCCESS) return Fail(MosquittoErrorText(rc, errno, s_.config));
    }
    if (mosquitto_want_write(mosq_)) {
      const int rc = mosquitto_loop_write(mosq_, 1);
      if (rc != MOSQ_ERR_SUCCESS) return Fail(MosquittoErrorText(rc, errno, s_.config));
    }
    const int rc = mosquitto_loop_misc(mosq_);
    if (rc != MOSQ_ERR_SUCCESS) return Fail(MosquittoErrorText(rc, errno, s_.config));
    return true;
  }

  // Drops the client, puts the unacknowledged messages back in front of the
  // queue and schedules the next attempt. Tells each kind of failure once.
  bool Fail(const std::string& why) {
    const bool wasConnected = connected_;
    Destroy();
    if (wasConnected) {
      s_.Notice("Verbindung zu " + BrokerUrl(s_.config.broker) + " verloren: " + why +
                ". Die Meldungen warten, bis die Verbindung wieder steht.");
    } else if (why != lastFailure_) {
      s_.Notice("Keine Verbindung zu " + BrokerUrl(s_.config.broker) + ": " + why +
                ". Neue Versuche in wachsenden Abständen bis " +
                std::to_string(MqttPublisher::kLastRetry.count() / 1000) + " s.");
    }
    lastFailure_ = why;
    std::uniform_real_distribution<double> jitter(0.8, 1.2);
    nextAttempt_ = Clock::now() + milliseconds(static_cast<long long>(retry_.count() * jitter(random_)));
    retry_ = std::min(retry_ * 2, MqttPublisher::kLastRetry);
    return false;
  }

  void Destroy() {
    if (!mosq_) return;
    mosquitto_destroy(mosq_); // closes the socket without DISCONNECT: the broker sends the will
    mosq_ = nullptr;
    connected_ = false;
    helloPending_ = false;
    refused_ = 0;
    std::deque<MqttMessage> again;
    for (auto& [mid, message] : unacknowledged_) again.push_back(std::move(message));
    unacknowledged_.clear();
    s_.RequeueFront(std::move(again));
    std::lock_guard lock(s_.mutex);
    s_.stats.connected = false;
    s_.stats.unacknowledged = 0;
  }

  // The normal end: deliver what waits (until `deadline`), say "offline",
  // disconnect. A connection still waiting for its CONNACK gets the same
  // time. Without a connection one last attempt is made at once, whatever
  // the back-off says: a short run may end before the thread has tried at
  // all, and a broker that came back since the last failure takes what waits.
  void Finish(Clock::time_point deadline) {
    if (!mosq_ && Clock::now() < deadline) Connect();
    const auto pumpUntil = [this](Clock::time_point until, auto done) {
      while (mosq_ && !done() && Clock::now() < until) {
        HandOver();
        const auto left = std::chrono::duration_cast<milliseconds>(until - Clock::now());
        Pump(std::clamp(left, milliseconds(1), milliseconds(100)));
      }
    };
    pumpUntil(deadline, [this] {
      std::lock_guard lock(s_.mutex);
      return connected_ && s_.queue.empty() && unacknowledged_.empty();
    });
    if (mosq_ && connected_) {
      MqttMessage goodbye = StatusMessage(s_.config.site, kOffline);
      if (Send(goodbye)) {
        // The goodbye gets its own second even when the drain used up its time.
        pumpUntil(std::max(deadline, Clock::now()) + milliseconds(1000),
                  [this] { return unacknowledged_.empty(); });
      }
      if (mosq_ && connected_ && unacknowledged_.empty()) {
        // "offline" is with the broker: a DISCONNECT now (which cancels the
        // will) leaves the status right.
        mosquitto_disconnect(mosq_);
        for (int i = 0; i < 10 && mosq_ && mosquitto_want_write(mosq_); ++i)
          mosquitto_loop_write(mosq_, 1);
      }
    }
    std::erase_if(unacknowledged_, [](const auto& entry) { return entry.second.topic.ends_with("/status"); });
    Destroy();
    std::lock_guard lock(s_.mutex);
    std::size_t left = 0;
    for (const MqttMessage& m : s_.queue) left += m.topic.ends_with("/status") ? 0 : 1;
    if (left > 0) s_.NoticeLocked(std::to_string(left) + " Meldungen beim Beenden nicht mehr gesendet.");
    s_.queue.clear();
    s_.finished = true;
    s_.finishedChanged.notify_all();
  }

  PublisherState& s_;
  mosquitto* mosq_ = nullptr;
  bool connected_ = false;
  bool helloPending_ = false;
  int refused_ = 0;
  std::deque<std::pair<int, MqttMessage>> unacknowledged_;
  Clock::time_point connectStarted_;
  Clock::time_point nextAttempt_;
  milliseconds retry_ = MqttPublisher::kFirstRetry;
  std::string lastFailure_;
  std::minstd_rand random_;
};

} // namespace

MqttPublisher::MqttPublisher(MqttConfig config)
    : config_(std::move(config)), shared_(std::make_shared<PublisherState>(config_)) {
  InitLibraryOnce();
  shared_->wakeFd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  // The thread takes no signals: SIGINT and SIGTERM stay with the program's
  // own handling, and a write to a socket the broker closed gives EPIPE
  // instead of ending the process with SIGPIPE.
  sigset_t all, previous;
  sigfillset(&all);
  pthread_sigmask(SIG_SETMASK, &all, &previous);
  thread_ = std::thread([shared = shared_] {
    Connection connection(*shared);
    connection.Run();
  });
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
}

MqttPublisher::~MqttPublisher() { Stop(); }

void MqttPublisher::Enqueue(MqttMessage message) {
  bool wasEmpty = false;
  {
    std::lock_guard lock(shared_->mutex);
    if (shared_->stopRequested) return;
    wasEmpty = shared_->queue.empty();
    shared_->queue.push_back(std::move(message));
    shared_->TrimLocked();
  }
  // A queue that held messages already has the thread's attention: it is
  // either handing them over or waiting for the broker.
  if (wasEmpty) shared_->Wake();
}

void MqttPublisher::Publish(const Reading& reading) {
  if (config_.haDiscovery) {
    MqttMessage announcement = HaDiscoveryMessage(config_.site, reading);
    bool changed = false;
    {
      std::lock_guard lock(shared_->mutex);
      const auto it = shared_->announced.find(reading.channel);
      // A failed reading carries no unit: it announces a channel only once.
      changed = it == shared_->announced.end() || (reading.ok && it->second != announcement);
      if (changed) shared_->announced[reading.channel] = announcement;
    }
    if (changed) Enqueue(std::move(announcement));
  }
  Enqueue(ReadingMessage(config_.site, reading));
}

void MqttPublisher::Publish(const AlarmEvent& event) { Enqueue(AlarmMessage(config_.site, event)); }

void MqttPublisher::Stop(milliseconds drain) {
  if (stopped_) return;
  stopped_ = true;
  std::unique_lock lock(shared_->mutex);
  shared_->stopRequested = true;
  shared_->drainDeadline = Clock::now() + drain;
  lock.unlock();
  shared_->Wake();
  lock.lock();
  const bool finished = shared_->finishedChanged.wait_for(lock, drain + milliseconds(1500),
                                                         [this] { return shared_->finished; });
  lock.unlock();
  if (finished) {
    thread_.join();
  } else {
    // Stuck in a connection attempt (name lookup or TCP connect to a host
    // that does not answer); it ends by itself and owns what it uses.
    shared_->Notice("Verbindungsversuch beim Beenden abgebrochen.");
    thread_.detach();
  }
}

MqttPublisherStats MqttPublisher::Stats() const {
  std::lock_guard lock(shared_->mutex);
  MqttPublisherStats stats = shared_->stats;
  stats.queued = shared_->queue.size();
  return stats;
}

std::vector<std::string> MqttPublisher::TakeNotices() {
  std::lock_guard lock(shared_->mutex);
  return std::exchange(shared_->notices, {});
}

} // namespace trelvan
