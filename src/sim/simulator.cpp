#include "simulator.h"

#include <fcntl.h>
#include <modbus.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include "sim/instrument_model.h"
#include "sim/rtu_slave_frames.h"

namespace trelvan::sim {

namespace {

// A request whose bytes stop coming for this long is dropped and the framing
// starts over with the next byte. At 9600 baud a frame's bytes are 1 ms
// apart; a pseudo-terminal delivers them at once.
constexpr int kResyncSilenceMs = 20;

void CloseFd(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
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
  int slaveHold = -1; // keeps the terminal alive while no master has it open
  std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
  std::FILE* log = nullptr;
  std::mt19937_64 random;
  std::uint64_t sequence = 0; // requests received, the first is 1

  ~Impl() {
    for (Served& s : served) modbus_mapping_free(s.mapping);
    if (ctx) modbus_free(ctx);
    CloseTerminal();
    if (log) std::fclose(log);
  }

  // A fresh pseudo-terminal in raw mode at 9600 baud; the link, if any, is
  // pointed at it.
  bool OpenTerminal(std::string& devicePath, std::string* error) {
    auto fail = [&](const std::string& what) {
      if (error) *error = what + ": " + std::strerror(errno);
      CloseTerminal();
      return false;
    };
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
    if (!config.linkPath.empty()) {
      // Point the link at the new terminal in one step: a temporary link
      // renamed over the old one, so a master never sees no link or a half one.
      const std::string temporary = config.linkPath + ".new";
      ::unlink(temporary.c_str());
      if (::symlink(name, temporary.c_str()) != 0) return fail("symlink " + temporary);
      if (::rename(temporary.c_str(), config.linkPath.c_str()) != 0) return fail("rename " + temporary);
    }
    if (ctx) modbus_set_socket(ctx, master);
    return true;
  }

  // The adapter goes away: the master's side of the line hangs up, and the
  // link vanishes with the device as a udev link does.
  void CloseTerminal() {
    if (!config.linkPath.empty() && master >= 0) ::unlink(config.linkPath.c_str());
    CloseFd(slaveHold);
    CloseFd(master);
  }

  double Seconds() const {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  }
};

Simulator::Simulator(SimConfig config) : impl_(std::make_unique<Impl>()) {
  impl_->config = std::move(config);
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
  auto fail = [&](const std::string& what) {
    if (error) *error = what + ": " + std::strerror(errno);
    return false;
  };
  Impl& d = *impl_;
  if (stopRead_ < 0) return fail("pipe");
  if (!d.OpenTerminal(devicePath_, error)) return false;

  d.ctx = modbus_new_rtu(devicePath_.c_str(), 9600, 'N', 8, 1);
  if (d.ctx == nullptr) return fail("modbus_new_rtu");
  modbus_set_socket(d.ctx, d.master);
  for (const SimInstrument& instrument : d.config.instruments) {
    modbus_mapping_t* mapping =
        modbus_mapping_new_start_address(0, 0, 0, 0, static_cast<unsigned>(instrument.registerBase), 8, 0, 0);
    if (mapping == nullptr) return fail("modbus_mapping_new_start_address");
    d.served.push_back({instrument, mapping});
  }
  if (d.config.randomFaults) d.random.seed(d.config.randomFaults->seed);
  if (!d.config.logFile.empty()) {
    d.log = std::fopen(d.config.logFile.c_str(), "we");
    if (d.log == nullptr) return fail("open " + d.config.logFile);
  }
  return true;
}

void Simulator::Stop() {
  if (stopWrite_ >= 0) {
    const char byte = 1;
    [[maybe_unused]] const auto n = ::write(stopWrite_, &byte, 1);
  }
}

namespace {

// Writes all bytes to the non-blocking terminal, waiting while it is full.
void WriteAll(int fd, const std::uint8_t* data, std::size_t size) {
  while (size > 0) {
    const ssize_t n = ::write(fd, data, size);
    if (n > 0) {
      data += n;
      size -= static_cast<std::size_t>(n);
    } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
      pollfd p{fd, POLLOUT, 0};
      ::poll(&p, 1, 100);
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

DrawnFault DrawFault(const RandomFaults& mix, std::mt19937_64& random) {
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
      default:
        d.faults.delayMs = std::uniform_int_distribution<int>(kRandomDelayMinMs, kRandomDelayMaxMs)(random);
        d.name = "delay:" + std::to_string(d.faults.delayMs);
        break;
    }
  }
  return d;
}

} // namespace

void Simulator::Run() {
  Impl& d = *impl_;
  if (d.master < 0 || d.ctx == nullptr) return;
  std::vector<std::uint8_t> buffer;
  bool stopping = false;

  // Sleeps `ms`, or less when a stop arrives; false on a stop.
  auto pause = [&](int ms) {
    pollfd p{stopRead_, POLLIN, 0};
    if (::poll(&p, 1, ms) > 0) stopping = true;
    return !stopping;
  };

  auto handle = [&](const std::uint8_t* frame, int length) {
    const int station = frame[0];
    if (station == 0) return; // broadcast: nobody answers
    const std::uint64_t sequence = ++d.sequence;
    Impl::Served* target = nullptr;
    const int first = frame[2] << 8 | frame[3];
    for (Impl::Served& s : d.served) {
      if (s.instrument.station != station) continue;
      if (target == nullptr) target = &s; // answers for the station, if only with an exception
      if (first >= s.instrument.registerBase && first < s.instrument.registerBase + 8) {
        target = &s;
        break;
      }
    }
    if (target == nullptr) return;
    const auto f = d.config.faults.find(station);
    StationFaults faults = f != d.config.faults.end() ? f->second : StationFaults{};
    std::string faultName = "none";
    if (d.config.randomFaults) {
      DrawnFault drawn = DrawFault(*d.config.randomFaults, d.random);
      if (drawn.name != "none") {
        faults = drawn.faults;
        faultName = std::move(drawn.name);
      }
    }

    // The registers are taken when the request arrives, so the log can be
    // written before a delay; the master sees them only if the reply comes.
    RegisterBlock registers = RegistersAt(target->instrument, d.Seconds(), d.config.counterSpeed);
    if (d.config.randomFaults && !target->instrument.fixedRegisters) {
      registers[4] = static_cast<std::uint16_t>(sequence % 1000);
    }
    if (d.log) {
      std::fprintf(d.log, "%llu %d %d %d %s", static_cast<unsigned long long>(sequence), station,
                   frame[2] << 8 | frame[3], frame[4] << 8 | frame[5], faultName.c_str());
      for (std::uint16_t r : registers) std::fprintf(d.log, " %u", static_cast<unsigned>(r));
      std::fputc('\n', d.log);
      std::fflush(d.log);
    }
    if (faults.silent) return;
    if (faults.delayMs > 0 && !pause(faults.delayMs)) return;
    std::copy(registers.begin(), registers.end(), target->mapping->tab_registers);
    modbus_set_slave(d.ctx, station);
    ++answered_;
    if (faults.exceptionCode != 0) {
      modbus_reply_exception(d.ctx, frame, static_cast<unsigned>(faults.exceptionCode));
      return;
    }
    const int count = frame[4] << 8 | frame[5];
    const bool inBlock = frame[1] == 3 && first >= target->instrument.registerBase &&
                         first + count <= target->instrument.registerBase + 8 && count >= 1;
    const bool mangled = faults.badCrc || faults.shortReply || faults.extraBytes > 0 || faults.foreign || faults.trickle;
    if (!inBlock || !mangled) {
      modbus_reply(d.ctx, frame, length, target->mapping);
      return;
    }
    std::vector<std::uint8_t> reply = ReadRegistersReply(
        static_cast<std::uint8_t>(faults.foreign ? station % 247 + 1 : station),
        registers.data() + (first - target->instrument.registerBase), count);
    if (faults.badCrc) reply.back() ^= 0x5A;
    if (faults.shortReply) reply.pop_back();
    for (int i = 0; i < faults.extraBytes; ++i) reply.push_back(static_cast<std::uint8_t>(0xA0 + i));
    if (faults.trickle) {
      for (std::uint8_t b : reply) {
        WriteAll(d.master, &b, 1);
        if (!pause(2)) return;
      }
    } else {
      WriteAll(d.master, reply.data(), reply.size());
    }
  };

  // The adapter is pulled: the terminal closes; a new one opens after the
  // configured time, or the line stays away until the stop.
  auto unplug = [&] {
    d.CloseTerminal();
    buffer.clear();
    if (d.config.reopenAfterMs < 0) {
      pause(-1);
      return;
    }
    if (!pause(d.config.reopenAfterMs)) return;
    // The new terminal has a new name; a master finds it through the link.
    std::string device, error;
    if (!d.OpenTerminal(device, &error)) stopping = true;
  };

  while (!stopping) {
    pollfd fds[2] = {{d.master, POLLIN, 0}, {stopRead_, POLLIN, 0}};
    const int n = ::poll(fds, 2, buffer.empty() ? -1 : kResyncSilenceMs);
    if (n < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (fds[1].revents != 0) break;
    if (n == 0) {
      buffer.clear(); // an incomplete frame followed by silence
      continue;
    }
    if (fds[0].revents & POLLIN) {
      std::uint8_t chunk[512];
      const ssize_t got = ::read(d.master, chunk, sizeof chunk);
      if (got > 0) buffer.insert(buffer.end(), chunk, chunk + got);
    } else if (fds[0].revents & (POLLHUP | POLLERR)) {
      pause(10); // no terminal on the other side yet
      continue;
    }
    // Take every complete frame off the front; a frame whose CRC is wrong, or
    // whose function is unknown, loses its first byte and framing resumes.
    while (buffer.size() >= 2 && !stopping) {
      const int length = RequestFrameLength(buffer.data(), buffer.size());
      if (length < 0) {
        buffer.erase(buffer.begin());
        continue;
      }
      if (length == 0 || buffer.size() < static_cast<std::size_t>(length)) break;
      const std::uint16_t crc = SlaveCrc(buffer.data(), static_cast<std::size_t>(length - 2));
      if (buffer[static_cast<std::size_t>(length - 2)] == (crc & 0xFF) &&
          buffer[static_cast<std::size_t>(length - 1)] == (crc >> 8)) {
        const std::vector<std::uint8_t> frame(buffer.begin(), buffer.begin() + length);
        buffer.erase(buffer.begin(), buffer.begin() + length);
        handle(frame.data(), length);
        if (d.config.closeAfterRequests > 0 && d.sequence == static_cast<std::uint64_t>(d.config.closeAfterRequests)) {
          unplug();
          break;
        }
      } else {
        buffer.erase(buffer.begin());
      }
    }
  }
  // Leave the stop pipe empty for a later Run().
  char drain[16];
  while (::read(stopRead_, drain, sizeof drain) > 0) {
  }
}

} // namespace trelvan::sim
