// "config.txt" as read from the disk: any bytes. Every field ends in range,
// the message stays short whatever the file holds, and a file that loads
// without a complaint saves to bytes that load back to the same table and save
// to the same bytes again.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "core/catalogue.h"
#include "core/channel_table.h"
#include "fuzz_check.h"

using namespace trelvan;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  ChannelTable table;
  const ConfigStatus status = ParseChannelFile(table, bytes);

  for (const ChannelConfig& c : table.channels) {
    FUZZ_CHECK(c.enabled >= 0 && c.enabled <= 2, "check state in range");
    FUZZ_CHECK(c.typeIndex >= -1 && c.typeIndex < kMeasurementTypeCount, "type index in range");
    FUZZ_CHECK(!(c.isMaster && c.isExt), "Master and Ext. exclude each other");
  }
  if (!status.ok()) {
    FUZZ_CHECK(status.kind == ConfigStatus::Kind::Invalid, "a bad file is Invalid");
    FUZZ_CHECK(status.message.find("config.txt") != std::string::npos, "message names the file");
    FUZZ_CHECK(status.message.size() < 600, "message quotes no more than an excerpt");
    return 0;
  }

  const ChannelFileBytes saved = FormatChannelFile(table);
  if (!saved.status.ok()) {
    // Refusing is right only for a text the file cannot hold (a quoted field
    // may carry a line break, which loads but does not save).
    bool refusable = false;
    for (const ChannelConfig& c : table.channels)
      refusable = refusable || !QuotedFieldProblem(c.stationAddress).empty() ||
                  !QuotedFieldProblem(c.marker).empty();
    FUZZ_CHECK(refusable, "save refused a table whose texts are all storable");
    return 0;
  }
  ChannelTable reloaded;
  const ConfigStatus again = ParseChannelFile(reloaded, saved.bytes);
  FUZZ_CHECK(again.ok(), "saved bytes load cleanly");
  FUZZ_CHECK(reloaded.channels == table.channels, "saved table loads back unchanged");
  FUZZ_CHECK(FormatChannelFile(reloaded).bytes == saved.bytes, "saving is stable");
  return 0;
}
