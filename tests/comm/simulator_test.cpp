#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <utility>

#include "comm/measurement_decoding.h"
#include "sim/instrument_model.h"
#include "sim/sim_config.h"
#include "sim/simulator.h"
#include "support/modbus_frames.h"
#include "support/temp_folder.h"

namespace trelvan::sim {
namespace {

TEST(SimOptions, CollectsFaultsPerStationAndRefusesWhatItCannotRead) {
  // The poller's and stress tests' runs use the other fault options.
  const auto o = ParseSimArguments({"--bad-crc", "2,4", "--exception", "5", "--extra", "1", "--short", "4", "--trickle", "7"}, nullptr);
  ASSERT_TRUE(o);
  EXPECT_EQ(o->config.faults, (std::map<int, StationFaults>{{1, {.extraBytes = 4}},
                                                            {2, {.badCrc = true}},
                                                            {4, {.badCrc = true, .shortReply = true}},
                                                            {5, {.exceptionCode = 4}},
                                                            {7, {.trickle = true}}}));

  for (const auto& args : std::vector<std::vector<std::string>>{
           {"--silent"}, {"--silent", "0"}, {"--silent", "248"}, {"--silent", "3:5"}, {"--delay", "3"},
           {"--exception", "3:0"}, {"--loud", "3"}, {"stray"}, {"--bad-crc", "x"},
           {"--random-faults", "x"}, {"--random-faults", "1:101"}, {"--random-faults", "1:60:50"},
           {"--random-faults", "1:5:-1"}, {"--random-faults", "1:5:1:1"}, {"--close-after", "0"},
           {"--reopen-after", "-5"}, {"--reply-ms", "50"}}) {
    std::string error;
    EXPECT_FALSE(ParseSimArguments(args, &error)) << args.front();
    EXPECT_FALSE(error.empty());
  }
}

TEST(SimScenario, ReadsInstrumentsByNumberLabelOrFamilyOrFromTheChannelTable) {
  std::string error;
  const auto instruments = ParseScenario(
      "# station simulator\n"
      "3 ext Durchfluss   # the flow meter's extension block\n"
      "\n"
      "5 Master 458 0x0042 0 0 845 215 0 0 0\r\n"
      "6 40 dual-resistivity\n",
      &error);
  ASSERT_TRUE(instruments) << error;
  EXPECT_EQ(*instruments, (std::vector<SimInstrument>{
                              {3, 20, 5, RequestMember::Flow, {}},
                              {5, 0, 14, RequestMember::MultiUnit, {{0x42, 0, 0, 845, 215, 0, 0, 0}}},
                              {6, 40, 13, RequestMember::DualResistivity, {}}}));

  for (const char* bad : {"0 master pH\n", "3 middle pH\n", "3 master Kaffee\n", "3 master pH 1 2 3\n",
                          "3 master pH 0 0 0 70000 0 0 0 0\n"}) {
    EXPECT_FALSE(ParseScenario(std::string("\n") + bad, &error)) << bad;
    EXPECT_NE(error.find("Zeile 2"), std::string::npos) << error;
  }

  // Without a scenario: each channel of config.txt at its address and block.
  ChannelTable table;
  table[0] = {1, 2, "3", "", true, false};
  table[1] = {0, 5, "12 Zulauf", "", false, true};  // not enabled, still on the line
  table[2] = {1, -1, "4", "", true, false};         // no type
  table[3] = {1, 1, "", "", true, false};           // no address
  EXPECT_EQ(InstrumentsFromChannelTable(table),
            (std::vector<SimInstrument>{{3, 0, 2, RequestMember::Ph, {}}, {12, 20, 5, RequestMember::Flow, {}}}));
}

SharedResults DecodeAt(const SimInstrument& instrument, double t) {
  SharedResults results;
  DecodeMeasurement(instrument.member, testing::ReadReply(1, RegistersAt(instrument, t, 60)), results);
  return results;
}

// The simulated readings stay in a plausible range, move, and the flow
// counters never run backwards.
TEST(SimInstruments, ReadingsArePlausibleMoveAndFlowCountersNeverRunBackwards) {
  for (int typeIndex = 0; typeIndex < kMeasurementTypeCount; ++typeIndex) {
    const SimInstrument instrument{3, 0, typeIndex, MeasurementTypeAt(typeIndex)->requestMember, {}};
    bool moved = false;
    for (double t = 0; t < 60; t += 1) {
      const SharedResults a = DecodeAt(instrument, t);
      moved = moved || !(a == DecodeAt(instrument, t + 1));
      const bool dual = instrument.member == RequestMember::DualResistivity; // it sends no temperature
      EXPECT_TRUE(dual || (a.Temperature > 15 && a.Temperature < 30)) << a.Temperature;
      EXPECT_TRUE(instrument.member != RequestMember::Ph || (a.PhValue > 6.5 && a.PhValue < 7.5)) << a.PhValue;
    }
    EXPECT_TRUE(moved) << "type " << typeIndex;
    if (instrument.member != RequestMember::Flow) continue;
    double last1 = 0, last2 = 0;
    for (double t = 0; t < 600; t += 7) {
      const SharedResults r = DecodeAt(instrument, t);
      ASSERT_TRUE(r.FlowVolume1.valid && r.FlowVolume2.valid) << t;
      EXPECT_GE(r.FlowVolume1.value, std::exchange(last1, r.FlowVolume1.value));
      EXPECT_GE(r.FlowVolume2.value, std::exchange(last2, r.FlowVolume2.value));
    }
    EXPECT_GT(last2, 4567890) << "the counters run";
  }
}

// --link PATH replaces its own link only: a file, a folder or another link
// under that name stays as it is, and the simulator does not start.
TEST(SimLink, OnlyALinkToAPseudoTerminalIsReplaced) {
  namespace fs = std::filesystem;
  testing::TempFolder dir;
  const fs::path link = dir / "tty";
  const struct {
    const char* name;
    void (*plant)(const fs::path&);
    bool replaced;
  } cases[] = {
      {"regular file", [](const auto& p) { std::ofstream(p) << "keep me"; }, false},
      {"folder", [](const auto& p) { fs::create_directory(p); }, false},
      {"link elsewhere", [](const auto& p) { fs::create_symlink("/etc/hostname", p); }, false},
      {"left behind by a killed run", [](const auto& p) { fs::create_symlink("/dev/pts/999", p); }, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(link);
    c.plant(link);
    const auto before = fs::symlink_status(link).type();
    std::string error;
    bool opened = false;
    {
      SimConfig config;
      config.linkPath = link.string();
      Simulator simulator(config);
      opened = simulator.Open(&error);
      if (opened) {
        EXPECT_EQ(fs::read_symlink(link), simulator.DevicePath());
      } else if (c.replaced && error.find("Pseudo-Terminal") != std::string::npos) {
        GTEST_SKIP() << error;
      }
    }
    EXPECT_EQ(opened, c.replaced) << error;
    if (c.replaced) {
      EXPECT_FALSE(fs::exists(fs::symlink_status(link))) << "removed on exit";
      continue;
    }
    EXPECT_NE(error.find(link.string()), std::string::npos) << error;
    EXPECT_EQ(fs::symlink_status(link).type(), before);
    EXPECT_TRUE(before != fs::file_type::regular || dir.read("tty") == "keep me");
  }
}

} // namespace
} // namespace trelvan::sim
