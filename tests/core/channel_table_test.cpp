#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "core/catalogue.h"
#include "core/channel_table.h"
#include "support/temp_folder.h"

namespace trelvan {
namespace {

using testing::TempFolder;

ChannelTable SampleTable() {
  ChannelTable t;
  t[0] = {1, 2, "3", "Becken 1", true, false};
  t[1] = {0, 5, " 4, ", "Zulauf, Süd ", false, true}; // disabled: keeps everything
  t[2] = {1, -1, "", "", false, false};                 // neither flag: not Master
  t[3] = {2, 15, "14", "€ Ende", true, false};
  return t;
}

TEST(ChannelFile, WritesTheStationsLayoutInWindows1252AndReadsEveryFieldBack) {
  TempFolder dir;
  ASSERT_TRUE(SaveChannelTable(SampleTable(), dir.path()).ok());
  EXPECT_EQ(dir.read("config.txt"),
            "1,2\r\n\"3\",\"Becken 1\"\r\n"
            "0,5\r\n\" 4, \",\"Zulauf, S\xFC" "d \"\r\n"
            "1,-1\r\n\"\",\"\"\r\n"
            "2,15\r\n\"14\",\"\x80 Ende\"\r\n"
            "#TRUE#,#FALSE#,#FALSE#,#TRUE#\r\n"
            "#FALSE#,#TRUE#,#FALSE#,#FALSE#\r\n");
  ChannelTable loaded;
  ASSERT_TRUE(LoadChannelTable(loaded, dir.path()).ok());
  EXPECT_EQ(loaded.channels, SampleTable().channels);
}

// Line breaks and blanks carry no meaning; the first flag line is Master, the
// second Ext., and true on both reads as Ext.
TEST(ChannelFile, FieldsAreReadInOrderWhateverTheLineStructure) {
  ChannelTable t;
  auto status = ParseChannelFile(t,
      "1 , 2 ,\"3\",\"a,b\"\n0,-1\n\"\",\"\"\r\n\r\n0,-1,\"\",\"\",0,-1,\"\",\"\"\r\n"
      "#TRUE#,#TRUE#,#TRUE#,#TRUE#,#FALSE#,#FALSE#,#FALSE#,#FALSE#");
  ASSERT_TRUE(status.ok()) << status.message;
  EXPECT_EQ(t[0].typeIndex, 2);
  EXPECT_EQ(t[0].marker, "a,b");
  EXPECT_EQ(t[3].typeIndex, -1);

  status = ParseChannelFile(t,
      "1,0\r\n\"1\",\"\"\r\n1,0\r\n\"2\",\"\"\r\n1,0\r\n\"3\",\"\"\r\n1,0\r\n\"4\",\"\"\r\n"
      "#TRUE#,#FALSE#,#TRUE#,#FALSE#\r\n"
      "#TRUE#,#FALSE#,#FALSE#,#TRUE#\r\n");
  ASSERT_TRUE(status.ok()) << status.message;
  for (int i = -1; i <= kChannelCount; ++i) // Master only on 2; Ext. on 0 and 3
    EXPECT_EQ(std::pair(IsMasterChannel(t, i), i >= 0 && i < kChannelCount && t[i].isExt),
              std::pair(i == 2, i == 0 || i == 3)) << i;
}

// Fields are read in order, so a missing line shifts every later field into
// the wrong place; only a field of the wrong kind shows it. From there on
// nothing is used: no channel is polled with another channel's type or station.
// Loading never rewrites the file.
TEST(ChannelFile, AFieldMissingOrOfTheWrongKindSwitchesOffItsChannelAndAllAfter) {
  const struct {
    int line;                  // 1..10
    std::string replacement;   // "-" deletes the line, "END" ends the file before it
    int firstUnread;           // channel
    const char* where;
  } cases[] = {
      {2, "-", 0, "Zeile 2, Adresse von Kanal 0"},      // address reads the next number
      {3, "-", 1, "Zeile 3, Auswahl von Kanal 1"},      // check state reads a text
      {3, "END", 1, "Zeile 3"},
      {6, "\"\"," + std::string(60000, 'x'), 2, "Merkzeichen von Kanal 2"}, // huge bad field
      {8, "\"14\"", 3, "Zeile 9, Merkzeichen von Kanal 3"}, // marker reads a flag
      {8, "\"14\",\"open", 3, "Merkzeichen von Kanal 3"},
      {10, "#FALSE#,#TRUE#,#FALSE#,-1", 3, "Zeile 10, Ext. von Kanal 3"},
  };
  const ChannelTable sample = SampleTable();
  std::vector<std::string> lines;
  const std::string bytes = FormatChannelFile(sample).bytes;
  for (std::size_t at = 0, end; (end = bytes.find("\r\n", at)) != std::string::npos; at = end + 2)
    lines.push_back(bytes.substr(at, end - at));
  ASSERT_EQ(lines.size(), 10u);

  for (const auto& c : cases) {
    std::string file;
    for (int n = 1; n <= 10 && !(n == c.line && c.replacement == "END"); ++n)
      if (n != c.line || c.replacement != "-")
        file += (n == c.line ? c.replacement : lines[static_cast<std::size_t>(n - 1)]) + "\r\n";
    TempFolder dir;
    dir.write("config.txt", file);
    ChannelTable t = sample;
    const auto status = LoadChannelTable(t, dir.path());
    SCOPED_TRACE(c.where);
    EXPECT_EQ(status.kind, ConfigStatus::Kind::Invalid);
    auto says = [&](const std::string& part) { return status.message.find(part) != std::string::npos; };
    EXPECT_TRUE(says("config.txt") && says(c.where) && says("Kanal " + std::to_string(c.firstUnread) + " ")) << status.message;
    EXPECT_LT(status.message.size(), 300u); // an excerpt of the bad field, not the field
    auto read = [](const ChannelConfig& ch) { return std::tie(ch.enabled, ch.typeIndex, ch.stationAddress, ch.marker); };
    for (int i = 0; i < c.firstUnread; ++i) EXPECT_EQ(read(t[i]), read(sample[i])) << i;
    for (int i = c.firstUnread; i < kChannelCount; ++i) EXPECT_EQ(t[i], ChannelConfig{}) << i;
    EXPECT_EQ(dir.read("config.txt"), file);
  }
}

// A number its field cannot take is refused, not wrapped (70000 would be 4464);
// the fields after it are read.
TEST(ChannelFile, ANumberItsFieldCannotTakeIsRefusedAndTheFieldsAfterItAreRead) {
  const struct {
    const char* first;
    const char* where;
    std::int16_t enabled, typeIndex;
  } cases[] = {{"70000,2", "Auswahl von Kanal 0", 0, 2}, {"1,99", "Messung Typ von Kanal 0", 1, -1}};
  const ChannelTable sample = SampleTable();
  const std::string rest = FormatChannelFile(sample).bytes.substr(3); // after "1,2"
  for (const auto& c : cases) {
    SCOPED_TRACE(c.first);
    ChannelTable t;
    const auto status = ParseChannelFile(t, c.first + rest);
    EXPECT_EQ(status.kind, ConfigStatus::Kind::Invalid);
    EXPECT_NE(status.message.find(c.where), std::string::npos) << status.message;
    EXPECT_EQ(std::tie(t[0].enabled, t[0].typeIndex, t[0].stationAddress, t[0].marker),
              std::tie(c.enabled, c.typeIndex, sample[0].stationAddress, sample[0].marker));
    for (int i = 1; i < kChannelCount; ++i) EXPECT_EQ(t[i], sample[i]) << i;
  }
}

TEST(ChannelFile, TextsTheFormatCannotHoldAreRefusedAndTheOldFileStays) {
  for (const char* bad : {"a\"b", "two\r\nlines", "Ω"}) {
    TempFolder dir;
    dir.write("config.txt", "old");
    ChannelTable t;
    t[1].marker = bad;
    const auto status = SaveChannelTable(t, dir.path());
    EXPECT_FALSE(status.ok()) << bad;
    EXPECT_NE(status.message.find("Kanal 1"), std::string::npos) << status.message;
    EXPECT_EQ(dir.read("config.txt"), "old");
  }
}

// A flow channel's caption names its volume lines, enabled or not, even without a marker.
TEST(ChannelCaptions, FlowChannelsNameTheirVolumeLines) {
  ChannelTable t;
  t[0] = {1, kFlowTypeIndex, "", "Zulauf", true, false};
  t[1] = {1, 2, "", "Becken", true, false};
  t[2] = {0, kFlowTypeIndex, "", "", true, false};
  BuildChannelCaptions(t);
  const std::string volumes = "\r\nTages Volumen\r\nGesamtvolumen";
  EXPECT_EQ(t.ChannelCaption, (std::array<std::string, kChannelCount>{"Zulauf" + volumes, "Becken", volumes, ""}));
}

} // namespace
} // namespace trelvan
