#include <gtest/gtest.h>

#include "core/serial_settings.h"
#include "support/temp_folder.h"

namespace trelvan {
namespace {

// Saving and reading back, and the pieces of the settings text, are read
// through the serial line dialog's tests.
TEST(SerialSettings, FileUsesPrintZones) {
  SerialSettings s;
  s.SetPort(3), s.SetSpeed(1), s.SetParity(2), s.SetStopBits(1);
  EXPECT_EQ(FormatSerialFile(s), " 4             1 \r\n 2 \r\n 1 \r\n");
}

// Commas, blanks and line breaks all separate numbers; a bad number is named
// and loading never rewrites the file.
TEST(SerialSettings, NumbersAreReadWhateverTheSeparatorsAndBadOnesAreNamed) {
  const struct {
    const char* bytes;
    const char* where; // nullptr: read as port 2 at 4800, even parity, one stop bit
  } cases[] = {
      {" 2 , 1 \r\n 1 \r\n 0 \r\n", nullptr}, {"2,1,1,0", nullptr}, {"2 1 1 0\r\n", nullptr}, {"2\n1\n\n1\n0", nullptr},
      {" 3             1 \r\n", "Parität: Datei endet zu früh"}, // short
      {" 3             7 \r\n 1 \r\n 1 \r\n", "Zeile 1, Geschwindigkeit"},
      {" 9 1 1 1", "Port"}, {" 1 1\r\n x \r\n 1", "Zeile 2, Parität"}, {" 70000 1 1 1", "Port"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.bytes);
    testing::TempFolder dir;
    dir.write("PortCom.dat", c.bytes);
    SerialSettings s;
    const auto status = LoadSerialSettings(s, dir.path());
    if (!c.where) {
      ASSERT_TRUE(status.ok()) << status.message;
      EXPECT_EQ(s.portNumber, 2);
      EXPECT_EQ(SettingsText(s), "4800,e,8, 1");
      continue;
    }
    EXPECT_EQ(status.kind, ConfigStatus::Kind::Invalid);
    EXPECT_NE(status.message.find("PortCom.dat"), std::string::npos);
    EXPECT_NE(status.message.find(c.where), std::string::npos) << status.message;
    EXPECT_EQ(dir.read("PortCom.dat"), c.bytes);
  }
  SerialSettings s, expected; // the port read, the bad speed's default (9600), and the rest still read
  ParseSerialFile(s, " 3 7 1 1");
  expected.SetPort(2), expected.SetParity(1), expected.SetStopBits(1);
  EXPECT_EQ(s, expected);
  EXPECT_EQ(s.speedText, "9600");
}

} // namespace
} // namespace trelvan
