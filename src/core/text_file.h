#pragma once
// Reading and writing the station's small text files: whole-file reads, atomic
// saves, and the field reader that the two configuration files share.

#include <cstddef>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "config_status.h"

namespace trelvan {

enum class ReadStatus { Ok, Missing, Unreadable };

struct FileBytes {
  ReadStatus status = ReadStatus::Ok;
  std::string bytes;
  std::string reason; // German: why it could not be read
};

// A configuration file is a few hundred bytes; anything larger is not one.
inline constexpr std::size_t kSmallFileLimit = 64 * 1024;

// Reads a small regular file whole. Anything else (a folder, a FIFO, a device,
// a file over `limit` bytes) is refused with its reason before it is read, and
// no more than `limit` bytes are ever read, so a strange file neither blocks
// nor fills the memory.
FileBytes ReadSmallFile(const std::filesystem::path& path, std::size_t limit = kSmallFileLimit);

// Writes bytes to a temporary file of a unique name in the same folder,
// flushes it to the disk and renames it over `path`, so that a crash or a full
// disk leaves either the old or the new file, never a broken one. The new file
// keeps the old one's mode (and owner, where the process may set it). When
// `path` is a symbolic link, its final target is replaced the same way in the
// target's folder and the link stays.
ConfigStatus WriteFileAtomically(const std::filesystem::path& path, std::string_view bytes);

// Test hook: called between the write of the temporary file and the rename.
// Returning false abandons the save as if the process had died there.
void SetAtomicSaveHookForTesting(std::function<bool(const std::filesystem::path& temp)> hook);

// One field of a comma- or line-separated text file, with the line it began on.
struct TextField {
  std::string text;   // raw bytes (for quoted fields, without the quotes)
  bool quoted = false;
  int line = 1;
};

// Reads fields one after another: a comma and a line end both end a field,
// blanks around an unquoted field are skipped, a quoted field runs to its
// closing quote. Lines that hold nothing are passed over, so only the order of
// fields matters, not the line structure. Numbers may also be separated by
// blanks when `blankSeparates` is set.
class FieldReader {
 public:
  explicit FieldReader(std::string_view bytes, bool blankSeparates = false)
      : bytes_(bytes), blankSeparates_(blankSeparates) {}

  // The next field, or nothing at the end of the file. An unterminated quote
  // gives nothing as well and sets unterminatedQuote().
  std::optional<TextField> Next();
  bool unterminatedQuote() const { return unterminatedQuote_; }
  int line() const { return line_; }

 private:
  void SkipBlanks();
  std::string_view bytes_;
  std::size_t pos_ = 0;
  int line_ = 1;
  bool blankSeparates_;
  bool unterminatedQuote_ = false;
};

// A whole number written in plain decimal ("-1", " 12 "), or nothing.
std::optional<long long> ParseWholeNumber(std::string_view text);

} // namespace trelvan
