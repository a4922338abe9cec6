#include "simulator.h"

#include <fcntl.h>
#include <modbus.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <optional>
#include <random>
#include <vector>

#include "sim/instrument_model.h"
#include "sim/rtu_slave_frames.h"

namespace trelvan::sim {

namespace {

using Clock = std::chrono::steady_clock;
using Frame = std::vector<std::uint8_t>;

// A request whose bytes stop coming for this long is dropped and the framing
// starts over with the next byte. At 9600 baud a frame's bytes are 1 ms
// apart; a pseudo-terminal delivers them at once.
constexpr auto kResyncSilence = std::chrono::milliseconds(20);
// A trickled reply: one byte every 2 ms.
constexpr auto kTrickleGap = std::chrono::milliseconds(2);

void CloseFd(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

std::string ErrnoText(const std::string& what) { return what + ": " + std::strerror(errno); }

// The target of a symbolic link, or "" when `path` is none.
std::string LinkTarget(const std::string& path) {
  char target[PATH_MAX];
  const ssize_t n = ::readlink(path.c_str(), target, sizeof target - 1);
  return n > 0 ? std::string(target, static_cast<std::size_t>(n)) : std::string();
}

// A link the simulator may replace: none yet, or one that points at a
// pseudo-terminal (this run's, or one left behind by a run that was killed).
bool LinkIsReplaceable(const std::string& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) return errno == ENOENT;
  return S_ISLNK(st.st_mode) && LinkTarget(path).rfind("/dev/pts/", 0) == 0;
}

// Writes all bytes to the non-blocking terminal, waiting while it is full;
// what finds no room for 100 ms (nobody reads the line) is dropped.
void WriteAll(int fd, const std::uint8_t* data, std::size_t size) {
  while (size > 0) {
    const ssize_t n = ::write(fd, data, size);
    if (n > 0) {
      data += n;
      size -= static_cast<std::size_t>(n);
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else if (n < 0 && errno == EAGAIN) {
      pollfd p{fd, POLLOUT, 0};
      if (::poll(&p, 1, 100) == 0) return;
    } else {
      return;
    }
  }
}

// The fault of one request on a faulty line, and its name in the log.
struct DrawnFault {
  StationFaults faults;
  std::string name = "none";
};

DrawnFault DrawFault(const RandomFaults& mix, int masterReplyMs, std::mt19937_64& random) {
  std::uniform_real_distribution<double> percent(0, 100);
  const double p = percent(random);
  auto pick = [&](int n) { return std::uniform_int_distribution<int>(0, n - 1)(random); };
  DrawnFault d;
  if (p < mix.fastPercent) {
    switch (pick(5)) {
      case 0: d.faults.badCrc = true; d.name = "bad-crc"; break;
      case 1:
        d.faults.extraBytes = 1 + pick(6);
        d.name = "extra:" + std::to_string(d.faults.extraBytes);
        break;
      case 2: {
        constexpr int kCodes[] = {1, 2, 3, 4, 6};
        d.faults.exceptionCode = kCodes[pick(5)];
        d.name = "exception:" + std::to_string(d.faults.exceptionCode);
        break;
      }
      case 3: d.faults.foreign = true; d.name = "foreign"; break;
      default: d.faults.trickle = true; d.name = "trickle"; break;
    }
  } else if (p < mix.fastPercent + mix.slowPercent) {
    switch (pick(3)) {
      case 0: d.faults.silent = true; d.name = "silent"; break;
      case 1: d.faults.shortReply = true; d.name = "short"; break;
      default: {
        const auto [low, high] = RandomDelayRange(masterReplyMs);
        d.faults.delayMs = std::uniform_int_distribution<int>(low, high)(random);
        d.name = "delay:" + std::to_string(d.faults.delayMs);
        break;
      }
    }
  }
  return d;
}

// The fault of a reply applied to its bytes.
void Mangle(Frame& reply, const StationFaults& faults, int station) {
  if (faults.foreign && reply.size() >= 3) {
    reply[0] = static_cast<std::uint8_t>(station % 247 + 1);
    const std::uint16_t crc = SlaveCrc(reply.data(), reply.size() - 2);
    reply[reply.size() - 2] = static_cast<std::uint8_t>(crc & 0xFF);
    reply[reply.size() - 1] = static_cast<std::uint8_t>(crc >> 8);
  }
  if (faults.badCrc && !reply.empty()) reply.back() ^= 0x5A;
  if (faults.shortReply && !reply.empty()) reply.pop_back();
  for (int i = 0; i < faults.extraBytes; ++i) reply.push_back(static_cast<std::uint8_t>(0xA0 + i));
}

} // namespace

struct Simulator::Impl {
  struct Served {
    SimInstrument instrument;
    modbus_mapping_t* mapping = nullptr;
  };

