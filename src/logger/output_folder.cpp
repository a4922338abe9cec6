#include "output_folder.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <optional>
#include <random>

#include "logger/logger_texts.h"

namespace trelvan {

namespace fs = std::filesystem;

namespace {

// Six letters or digits: 62^6 names, so a clash with another export's
// temporary file (or a leftover of a crashed one) is retried, not waited for.
std::string RandomTag() {
  static constexpr char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  thread_local std::mt19937 random{std::random_device{}()};
  std::uniform_int_distribution<std::size_t> pick(0, sizeof kAlphabet - 2);
  std::string tag(6, ' ');
  for (char& c : tag) c = kAlphabet[pick(random)];
  return tag;
}

// What stands at an output name and is not a plain file, or the logger file.
std::optional<LoggerResult> RefusedEntry(const fs::path& path, const Entry& entry,
                                         const FileId& loggerFile) {
  if (entry.error != 0)
    return LoggerFailure(LoggerResultKind::WriteFailed, logger_text::CannotCreate(path, entry.error),
                         entry.error);
  if (entry.type == EntryType::Link || entry.type == EntryType::Folder ||
      entry.type == EntryType::Other)
    return LoggerFailure(LoggerResultKind::OutputNotAFile,
                         logger_text::OutputNotAFile(path, entry.type));
  if (entry.type == EntryType::File && entry.id == loggerFile)
    return LoggerFailure(LoggerResultKind::OutputIsLoggerFile, logger_text::OutputIsLoggerFile(path));
  return std::nullopt;
}

} // namespace

LoggerResult OutputFolder::open(const fs::path& folder) {
  path_ = folder;
  // A folder needs no O_NONBLOCK, but a FIFO given as the folder must not
  // block the open before O_DIRECTORY refuses it.
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    const int err = LastError();
    return LoggerFailure(LoggerResultKind::OutputFolderUnusable,
                         logger_text::OutputFolderUnusable(folder, err), err);
  }
  fd_ = UniqueFd(fd);
  return {};
}

LoggerResult OutputFolder::lock() {
  int rc;
  do rc = flock(fd_.get(), LOCK_EX | LOCK_NB);
  while (rc != 0 && errno == EINTR);
  if (rc == 0) {
    locked_ = true;
  } else if (errno == EWOULDBLOCK) {
    return LoggerFailure(LoggerResultKind::OutputFolderBusy, logger_text::OutputFolderBusy(path_));
  }
  // A file system without locks (some network shares) still takes the export.
  return {};
}

void OutputFolder::unlock() {
  if (locked_) flock(fd_.get(), LOCK_UN);
  locked_ = false;
}

fs::path OutputFolder::pathOf(const std::string& name) const { return path_ / PathFromUtf8(name); }

LoggerResult OutputFile::open(const OutputFolder& folder, std::string name, Mode mode,
                              const FileId& loggerFile) {
  folder_ = &folder;
  name_ = std::move(name);
  mode_ = mode;
  const Entry entry = folder.look(name_);
  if (auto refused = RefusedEntry(path(), entry, loggerFile)) return *refused;
  if (mode_ != Mode::Append)
    return createTemporary(mode_ == Mode::Replace && entry.type == EntryType::File ? entry.mode : 0666);

  // O_NOFOLLOW refuses a link put there since the look; O_NONBLOCK keeps a
  // FIFO put there from blocking the open.
  const int fd = openat(folder.fd(), name_.c_str(),
                        O_WRONLY | O_APPEND | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) {
    const int err = LastError();
    if (err == ELOOP)
      return LoggerFailure(LoggerResultKind::OutputNotAFile,
                           logger_text::OutputNotAFile(path(), EntryType::Link));
    return LoggerFailure(LoggerResultKind::WriteFailed, logger_text::CannotWrite(path(), err), err);
  }
  UniqueFd file(fd);
  struct stat st {};
  if (fstat(fd, &st) != 0) {
    const int err = LastError();
    return LoggerFailure(LoggerResultKind::WriteFailed, logger_text::CannotWrite(path(), err), err);
  }
  Entry opened;
  opened.type = S_ISREG(st.st_mode) ? EntryType::File : EntryType::Other;
  opened.id = {st.st_dev, st.st_ino};
  if (auto refused = RefusedEntry(path(), opened, loggerFile)) return *refused;
  fcntl(fd, F_SETFL, O_APPEND);
  oldSize_ = static_cast<std::uint64_t>(st.st_size);
  fd_ = std::move(file);
  state_ = State::Open;
  return {};
}

