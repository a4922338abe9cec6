#include <gtest/gtest.h>

#include <map>
#include <tuple>
#include <vector>

#include "live/poll_cycle.h"

namespace trelvan {
namespace {

using Sent = std::tuple<RequestMember, int, int>; // member, station, first register

const RequestResult kOk = RequestResult::Success();
const RequestResult kFailed = RequestResult::Failed(FailureKind::TimedOut, "Station antwortet nicht");

// A station whose instruments answer from a script: one result per request,
// success when none is scripted.
class PollCycleTest : public ::testing::Test {
 protected:
  PollCycleTest()
      : cycle(station,
              [this](RequestMember m, int address, int base) {
                sent.emplace_back(m, address, base);
                if (onRequest) onRequest();
                const RequestResult a = answers.empty() ? kOk : answers.front();
                if (!answers.empty()) answers.erase(answers.begin());
                return a;
              },
              [this](const Reading& r) { labels[r.channel] = r.text; }) {}

  void Enable(int i, int type, std::string address, bool master = true) {
    station.channelTable[i] = {1, static_cast<std::int16_t>(type), std::move(address), "", master, !master};
  }

  Station station;
  std::vector<Sent> sent;
  std::vector<RequestResult> answers;
  std::function<void()> onRequest;
  std::map<int, std::string> labels;
  PollCycle cycle;
};

// Which station an address text names is the address rule's own test; here
// only that a channel without a station is never sent (not even to the
// broadcast address 0) and shows its failure, that the Ext. block starts at
// register 20, and that the table is read again for each pass.
TEST_F(PollCycleTest, OnlyEnabledChannelsWithATypeAndAStationAreAskedAtTheirBlock) {
  Enable(0, 2, "1");
  station.channelTable[0].enabled = 2; // only 1 counts as enabled
  Enable(1, -1, "4");
  Enable(2, 2, "");
  Enable(3, 3, "5");
  cycle.RunPass();
  EXPECT_EQ(sent, (std::vector<Sent>{{RequestMember::Redox, 5, 0}}));
  EXPECT_TRUE(!labels.count(0) && !labels.count(1) && labels[2] == "Außer Betrieb") << labels[2]; // none for 0 and 1
  EXPECT_FALSE(station.PollBusy);

  sent.clear(); // changed in the dialog while measuring
  Enable(0, 0, "3");
  Enable(1, 9, "3", false); // NaOH on the Ext. block
  Enable(2, 13, "6.6abc");  // leading number of the address text, rounded
  station.channelTable[3].enabled = 0;
  cycle.RunPass();
  EXPECT_EQ(sent, (std::vector<Sent>{{RequestMember::Resistivity, 3, 0},
                                     {RequestMember::Conductivity, 3, 20},
                                     {RequestMember::DualResistivity, 7, 0}}));
}

// A tick while a pass runs starts nothing: each request ticks here.
TEST_F(PollCycleTest, FailureTextsShowAndStayUntilALaterPassSucceedsAndATickDuringAPassStartsNothing) {
  Enable(0, 3, "1"); // redox
  Enable(1, 2, "2"); // pH
  station.sharedResults.PhValue = 7;
  station.sharedResults.RedoxValue = 250;
  answers = {kFailed, kFailed, kFailed, kOk, kOk, RequestResult::Interrupted()};
  onRequest = [&] { cycle.Tick(); };
  using Labels = std::map<int, std::string>;
  cycle.Tick();
  EXPECT_EQ(labels, (Labels{{0, "Out of order"}, {1, "Außer Betrieb"}}));
  cycle.Tick();
  EXPECT_EQ(labels, (Labels{{0, "Out of order"}, {1, "7.00 pH     0.0  °C"}}));
  cycle.Tick();
  EXPECT_EQ(labels, (Labels{{0, "250 mV     0.0  °C"}, {1, "7.00 pH     0.0  °C"}}))
      << "a request cut short leaves its label as it was";
  EXPECT_EQ(std::pair(sent.size(), cycle.passCount()), std::pair(std::size_t{6}, 3));
}

} // namespace
} // namespace trelvan
