#include <gtest/gtest.h>

#include <map>
#include <vector>

#include "live/poll_cycle.h"

namespace trelvan {
namespace {

struct Sent {
  RequestMember member;
  int address;
  int base;
};

const RequestResult kOk = RequestResult::Success();
const RequestResult kFailed = RequestResult::Failed(FailureKind::TimedOut, "Station antwortet nicht");

// A station whose instruments answer from a script: one result per request,
// success when none is scripted.
class PollCycleTest : public ::testing::Test {
 protected:
  PollCycleTest()
      : cycle(station,
              [this](RequestMember m, int address, int base) {
                sent.push_back({m, address, base});
                if (onRequest) onRequest();
                if (answers.empty()) return kOk;
                const RequestResult a = answers.front();
                answers.erase(answers.begin());
                return a;
              },
              [this](int channel, const std::string& text, bool) { labels[channel] = text; }) {}

  void Enable(int i, int type, std::string address, bool master = true) {
    station.channelTable[i].enabled = 1;
    station.channelTable[i].typeIndex = static_cast<std::int16_t>(type);
    station.channelTable[i].stationAddress = std::move(address);
    station.channelTable[i].isMaster = master;
    station.channelTable[i].isExt = !master;
  }

  Station station;
  std::vector<Sent> sent;
  std::vector<RequestResult> answers;
  std::function<void()> onRequest;
  std::map<int, std::string> labels;
  PollCycle cycle;
};

TEST_F(PollCycleTest, NoChannelEnabledOnlySetsAndClearsBusy) {
  station.channelTable[0].enabled = 2; // only 1 counts as enabled
  station.channelTable[0].typeIndex = 2;
  bool busyDuringPass = false;
  onRequest = [&] { busyDuringPass = true; };
  cycle.RunPass();
  EXPECT_TRUE(sent.empty());
  EXPECT_TRUE(labels.empty());
  EXPECT_FALSE(station.PollBusy);
  EXPECT_FALSE(busyDuringPass);
}

TEST_F(PollCycleTest, ChannelWithoutTypeIsSkippedAndTheNextPolled) {
  Enable(2, -1, "4");
  Enable(3, 3, "5");
  cycle.RunPass();
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].member, RequestMember::Redox);
  EXPECT_EQ(sent[0].address, 5);
  EXPECT_EQ(labels.count(2), 0u);
}

TEST_F(PollCycleTest, ExtChannelsUseRegisterBase20AndMembersFollowTheType) {
  Enable(0, 0, "3", true);
  Enable(1, 9, "3", false); // NaOH on the Ext. block
  Enable(2, 13, "6.6abc");  // leading number of the address text, rounded
  cycle.RunPass();
  ASSERT_EQ(sent.size(), 3u);
  EXPECT_EQ(sent[0].member, RequestMember::Resistivity);
  EXPECT_EQ(sent[0].base, 0);
  EXPECT_EQ(sent[1].member, RequestMember::Conductivity);
  EXPECT_EQ(sent[1].base, 20);
  EXPECT_EQ(sent[2].member, RequestMember::DualResistivity);
  EXPECT_EQ(sent[2].address, 7);
}

TEST_F(PollCycleTest, FailureTextsShowAndStayUntilALaterPassSucceeds) {
  Enable(0, 3, "1"); // redox
  Enable(1, 2, "2"); // pH
  station.sharedResults.PhValue = 7;
  station.sharedResults.RedoxValue = 250;
  answers = {kFailed, kFailed, kFailed, kOk, kOk, RequestResult::Interrupted()};
  cycle.RunPass();
  EXPECT_EQ(labels[0], "Out of order");
  EXPECT_EQ(labels[1], "Außer Betrieb");
  cycle.RunPass();
  EXPECT_EQ(labels[0], "Out of order");
  EXPECT_EQ(labels[1], "7.00 pH     0.0  °C");
  cycle.RunPass();
  EXPECT_EQ(labels[0], "250 mV     0.0  °C");
  EXPECT_EQ(labels[1], "7.00 pH     0.0  °C") << "a request cut short leaves its label as it was";
}

TEST_F(PollCycleTest, AddressesThatAreNoStationAreNeverSent) {
  Enable(0, 2, "");    // would be station 0, the broadcast address
  Enable(1, 2, "abc");
  Enable(2, 2, "248");
  Enable(3, 2, "247");
  cycle.RunPass();
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].address, 247);
  EXPECT_EQ(labels[0], "Außer Betrieb");
  EXPECT_EQ(labels[1], "Außer Betrieb");
  EXPECT_EQ(labels[2], "Außer Betrieb");
}

TEST_F(PollCycleTest, StopDuringAChannelsWaitEndsThePassAfterThatChannel) {
  for (int i = 0; i < 4; ++i) Enable(i, 2, std::to_string(i + 1));
  int stops = 0;
  cycle.setStopAction([&] {
    ++stops;
    if (!station.PollBusy) station.StopRequested = false;
  });
  // The operator presses stop while channel 1 waits for its reply; a tick
  // that falls due meanwhile runs the stop action, which defers.
  onRequest = [&] {
    if (sent.size() == 2) {
      station.StopRequested = true;
      cycle.Tick();
    }
  };
  cycle.RunPass();
  EXPECT_EQ(sent.size(), 2u);
  EXPECT_EQ(labels.count(1), 1u); // channel 1's label is still written
  EXPECT_EQ(labels.count(2), 0u);
  EXPECT_FALSE(station.PollBusy);
  EXPECT_EQ(stops, 1);
  cycle.Tick(); // the next tick completes the stop
  EXPECT_EQ(stops, 2);
  EXPECT_EQ(sent.size(), 2u);
}

TEST_F(PollCycleTest, TickDuringARunningPassStartsNothing) {
  Enable(0, 2, "1");
  onRequest = [&] {
    if (sent.size() == 1) cycle.Tick();
  };
  cycle.Tick();
  EXPECT_EQ(sent.size(), 1u);
  EXPECT_EQ(cycle.passCount(), 1);
}

TEST_F(PollCycleTest, TheTableIsReadAfreshEveryPass) {
  Enable(0, 2, "1");
  cycle.RunPass();
  station.channelTable[0].enabled = 0; // switched off in the dialog while measuring
  Enable(1, 4, "9");
  cycle.RunPass();
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(sent[1].member, RequestMember::Oxygen);
}

} // namespace
} // namespace trelvan