  SimConfig config;
  std::vector<Served> served;
  modbus_t* ctx = nullptr;
  int master = -1;
  int slaveHold = -1;           // keeps the terminal alive while no master has it open
  int capture[2] = {-1, -1};    // libmodbus writes each reply here; it goes out when due
  std::string devicePath;
  Clock::time_point start = Clock::now();
  std::FILE* log = nullptr;
  std::mt19937_64 random;
  std::uint64_t sequence = 0;   // requests received, the first is 1
  std::atomic<std::uint64_t>* answered = nullptr;
  Frame received;               // request bytes not yet framed
  Clock::time_point lastReceived;
  // Reply bytes by the time they are due on the line. A delayed reply waits
  // here while the other stations go on answering.
  std::multimap<Clock::time_point, Frame> outgoing;

  ~Impl() {
    for (Served& s : served) modbus_mapping_free(s.mapping);
    if (ctx) modbus_free(ctx);
    CloseTerminal();
    CloseFd(capture[0]);
    CloseFd(capture[1]);
    if (log) std::fclose(log);
  }

  // A fresh pseudo-terminal in raw mode at 9600 baud; the link, if any, is
  // pointed at it.
  bool OpenTerminal(std::string* error) {
    auto fail = [&](const std::string& what) {
      if (error) *error = "Pseudo-Terminal nicht verfügbar: " + ErrnoText(what);
      CloseTerminal();
      return false;
    };
    const std::string& link = config.linkPath;
    if (!link.empty() && !LinkIsReplaceable(link)) {
      if (error) *error = link + " existiert und ist kein Link des Simulators; nichts verändert";
      return false;
    }
    master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0) return fail("posix_openpt");
    if (::grantpt(master) != 0 || ::unlockpt(master) != 0) return fail("grantpt/unlockpt");
    char name[256];
    if (::ptsname_r(master, name, sizeof name) != 0) return fail("ptsname_r");
    slaveHold = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slaveHold < 0) return fail(std::string("open ") + name);
    termios raw{};
    if (::tcgetattr(slaveHold, &raw) != 0) return fail("tcgetattr");
    ::cfmakeraw(&raw);
    ::cfsetspeed(&raw, B9600);
    if (::tcsetattr(slaveHold, TCSANOW, &raw) != 0) return fail("tcsetattr");
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
    devicePath = name;
    if (!link.empty()) {
      // Point the link at the new terminal in one step: a link of our own
      // renamed over the old one, so a master never sees no link or a half one.
      const std::string temporary = link + ".new" + std::to_string(::getpid());
      if (LinkIsReplaceable(temporary)) ::unlink(temporary.c_str());
      if (::symlink(name, temporary.c_str()) != 0) return fail("symlink " + temporary);
      if (::rename(temporary.c_str(), link.c_str()) != 0) return fail("rename " + temporary);
    }
    return true;
  }

  // The adapter goes away: the master's side of the line hangs up, and the
  // link vanishes with the device as a udev link does.
  void CloseTerminal() {
    if (!config.linkPath.empty() && master >= 0 && LinkTarget(config.linkPath) == devicePath)
      ::unlink(config.linkPath.c_str());
    CloseFd(slaveHold);
    CloseFd(master);
    received.clear();
    outgoing.clear();
  }

