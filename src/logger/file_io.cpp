#include "file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace trelvan {

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept {
  if (this != &other) {
    reset();
    fd_ = other.release();
  }
  return *this;
}

int UniqueFd::release() {
  const int fd = fd_;
  fd_ = -1;
  return fd;
}

void UniqueFd::reset() { close(); }

int UniqueFd::close() {
  if (fd_ < 0) return 0;
  // Linux frees the descriptor even when close fails, so it is never retried.
  const int rc = ::close(release());
  return rc == 0 || errno == EINTR ? 0 : LastError();
}

Entry LookAt(int folderFd, const std::string& name) {
  Entry entry;
  struct stat st {};
  if (fstatat(folderFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
    if (errno != ENOENT) {
      entry.type = EntryType::Other;
      entry.error = LastError();
    }
    return entry;
  }
  entry.type = S_ISREG(st.st_mode)   ? EntryType::File
               : S_ISLNK(st.st_mode) ? EntryType::Link
               : S_ISDIR(st.st_mode) ? EntryType::Folder
                                     : EntryType::Other;
  entry.size = static_cast<std::uint64_t>(st.st_size);
  entry.mode = st.st_mode & 07777;
  entry.id = {st.st_dev, st.st_ino};
  return entry;
}

int ReadUpTo(int fd, void* buffer, std::size_t n, std::size_t& got) {
  got = 0;
  auto* bytes = static_cast<char*>(buffer);
  while (got < n) {
    const ssize_t r = ::read(fd, bytes + got, n - got);
    if (r < 0) {
      if (errno == EINTR) continue;
      return LastError();
    }
    if (r == 0) break;
    got += static_cast<std::size_t>(r);
  }
  return 0;
}

int WriteAll(int fd, const void* bytes, std::size_t n) {
  const auto* p = static_cast<const char*>(bytes);
  while (n > 0) {
    const ssize_t w = ::write(fd, p, n);
    if (w < 0) {
      if (errno == EINTR) continue;
      return LastError();
    }
    if (w == 0) return ENOSPC;
    p += w;
    n -= static_cast<std::size_t>(w);
  }
  return 0;
}

int LastError() { return errno != 0 ? errno : EIO; }

std::string PathText(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return {reinterpret_cast<const char*>(text.data()), text.size()};
}

std::filesystem::path PathFromUtf8(std::string_view utf8) {
  return std::filesystem::path(
      std::u8string(reinterpret_cast<const char8_t*>(utf8.data()), utf8.size()));
}

} // namespace trelvan
