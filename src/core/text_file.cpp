#include "text_file.h"

#include <cerrno>
#include <charconv>
#include <random>

#include "system_error.h"
#include "texts.h"

#if defined(__unix__) || defined(__APPLE__)
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#else
#include <fstream>
#endif

namespace trelvan {

namespace {

std::function<bool(const std::filesystem::path&)>& SaveHook() {
  static std::function<bool(const std::filesystem::path&)> hook;
  return hook;
}

FileBytes Refused(std::string reason) {
  return {ReadStatus::Unreadable, {}, std::move(reason)};
}

// A name for the temporary file that no other save picks: ".config.txt.3f9a1c".
std::filesystem::path TempName(const std::filesystem::path& folder, const std::filesystem::path& name) {
  static thread_local std::mt19937_64 random{std::random_device{}()};
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string suffix(8, '0');
  for (char& c : suffix) c = kDigits[random() % 16];
  return folder / ("." + name.string() + "." + suffix);
}

} // namespace

void SetAtomicSaveHookForTesting(std::function<bool(const std::filesystem::path&)> hook) {
  SaveHook() = std::move(hook);
}

#if defined(__unix__) || defined(__APPLE__)

namespace {

// Why a file of this kind cannot be read as a text file, or "".
std::string NotReadableAsText(const struct stat& st, std::size_t limit) {
  if (S_ISDIR(st.st_mode)) return SystemErrorText(EISDIR);
  if (!S_ISREG(st.st_mode)) return std::string(core_texts::kNotARegularFile);
  if (static_cast<unsigned long long>(st.st_size) > limit) return core_texts::TooLarge(limit);
  return {};
}

// Closes a descriptor when it goes out of scope.
struct Descriptor {
  int fd = -1;
  ~Descriptor() {
    if (fd >= 0) ::close(fd);
  }
};

// The file a save at `path` replaces: `path` itself, or the end of the chain
// of symbolic links that starts there (a relative target counts from the
// link's folder). Sets errno and gives nothing for a loop or an unreadable link.
std::optional<std::filesystem::path> SaveTarget(std::filesystem::path path) {
  for (int hops = 0; hops < 40; ++hops) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
    std::error_code ec;
    const std::filesystem::path link = std::filesystem::read_symlink(path, ec);
    if (ec) {
      errno = ec.value();
      return std::nullopt;
    }
    path = link.is_absolute() ? link : path.parent_path() / link;
  }
  errno = ELOOP;
  return std::nullopt;
}

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

} // namespace

FileBytes ReadSmallFile(const std::filesystem::path& path, std::size_t limit) {
  // Look before opening: opening a device can do something of its own (a
  // serial line raises its control lines), and a FIFO without a writer would
  // block the open.
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) {
    if (errno == ENOENT) return {ReadStatus::Missing, {}, SystemErrorText(ENOENT)};
    return Refused(SystemErrorText(errno));
  }
  if (auto why = NotReadableAsText(st, limit); !why.empty()) return Refused(why);

  // The name may have been replaced since: never block, and look again at
  // what was opened.
  Descriptor file{::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC)};
  if (file.fd < 0) {
    if (errno == ENOENT) return {ReadStatus::Missing, {}, SystemErrorText(ENOENT)};
    return Refused(SystemErrorText(errno));
  }
  if (::fstat(file.fd, &st) != 0) return Refused(SystemErrorText(errno));
  if (auto why = NotReadableAsText(st, limit); !why.empty()) return Refused(why);

  // One byte more than the limit tells a file that grew meanwhile.
  FileBytes result;
  result.bytes.resize(limit + 1);
  std::size_t got = 0;
  while (got < result.bytes.size()) {
    const ssize_t n = ::read(file.fd, result.bytes.data() + got, result.bytes.size() - got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return Refused(SystemErrorText(errno));
    if (n == 0) break;
    got += static_cast<std::size_t>(n);
  }
  if (got > limit) return Refused(core_texts::TooLarge(limit));
  result.bytes.resize(got);
  return result;
}

ConfigStatus WriteFileAtomically(const std::filesystem::path& path, std::string_view bytes) {
  const std::string name = path.filename().string();
  auto failed = [&](int err) {
    return ConfigStatus{ConfigStatus::Kind::IoError, core_texts::CannotSave(name, SystemErrorText(err))};
  };
  const auto target = SaveTarget(path);
  if (!target) return failed(errno);
  std::filesystem::path folder = target->parent_path();
  if (folder.empty()) folder = ".";

  // O_EXCL with O_NOFOLLOW: the temporary file is always a new one of ours,
  // never something planted under its name. Mode 0666 less the umask, as
  // for any new file; an existing file's mode is copied below.
  std::filesystem::path temp;
  Descriptor file;
  for (int attempt = 0; attempt < 100 && file.fd < 0; ++attempt) {
    temp = TempName(folder, target->filename());
    file.fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (file.fd < 0 && errno != EEXIST) return failed(errno);
  }
  if (file.fd < 0) return failed(EEXIST);

  auto abandon = [&](int err) {
    ::unlink(temp.c_str());
    return failed(err);
  };
  struct stat old {};
  if (::stat(target->c_str(), &old) == 0 && S_ISREG(old.st_mode)) {
    if (::fchmod(file.fd, old.st_mode & 07777) != 0) return abandon(errno);
    // Only a privileged process may hand a file to another owner; for any
    // other this fails, and the file is the process's own as before.
    if (old.st_uid != ::geteuid() || old.st_gid != ::getegid()) {
      [[maybe_unused]] const int ignored = ::fchown(file.fd, old.st_uid, old.st_gid);
    }
  }
  if (!WriteAll(file.fd, bytes) || ::fsync(file.fd) != 0) return abandon(errno);
  const int closed = ::close(file.fd);
  file.fd = -1;
  if (closed != 0) return abandon(errno);

  if (SaveHook() && !SaveHook()(temp)) return {ConfigStatus::Kind::IoError, core_texts::SaveAbandoned(name)};
  if (::rename(temp.c_str(), target->c_str()) != 0) return abandon(errno);
  // The rename itself reaches the disk with the folder.
  Descriptor dir{::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)};
  if (dir.fd >= 0) ::fsync(dir.fd);
  return {};
}

