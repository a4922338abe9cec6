#include <gtest/gtest.h>

#include "core/serial_settings.h"
#include "support/temp_folder.h"

namespace trelvan {
namespace {

using testing::TempFolder;

// Saving and reading back, and the pieces of the settings text, are read
// through the serial line dialog's tests.
TEST(SerialSettings, FileUsesPrintZones) {
  SerialSettings s;
  s.SetPort(3);
  s.SetSpeed(1);
  s.SetParity(2);
  s.SetStopBits(1);
  EXPECT_EQ(FormatSerialFile(s), " 4             1 \r\n 2 \r\n 1 \r\n");
}

TEST(SerialSettings, CommasBlanksAndLinesAllSeparateNumbers) {
  for (const char* bytes : {" 2 , 1 \r\n 1 \r\n 0 \r\n", "2,1,1,0", "2 1 1 0\r\n", "2\n1\n\n1\n0"}) {
    SerialSettings s;
    const auto status = ParseSerialFile(s, bytes);
    ASSERT_TRUE(status.ok()) << bytes << ": " << status.message;
    EXPECT_EQ(s.portNumber, 2) << bytes;
    EXPECT_EQ(SettingsText(s), "4800,e,8, 1") << bytes;
  }
}

TEST(SerialSettings, BadNumbersAreNamedAndTakeTheirDefaults) {
  struct Case {
    const char* bytes;
    const char* where;
  };
  const Case cases[] = {
      {" 3             1 \r\n", "Parität: Datei endet zu früh"}, // short
      {" 3             7 \r\n 1 \r\n 1 \r\n", "Zeile 1, Geschwindigkeit"},
      {" 9 1 1 1", "Port"},
      {" 1 1\r\n x \r\n 1", "Zeile 2, Parität"},
      {" 70000 1 1 1", "Port"},
  };
  for (const auto& c : cases) {
    TempFolder dir;
    dir.write("PortCom.dat", c.bytes);
    SerialSettings s;
    const auto status = LoadSerialSettings(s, dir.path());
    EXPECT_EQ(status.kind, ConfigStatus::Kind::Invalid) << c.bytes;
    EXPECT_NE(status.message.find("PortCom.dat"), std::string::npos);
    EXPECT_NE(status.message.find(c.where), std::string::npos) << status.message;
    EXPECT_EQ(dir.read("PortCom.dat"), c.bytes); // loading never rewrites
  }
  SerialSettings s;
  ParseSerialFile(s, " 3 7 1 1");
  EXPECT_EQ(s.portNumber, 3);   // read
  EXPECT_EQ(s.speedIndex, 0);   // default for the bad one
  EXPECT_EQ(s.speedText, "9600");
  EXPECT_EQ(s.parityIndex, 1);  // and the rest still read
}

} // namespace
} // namespace trelvan
