// "PortCom.dat" as read from the disk: any bytes. The settings always end up
// as choices that exist with their text pieces set, the message stays short,
// and a file that loads without a complaint saves to bytes that load back to
// the same settings.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "core/serial_settings.h"
#include "fuzz_check.h"

using namespace trelvan;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  SerialSettings settings;
  settings.SetSpeed(7); // whatever was there before must not survive a load
  const ConfigStatus status = ParseSerialFile(settings, bytes);

  FUZZ_CHECK(settings.portNumber >= 1 && settings.portNumber <= 4, "port in range");
  FUZZ_CHECK(settings.speedIndex >= 0 && settings.speedIndex <= 2, "speed in range");
  FUZZ_CHECK(settings.parityIndex >= 0 && settings.parityIndex <= 2, "parity in range");
  FUZZ_CHECK(settings.stopBitsIndex >= 0 && settings.stopBitsIndex <= 1, "stop bits in range");
  FUZZ_CHECK(!settings.speedText.empty() && !settings.parityLetter.empty() &&
                 !settings.stopBitsText.empty(),
             "every settings piece is set");

  if (!status.ok()) {
    FUZZ_CHECK(status.kind == ConfigStatus::Kind::Invalid, "a bad file is Invalid");
    FUZZ_CHECK(status.message.find("PortCom.dat") != std::string::npos, "message names the file");
    FUZZ_CHECK(status.message.size() < 300, "message quotes no more than an excerpt");
    return 0;
  }
  const std::string saved = FormatSerialFile(settings);
  SerialSettings reloaded;
  FUZZ_CHECK(ParseSerialFile(reloaded, saved).ok(), "saved bytes load cleanly");
  FUZZ_CHECK(reloaded == settings, "saved settings load back unchanged");
  return 0;
}