  bool OpenModbus(std::string* error) {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, capture) != 0) {
      if (error) *error = ErrnoText("socketpair");
      return false;
    }
    ctx = modbus_new_rtu(devicePath.c_str(), 9600, 'N', 8, 1);
    if (ctx == nullptr) {
      if (error) *error = ErrnoText("modbus_new_rtu");
      return false;
    }
    modbus_set_socket(ctx, capture[1]);
    for (const SimInstrument& instrument : config.instruments) {
      modbus_mapping_t* mapping =
          modbus_mapping_new_start_address(0, 0, 0, 0, static_cast<unsigned>(instrument.registerBase), 8, 0, 0);
      if (mapping == nullptr) {
        if (error) *error = ErrnoText("modbus_mapping_new_start_address");
        return false;
      }
      served.push_back({instrument, mapping});
    }
    return true;
  }

  double Seconds() const { return std::chrono::duration<double>(Clock::now() - start).count(); }

  // The instrument that answers a request: the one whose block holds the
  // first register, else any at the station (if only with an exception).
  Served* TargetOf(const std::uint8_t* frame) {
    Served* target = nullptr;
    const int first = frame[2] << 8 | frame[3];
    for (Served& s : served) {
      if (s.instrument.station != frame[0]) continue;
      if (target == nullptr) target = &s;
      if (first >= s.instrument.registerBase && first < s.instrument.registerBase + 8) return &s;
    }
    return target;
  }

  // The station's own faults, or the one this request draws on a faulty line.
  DrawnFault FaultOf(int station) {
    DrawnFault fault;
    if (const auto f = config.faults.find(station); f != config.faults.end()) fault.faults = f->second;
    if (config.randomFaults) {
      DrawnFault drawn = DrawFault(*config.randomFaults, config.masterReplyMs, random);
      if (drawn.name != "none") fault = std::move(drawn);
    }
    if (config.answerOnly && !MasterLineIs(*config.answerOnly)) {
      fault.faults = StationFaults{};
      fault.faults.silent = true;
      fault.name = "line";
    }
    return fault;
  }

  // The speed and stop bits the master gave the terminal, read on our end.
  bool MasterLineIs(const LineChoice& line) const {
    termios t{};
    if (::tcgetattr(slaveHold >= 0 ? slaveHold : master, &t) != 0) return true;
    const speed_t speed = ::cfgetospeed(&t);
    const std::pair<int, speed_t> speeds[] = {{1200, B1200}, {2400, B2400}, {4800, B4800}, {9600, B9600},
                                             {19200, B19200}, {38400, B38400}, {57600, B57600}, {115200, B115200}};
    const auto known = std::find_if(std::begin(speeds), std::end(speeds), [&](auto& s) { return s.first == line.baudRate; });
    return known != std::end(speeds) && known->second == speed &&
           ((t.c_cflag & CSTOPB) != 0 ? 2 : 1) == line.stopBits;
  }

  void Log(const std::uint8_t* frame, const std::string& faultName, const RegisterBlock& registers) {
    if (!log) return;
    std::fprintf(log, "%llu %d %d %d %s", static_cast<unsigned long long>(sequence), frame[0],
                 frame[2] << 8 | frame[3], frame[4] << 8 | frame[5], faultName.c_str());
    for (std::uint16_t r : registers) std::fprintf(log, " %u", static_cast<unsigned>(r));
    std::fputc('\n', log);
    std::fflush(log);
  }

  // The reply libmodbus builds for a request, taken off the capture socket.
  Frame ModbusReply(Served& target, const std::uint8_t* frame, int length, int exceptionCode) {
    modbus_set_slave(ctx, frame[0]);
    if (exceptionCode != 0) modbus_reply_exception(ctx, frame, static_cast<unsigned>(exceptionCode));
    else modbus_reply(ctx, frame, length, target.mapping);
    Frame reply;
    std::uint8_t chunk[512];
    for (ssize_t n; (n = ::read(capture[0], chunk, sizeof chunk)) > 0;) reply.insert(reply.end(), chunk, chunk + n);
    return reply;
  }

  void Schedule(Frame reply, int delayMs, bool trickle) {
    const Clock::time_point due = Clock::now() + std::chrono::milliseconds(delayMs);
    if (!trickle) {
      outgoing.emplace(due, std::move(reply));
      return;
    }
    for (std::size_t i = 0; i < reply.size(); ++i) outgoing.emplace(due + kTrickleGap * static_cast<int>(i), Frame{reply[i]});
  }

  void HandleRequest(const std::uint8_t* frame, int length) {
    const int station = frame[0];
    if (station == 0) return; // broadcast: nobody answers
    ++sequence;
    Served* target = TargetOf(frame);
    if (target == nullptr) return;
    const DrawnFault fault = FaultOf(station);

    // The registers are taken when the request arrives, so the log can be
    // written before a delay; the master sees them only if the reply comes.
    RegisterBlock registers = RegistersAt(target->instrument, Seconds(), config.counterSpeed);
    if (config.randomFaults && !target->instrument.fixedRegisters) {
      registers[4] = static_cast<std::uint16_t>(sequence % 1000);
    }
    Log(frame, fault.name, registers);
    if (fault.faults.silent) return;
    std::copy(registers.begin(), registers.end(), target->mapping->tab_registers);
    ++*answered;
    Frame reply = ModbusReply(*target, frame, length, fault.faults.exceptionCode);
    if (fault.faults.exceptionCode == 0) Mangle(reply, fault.faults, station);
    Schedule(std::move(reply), fault.faults.delayMs, fault.faults.trickle);
  }

  // Sends the replies that are due.
  void SendDue() {
    const Clock::time_point now = Clock::now();
    while (!outgoing.empty() && outgoing.begin()->first <= now) {
      const Frame& bytes = outgoing.begin()->second;
      WriteAll(master, bytes.data(), bytes.size());
      outgoing.erase(outgoing.begin());
    }
  }

  // How long the loop may sleep: until the next reply is due, or until an
  // incomplete request has gone stale; -1 for no limit.
  int WakeInMs() const {
    std::optional<Clock::time_point> wake;
    if (!outgoing.empty()) wake = outgoing.begin()->first;
    if (!received.empty()) {
      const auto stale = lastReceived + kResyncSilence;
      if (!wake || stale < *wake) wake = stale;
    }
    if (!wake) return -1;
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(*wake - Clock::now()).count();
    return static_cast<int>(std::clamp<long long>(ms, 0, 60'000));
  }

  // An incomplete request followed by a silence is dropped.
  void DropStaleRequest() {
    if (!received.empty() && Clock::now() - lastReceived >= kResyncSilence) received.clear();
  }

  void Receive() {
    std::uint8_t chunk[512];
    const ssize_t got = ::read(master, chunk, sizeof chunk);
    if (got <= 0) return;
    received.insert(received.end(), chunk, chunk + got);
    lastReceived = Clock::now();
  }

  // Takes every complete request off the front and answers it; a frame whose
  // CRC is wrong, or whose function is unknown, loses its first byte and
  // framing resumes. True when the adapter is to be pulled now.
  bool HandleReceived() {
    while (received.size() >= 2) {
      const int length = RequestFrameLength(received.data(), received.size());
      if (length < 0) {
        received.erase(received.begin());
        continue;
      }
      if (length == 0 || received.size() < static_cast<std::size_t>(length)) break;
      const auto size = static_cast<std::size_t>(length);
      const std::uint16_t crc = SlaveCrc(received.data(), size - 2);
      if (received[size - 2] != (crc & 0xFF) || received[size - 1] != (crc >> 8)) {
        received.erase(received.begin());
        continue;
      }
      const Frame frame(received.begin(), received.begin() + length);
      received.erase(received.begin(), received.begin() + length);
      HandleRequest(frame.data(), length);
      if (config.closeAfterRequests > 0 && sequence == static_cast<std::uint64_t>(config.closeAfterRequests))
        return true;
    }
    return false;
  }
};

Simulator::Simulator(SimConfig config) : impl_(std::make_unique<Impl>()) {
  impl_->config = std::move(config);
  impl_->answered = &answered_;
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) == 0) {
    stopRead_ = fds[0];
    stopWrite_ = fds[1];
  }
}

