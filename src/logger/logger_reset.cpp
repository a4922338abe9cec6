#include "logger_reset.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "logger/file_io.h"
#include "logger/logger_texts.h"

namespace trelvan {

namespace {

LoggerResult Failed(std::string text, int err = 0) {
  return LoggerFailure(LoggerResultKind::ResetFailed, std::move(text), err);
}

} // namespace

LoggerResult ResetLoggerFile(const std::filesystem::path& file) {
  // O_NOFOLLOW refuses a link; O_NONBLOCK keeps a FIFO from blocking the open.
  const int fd =
      ::open(file.c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666);
  if (fd < 0) {
    const int err = LastError();
    if (err == ELOOP) return Failed(logger_text::ResetNotAFile(file, EntryType::Link));
    if (err == EISDIR) return Failed(logger_text::ResetNotAFile(file, EntryType::Folder));
    return Failed(logger_text::CannotReset(file, err), err);
  }
  UniqueFd handle(fd);
  struct stat st {};
  if (fstat(fd, &st) != 0) {
    const int err = LastError();
    return Failed(logger_text::CannotReset(file, err), err);
  }
  if (!S_ISREG(st.st_mode)) return Failed(logger_text::ResetNotAFile(file, EntryType::Other));
  int err = ftruncate(fd, 0) == 0 ? 0 : LastError();
  const int closeError = handle.close();
  if (!err) err = closeError;
  if (err) return Failed(logger_text::CannotReset(file, err), err);
  return {};
}

LoggerResult CreateLoggerFile(const std::filesystem::path& folder) {
  const std::filesystem::path file = folder / PathFromUtf8(kNewLoggerFileName);
  const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
  if (fd < 0) {
    const int err = LastError();
    return Failed(logger_text::CannotCreate(file, err), err);
  }
  UniqueFd handle(fd);
  if (const int err = handle.close()) return Failed(logger_text::CannotCreate(file, err), err);
  return {};
}

} // namespace trelvan
