#include "file_handle.h"

#include <cerrno>
#include <system_error>

namespace trelvan {

namespace {

// errno after a failed call, never 0: a failure must not read as success.
int LastError() { return errno != 0 ? errno : EIO; }

} // namespace

FileHandle& FileHandle::operator=(FileHandle&& other) noexcept {
  if (this != &other) {
    close();
    file_ = other.file_;
    other.file_ = nullptr;
  }
  return *this;
}

int FileHandle::open(const std::filesystem::path& path, Mode mode) {
  close();
#ifdef _WIN32
  const wchar_t* flags = mode == Mode::Read ? L"rb" : mode == Mode::Append ? L"ab" : L"wb";
  errno = 0;
  file_ = _wfopen(path.c_str(), flags);
#else
  const char* flags = mode == Mode::Read ? "rb" : mode == Mode::Append ? "ab" : "wb";
  errno = 0;
  file_ = std::fopen(path.c_str(), flags);
#endif
  if (!file_) return LastError();
  std::setvbuf(file_, nullptr, _IONBF, 0);
  return 0;
}

int FileHandle::read(void* buffer, std::size_t n, std::size_t& got) {
  got = 0;
  if (!file_) return EBADF;
  errno = 0;
  got = std::fread(buffer, 1, n, file_);
  if (got < n && std::ferror(file_)) return LastError();
  return 0;
}

int FileHandle::write(const void* bytes, std::size_t n) {
  if (!file_) return EBADF;
  if (n == 0) return 0;
  errno = 0;
  if (std::fwrite(bytes, 1, n, file_) != n) return LastError();
  return 0;
}

int FileHandle::close() {
  if (!file_) return 0;
  errno = 0;
  const int rc = std::fclose(file_);
  file_ = nullptr;
  return rc == 0 ? 0 : LastError();
}

std::string ErrorText(int err) { return std::generic_category().message(err); }

} // namespace trelvan