#else // without POSIX: the same checks through the standard library

FileBytes ReadSmallFile(const std::filesystem::path& path, std::size_t limit) {
  std::error_code ec;
  const auto st = std::filesystem::status(path, ec);
  if (st.type() == std::filesystem::file_type::not_found) return {ReadStatus::Missing, {}, SystemErrorText(ENOENT)};
  if (std::filesystem::is_directory(st)) return Refused(SystemErrorText(EISDIR));
  if (!std::filesystem::is_regular_file(st)) return Refused(std::string(core_texts::kNotARegularFile));
  if (std::filesystem::file_size(path, ec) > limit) return Refused(core_texts::TooLarge(limit));
  std::ifstream in(path, std::ios::binary);
  FileBytes result;
  result.bytes.resize(limit + 1);
  in.read(result.bytes.data(), static_cast<std::streamsize>(result.bytes.size()));
  if (in.bad() || (!in && !in.eof())) return Refused(SystemErrorText(EIO));
  if (static_cast<std::size_t>(in.gcount()) > limit) return Refused(core_texts::TooLarge(limit));
  result.bytes.resize(static_cast<std::size_t>(in.gcount()));
  return result;
}

ConfigStatus WriteFileAtomically(const std::filesystem::path& path, std::string_view bytes) {
  const std::string name = path.filename().string();
  const std::filesystem::path temp = TempName(path.parent_path(), path.filename());
  {
    std::ofstream out(temp, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.flush();
    if (!out) {
      std::error_code ec;
      std::filesystem::remove(temp, ec);
      return {ConfigStatus::Kind::IoError, core_texts::CannotSave(name, SystemErrorText(EIO))};
    }
  }
  if (SaveHook() && !SaveHook()(temp)) return {ConfigStatus::Kind::IoError, core_texts::SaveAbandoned(name)};
  std::error_code ec;
  std::filesystem::rename(temp, path, ec);
  if (ec) {
    std::filesystem::remove(temp, ec);
    return {ConfigStatus::Kind::IoError, core_texts::CannotSave(name, SystemErrorText(ec.value()))};
  }
  return {};
}

#endif

void FieldReader::SkipBlanks() {
  while (pos_ < bytes_.size() && (bytes_[pos_] == ' ' || bytes_[pos_] == '\t')) ++pos_;
}

std::optional<TextField> FieldReader::Next() {
  // Pass over empty lines and blanks before the field.
  for (;;) {
    SkipBlanks();
    if (pos_ >= bytes_.size()) return std::nullopt;
    if (bytes_[pos_] == '\r' || bytes_[pos_] == '\n') {
      if (bytes_[pos_] == '\r' && pos_ + 1 < bytes_.size() && bytes_[pos_ + 1] == '\n') ++pos_;
      ++pos_;
      ++line_;
      continue;
    }
    break;
  }
  TextField field;
  field.line = line_;
  if (bytes_[pos_] == '"') {
    const auto close = bytes_.find('"', pos_ + 1);
    if (close == std::string_view::npos) {
      unterminatedQuote_ = true;
      pos_ = bytes_.size();
      return std::nullopt;
    }
    field.quoted = true;
    field.text = std::string(bytes_.substr(pos_ + 1, close - pos_ - 1));
    for (char c : field.text) if (c == '\n') ++line_;
    pos_ = close + 1;
    // Whatever stands between the closing quote and the separator is dropped.
    while (pos_ < bytes_.size() && bytes_[pos_] != ',' && bytes_[pos_] != '\r' &&
           bytes_[pos_] != '\n')
      ++pos_;
  } else {
    const auto start = pos_;
    while (pos_ < bytes_.size() && bytes_[pos_] != ',' && bytes_[pos_] != '\r' &&
           bytes_[pos_] != '\n' && !(blankSeparates_ && bytes_[pos_] == ' '))
      ++pos_;
    auto text = bytes_.substr(start, pos_ - start);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    field.text = std::string(text);
    if (blankSeparates_) SkipBlanks();
  }
  if (pos_ < bytes_.size() && bytes_[pos_] == ',') ++pos_;
  return field;
}

std::optional<long long> ParseWholeNumber(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  if (text.empty()) return std::nullopt;
  long long value = 0;
  auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || ptr != text.data() + text.size()) return std::nullopt;
  return value;
}

} // namespace trelvan
