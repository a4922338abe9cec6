#pragma once
// The process-wide state of the station application, created once in main()
// and handed to every window and tool that uses it. Nothing here is copied:
// the windows edit these very values.

#include <filesystem>
#include <string>

#include "comm/frame_log.h"
#include "core/channel_table.h"
#include "core/serial_settings.h"
#include "core/shared_results.h"
#include "core/version.h"
#include "live/channel_counters.h"

namespace trelvan {

class SerialPort;

struct Station {
  ChannelTable channelTable;     // edited in place by the configuration dialog
  SerialSettings serialSettings; // edited in place by the serial line dialog
  SharedResults sharedResults;   // written by the requests, read by the poll cycle
  bool PollBusy = false;         // a poll pass is running
  bool StopRequested = false;    // the operator asked the measurement to stop
  std::string AppTitle;          // "TRELVAN  " + VersionText, set at start
  std::filesystem::path folder;  // where "config.txt" and "PortCom.dat" live
  std::string decimalSeparator = "."; // of live values, from the user's locale
  SerialPort* port = nullptr;    // the one serial line (owned by main())
  // What the running measurement has seen: counters per channel, and every
  // frame on the line in a bounded ring (the Diagnose window shows both).
  ChannelDiagnostics diagnostics;
  FrameLog frames;
};

} // namespace trelvan
