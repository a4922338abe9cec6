#pragma once
// Where an export writes, made safe against what else may stand or happen
// there: the export never writes through a link or into anything but a plain
// file, never over the logger file it reads, never beside another export into
// the same folder, and never leaves a half-written file under a final name.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

#include "logger/file_io.h"
#include "logger/logger_result.h"

namespace trelvan {

// The output folder, held open for the whole export: every name is looked up
// relative to this descriptor, so a folder renamed or swapped meanwhile does
// not redirect the files.
class OutputFolder {
 public:
  // OutputFolderUnusable when the folder is missing or not a folder.
  LoggerResult open(const std::filesystem::path& folder);
  // An exclusive lock on the folder itself (flock), until unlock() or the
  // object ends; OutputFolderBusy while another export holds it.
  LoggerResult lock();
  void unlock();

  Entry look(const std::string& name) const { return LookAt(fd_.get(), name); }
  int fd() const { return fd_.get(); }
  std::filesystem::path pathOf(const std::string& name) const;

 private:
  std::filesystem::path path_;
  UniqueFd fd_;
  bool locked_ = false;
};

// One output file from its opening to its completion. A new or replaced file
// is written under a hidden temporary name beside its final one and renamed
// when complete; an append goes to the end of the existing file and is cut
// back to its old length when the export does not complete.
class OutputFile {
 public:
  enum class Mode { New, Replace, Append };

  OutputFile() = default;
  ~OutputFile() { rollBack(); }
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Refuses a name where a link or anything but a plain file stands (for an
  // append), and the logger file itself. `folder` outlives this object.
  LoggerResult open(const OutputFolder& folder, std::string name, Mode mode, const FileId& loggerFile);
  LoggerResult write(const char* bytes, std::size_t n);
  // On the disk (synced) and closed; a new or replaced file still under its
  // temporary name.
  LoggerResult complete();
  // Under its final name: the temporary file renamed over it.
  LoggerResult publish();
  // Back to how it was before open(), unless published: the temporary file
  // removed, an append cut back. 0 or the errno value of what failed.
  int rollBack();

  std::filesystem::path path() const { return folder_->pathOf(name_); }
  bool published() const { return state_ == State::Published; }

 private:
  enum class State { Closed, Open, Completed, Published };
  LoggerResult createTemporary(unsigned mode);

  const OutputFolder* folder_ = nullptr;
  std::string name_;
  std::string temporaryName_;
  Mode mode_ = Mode::New;
  UniqueFd fd_;
  std::uint64_t oldSize_ = 0;
  State state_ = State::Closed;
};

} // namespace trelvan
