#pragma once
// The POSIX file calls under the logger files: a descriptor that closes
// itself, a file's identity, what stands at a name without following a link,
// and reads and writes that carry on after a signal or a short transfer.
// Every failure is an errno value, so that messages can say why.

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace trelvan {

class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : fd_(fd) {}
  ~UniqueFd() { reset(); }
  UniqueFd(UniqueFd&& other) noexcept : fd_(other.release()) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept;
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;

  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  int release();
  void reset();
  // Closes and says how that went: 0 or an errno value. Some file systems
  // report a failed write only here.
  int close();

 private:
  int fd_ = -1;
};

// Device and inode: two names of one file have the same.
struct FileId {
  dev_t device = 0;
  ino_t inode = 0;
  bool operator==(const FileId&) const = default;
};

enum class EntryType { Absent, File, Link, Folder, Other };

// What stands at `name` in the folder `folderFd`, the link itself for a link.
struct Entry {
  EntryType type = EntryType::Absent;
  std::uint64_t size = 0;
  unsigned mode = 0; // permission bits
  FileId id;
  int error = 0; // when it could not be looked at (other than absent)
};
Entry LookAt(int folderFd, const std::string& name);

// Reads until n bytes or the end of the file; got says how many. 0 or errno.
int ReadUpTo(int fd, void* buffer, std::size_t n, std::size_t& got);
// Writes all n bytes. 0 or errno; ENOSPC when the disk took none of them.
int WriteAll(int fd, const void* bytes, std::size_t n);

// errno after a failed call, never 0: a failure must not read as success.
int LastError();

// A path as UTF-8 text for messages, and a UTF-8 file name as a path.
std::string PathText(const std::filesystem::path& path);
std::filesystem::path PathFromUtf8(std::string_view utf8);

} // namespace trelvan
