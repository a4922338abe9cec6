#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QTimer>
#include <ctime>
#include <fcntl.h>
#include <unistd.h>
#include <thread>

#include "comm/qt_serial_line.h"
#include "comm/serial_line.h"
#include "support/event_loop.h"
#include "support/fake_serial_line.h"
#include "comm/settings_text.h"
#include "support/modbus_frames.h"

namespace trelvan {
namespace {

using testing::ReadReply;

// The texts the dialog builds; the rest is refused, and a port whose
// settings cannot be applied is not opened.
TEST(SettingsText, ReadsTheTextsTheDialogBuildsAndRefusesTheRest) {
  // No, even parity and the blank before the stop bits: the poller's and the dialog's openings.
  EXPECT_EQ(ParseSettingsText("4800,o,8,1"), (LineSettings{4800, Parity::Odd, 8, 1}));
  for (const char* text : {"", "9600,n,8", "9600,n,8, 1,x", "9601,n,8, 1", "9600,x,8, 1",
                           "9600,,8, 1", "9600,n,9, 1", "9600,n,8, 3", "9600,n,8,", "96OO,n,8, 1"}) {
    std::string why;
    EXPECT_FALSE(ParseSettingsText(text, &why)) << text;
    EXPECT_FALSE(why.empty()) << text;
  }

  FakeSerialLine line;
  SerialSettings settings;
  settings.portNumber = 3;
  settings.SetParity(3); // an index no choice reaches: empty parity letter
  const PortResult refused = OpenPort(line, settings);
  EXPECT_FALSE(refused.ok);
  EXPECT_TRUE(refused.message.startsWith("Com3 (")) << refused.message.toStdString();
  EXPECT_FALSE(line.IsOpen());
}

// A fake line, open, and a clock for one exchange.
class ReplyWait : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(line.Open(nullptr)); }

  Reply Exchange(const WaitTimes& times) {
    line.Write(Bytes{0x03, 0x03, 0x00, 0x00, 0x00, 0x08, 0x45, 0xEE});
    clock.start();
    Reply r = AwaitReply(line, 21, times);
    elapsedMs = clock.elapsed();
    return r;
  }

  FakeSerialLine line;
  QElapsedTimer clock;
  qint64 elapsedMs = 0;
  const Bytes reply = ReadReply(3, {0x0002, 0, 0, 700, 250, 0, 0, 0});
};

// Only an exchange's own deadline ends its wait: not the timer of an earlier
// exchange, not a drain that never ends; a last byte seen after it fails.
TEST_F(ReplyWait, OnlyTheExchangesOwnDeadlineEndsTheWait) {
  line.AnswerNextWrite(reply, 5);
  ASSERT_EQ(Exchange({100, 100}).outcome, ReplyOutcome::Complete);
  // This reply comes after the first exchange's reply time-out would have run out.
  line.AnswerNextWrite(reply, 200);
  EXPECT_EQ(Exchange({400, 400}).outcome, ReplyOutcome::Complete);
  EXPECT_GE(elapsedMs, 190);

  // The bytes arrive in a turn of the event loop that starts before the
  // deadline and ends after it, ahead of the timer's own event.
  QTimer::singleShot(20, Qt::PreciseTimer, &line, [this] {
    std::this_thread::sleep_for(std::chrono::milliseconds(120));
    line.Receive(reply);
  });
  EXPECT_EQ(Exchange({500, 60}).outcome, ReplyOutcome::TimedOut);
  EXPECT_EQ(line.PendingInput(), 21);
  line.FlushInput();

  // Output that does not drain is dropped and the reply still awaited.
  line.SetOutputDrains(false);
  line.AnswerNextWrite(reply, 30);
  EXPECT_EQ(Exchange({120, 300}).outcome, ReplyOutcome::Complete);
  EXPECT_GE(elapsedMs, 120) << "the drain wait runs out first";
  EXPECT_EQ(line.PendingOutput(), 0);
}

// Nobody reads the line between passes; a device that floods it meanwhile
// must not fill the memory. The newest bytes are kept.
TEST(QtSerialLine, KeepsOnlyTheNewestBytesOfAFlood) {
  const int device = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
  if (device < 0 || ::grantpt(device) != 0 || ::unlockpt(device) != 0) GTEST_SKIP() << "no pseudo-terminal";
  QtSerialLine line;
  line.SelectDevice(QString::fromLocal8Bit(::ptsname(device)));
  QString error;
  ASSERT_TRUE(line.Configure(LineSettings{}, &error) && line.Open(&error)) << error.toStdString();

  qint64 most = 0;
  std::uint8_t last = 0;
  for (int n = 0; n < 256 * 1024;) {
    std::uint8_t chunk[4096];
    for (std::uint8_t& b : chunk) b = last = static_cast<std::uint8_t>(n++ * 7);
    for (std::size_t sent = 0; sent < sizeof chunk;) {
      const ssize_t w = ::write(device, chunk + sent, sizeof chunk - sent);
      if (w > 0) sent += static_cast<std::size_t>(w);
      testing::WaitFor([&] { most = std::max(most, line.PendingInput()); return false; }, 1);
    }
  }
  testing::WaitFor([] { return false; }, 50); // the rest arrives
  EXPECT_LE(most, QtSerialLine::kMaxBufferedInput);
  const Bytes kept = line.ReadAll();
  ASSERT_FALSE(kept.empty());
  EXPECT_EQ(kept.back(), last);
  line.Close();
  ::close(device);
}

// The one test that waits the station's real 2000 ms.
TEST_F(ReplyWait, SilentInstrumentFailsAfterTwoSecondsWithoutSpinningAndEventsKeepRunning) {
  int ticks = 0;
  QTimer windowTimer;
  QObject::connect(&windowTimer, &QTimer::timeout, [&] { ++ticks; });
  windowTimer.start(100);

  timespec cpu[2]{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &cpu[0]);
  const Reply r = Exchange({});
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &cpu[1]);

  EXPECT_EQ(r.outcome, ReplyOutcome::TimedOut);
  EXPECT_GE(elapsedMs, 2000);
  EXPECT_LT(elapsedMs, 2600);
  EXPECT_GE(ticks, 15) << "other timers keep firing during the wait";
  EXPECT_LT((cpu[1].tv_sec - cpu[0].tv_sec) * 1'000'000'000 + cpu[1].tv_nsec - cpu[0].tv_nsec, 50'000'000)
      << "the wait sleeps; it does not poll: under 0.05 s of CPU";
}

} // namespace
} // namespace trelvan
