#pragma once
// How an operation on logger or export files ended: a kind the caller acts on
// and the German text the operator reads, both set where the failure is
// known. The system's own words for it (strerror) ride along for the debug
// log; the operator never sees them.

#include <cstring>
#include <string>

namespace trelvan {

enum class LoggerResultKind {
  Ok,
  Cancelled,            // an existing output file was to be kept: nothing written
  Interrupted,          // a stop request (window closed, program ended, SIGINT/SIGTERM)
  BadSeparator,         // the decimal separator cannot be written into the files
  LoggerFileUnreadable, // missing, a folder, no permission, a read error
  NotALoggerFile,       // shorter than the header
  OutputFolderUnusable, // missing, not a folder, not readable
  OutputNotAFile,       // a link, folder or device stands at an output name
  OutputIsLoggerFile,   // the output would overwrite the logger file itself
  OutputFolderBusy,     // another export writes into the same folder
  OutputChanged,        // an output file appeared or changed since the plan
  WriteFailed,          // creating, writing or completing an output file
  ResetFailed,          // emptying or creating a logger file
};

struct LoggerResult {
  LoggerResultKind kind = LoggerResultKind::Ok;
  std::string text;       // German, for the operator
  std::string systemText; // the system's text of the error, for the debug log

  bool ok() const { return kind == LoggerResultKind::Ok; }
};

// A failure; `errorNumber`, when not 0, fills systemText.
inline LoggerResult LoggerFailure(LoggerResultKind kind, std::string text, int errorNumber = 0) {
  return {kind, std::move(text), errorNumber != 0 ? std::strerror(errorNumber) : ""};
}

} // namespace trelvan