LoggerResult OutputFile::createTemporary(unsigned mode) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string candidate = "." + name_ + "." + RandomTag() + ".tmp";
    const int fd = openat(folder_->fd(), candidate.c_str(),
                          O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
    if (fd >= 0) {
      fd_ = UniqueFd(fd);
      temporaryName_ = std::move(candidate);
      state_ = State::Open;
      // A replaced file keeps its permissions, which the umask may have cut.
      if (mode != 0666) fchmod(fd, mode);
      return {};
    }
    if (errno != EEXIST) {
      const int err = LastError();
      return LoggerFailure(LoggerResultKind::WriteFailed, logger_text::CannotCreate(path(), err), err);
    }
  }
  return LoggerFailure(LoggerResultKind::WriteFailed, logger_text::CannotCreate(path(), EEXIST),
                       EEXIST);
}

LoggerResult OutputFile::write(const char* bytes, std::size_t n) {
  if (const int err = WriteAll(fd_.get(), bytes, n))
    return LoggerFailure(LoggerResultKind::WriteFailed, logger_text::CannotWrite(path(), err), err);
  return {};
}

LoggerResult OutputFile::complete() {
  // Synced before the rename, so that after a power cut the final name holds
  // either the old file or the whole new one. A file system that cannot sync
  // (EINVAL) has nothing to sync.
  int err = fdatasync(fd_.get()) == 0 || errno == EINVAL ? 0 : LastError();
  if (mode_ != Mode::Append) {
    const int closeError = fd_.close();
    if (!err) err = closeError;
  }
  if (err) return LoggerFailure(LoggerResultKind::WriteFailed, logger_text::CannotWrite(path(), err), err);
  state_ = State::Completed;
  return {};
}

LoggerResult OutputFile::publish() {
  const int dir = folder_->fd();
  int rc = 0;
  if (mode_ == Mode::Append) {
    if (const int err = fd_.close())
      return LoggerFailure(LoggerResultKind::WriteFailed, logger_text::CannotWrite(path(), err), err);
  } else if (mode_ == Mode::Replace) {
    rc = renameat(dir, temporaryName_.c_str(), dir, name_.c_str());
  } else {
    // A new file never replaces one that appeared meanwhile.
    rc = renameat2(dir, temporaryName_.c_str(), dir, name_.c_str(), RENAME_NOREPLACE);
    if (rc != 0 && (errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP)) {
      // A file system without RENAME_NOREPLACE: look, then rename.
      if (folder_->look(name_).type == EntryType::Absent) {
        rc = renameat(dir, temporaryName_.c_str(), dir, name_.c_str());
      } else {
        errno = EEXIST;
      }
    }
  }
  if (rc != 0) {
    const int err = LastError();
    if (err == EEXIST)
      return LoggerFailure(LoggerResultKind::OutputChanged, logger_text::OutputChanged(path()));
    return LoggerFailure(LoggerResultKind::WriteFailed, logger_text::CannotWrite(path(), err), err);
  }
  if (mode_ != Mode::Append) fsync(dir); // the rename itself on the disk
  state_ = State::Published;
  return {};
}

int OutputFile::rollBack() {
  if (state_ == State::Closed || state_ == State::Published) return 0;
  state_ = State::Closed;
  if (mode_ != Mode::Append) {
    fd_.reset();
    return unlinkat(folder_->fd(), temporaryName_.c_str(), 0) == 0 || errno == ENOENT ? 0
                                                                                      : LastError();
  }
  if (!fd_.valid()) {
    const int fd = openat(folder_->fd(), name_.c_str(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return LastError();
    fd_ = UniqueFd(fd);
  }
  int rc;
  do rc = ftruncate(fd_.get(), static_cast<off_t>(oldSize_));
  while (rc != 0 && errno == EINTR);
  const int err = rc == 0 ? 0 : LastError();
  fd_.reset();
  return err;
}

} // namespace trelvan