Simulator::~Simulator() {
  impl_.reset();
  CloseFd(stopRead_);
  CloseFd(stopWrite_);
}

bool Simulator::Open(std::string* error) {
  Impl& d = *impl_;
  if (stopRead_ < 0) {
    if (error) *error = ErrnoText("pipe");
    return false;
  }
  if (!d.OpenTerminal(error) || !d.OpenModbus(error)) return false;
  if (d.config.randomFaults) d.random.seed(d.config.randomFaults->seed);
  if (!d.config.logFile.empty()) {
    d.log = std::fopen(d.config.logFile.c_str(), "we");
    if (d.log == nullptr) {
      if (error) *error = ErrnoText("open " + d.config.logFile);
      return false;
    }
  }
  return true;
}

const std::string& Simulator::DevicePath() const { return impl_->devicePath; }

void Simulator::Stop() {
  if (stopWrite_ >= 0) {
    const char byte = 1;
    [[maybe_unused]] const auto n = ::write(stopWrite_, &byte, 1);
  }
}

bool Simulator::Pause(int ms) {
  pollfd p{stopRead_, POLLIN, 0};
  return ::poll(&p, 1, ms) <= 0;
}

bool Simulator::Unplug() {
  Impl& d = *impl_;
  d.CloseTerminal();
  if (d.config.reopenAfterMs < 0) {
    Pause(-1);
    return false;
  }
  if (!Pause(d.config.reopenAfterMs)) return false;
  // The new terminal has a new name; a master finds it through the link.
  return d.OpenTerminal(nullptr);
}

void Simulator::Run() {
  Impl& d = *impl_;
  if (d.master < 0 || d.ctx == nullptr) return;
  for (;;) {
    pollfd fds[2] = {{d.master, POLLIN, 0}, {stopRead_, POLLIN, 0}};
    const int n = ::poll(fds, 2, d.WakeInMs());
    if (n < 0 && errno != EINTR) break;
    if (n > 0 && fds[1].revents != 0) break;
    d.SendDue();
    d.DropStaleRequest();
    if (n <= 0) continue;
    if (fds[0].revents & POLLIN) {
      d.Receive();
    } else if (fds[0].revents & (POLLHUP | POLLERR)) {
      if (!Pause(10)) break; // no terminal on the other side yet
      continue;
    }
    if (d.HandleReceived() && !Unplug()) break;
  }
  // Leave the stop pipe empty for a later Run().
  char drain[16];
  while (::read(stopRead_, drain, sizeof drain) > 0) {
  }
}

} // namespace trelvan::sim
