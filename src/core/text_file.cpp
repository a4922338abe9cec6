#include "text_file.h"

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <system_error>

#if defined(__unix__) || defined(__APPLE__)
#include <fcntl.h>
#include <unistd.h>
#endif

namespace trelvan {

namespace {
std::function<bool(const std::filesystem::path&)>& SaveHook() {
  static std::function<bool(const std::filesystem::path&)> hook;
  return hook;
}
} // namespace

void SetAtomicSaveHookForTesting(std::function<bool(const std::filesystem::path&)> hook) {
  SaveHook() = std::move(hook);
}

FileBytes ReadWholeFile(const std::filesystem::path& path) {
  FileBytes result;
  std::error_code ec;
  if (!std::filesystem::exists(path, ec)) {
    result.status = ReadStatus::Missing;
    result.reason = "nicht vorhanden";
    return result;
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    result.status = ReadStatus::Unreadable;
    result.reason = std::strerror(errno);
    return result;
  }
  result.bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  if (in.bad()) {
    result.status = ReadStatus::Unreadable;
    result.reason = "Lesefehler";
  }
  return result;
}

std::optional<std::string> WriteFileAtomically(const std::filesystem::path& path,
                                               std::string_view bytes) {
  const std::filesystem::path temp = path.string() + ".tmp";
  const std::string name = path.filename().string();
  std::FILE* file = std::fopen(temp.string().c_str(), "wb");
  if (!file)
    return "\"" + name + "\" kann nicht gespeichert werden: " + std::strerror(errno);
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  int err = ok ? 0 : errno;
  if (ok && std::fflush(file) != 0) { ok = false; err = errno; }
#if defined(__unix__) || defined(__APPLE__)
  if (ok && ::fsync(::fileno(file)) != 0) { ok = false; err = errno; }
#endif
  if (std::fclose(file) != 0 && ok) { ok = false; err = errno; }
  if (!ok) {
    std::remove(temp.string().c_str());
    return "\"" + name + "\" kann nicht gespeichert werden: " + std::strerror(err);
  }
  if (SaveHook() && !SaveHook()(temp)) return "\"" + name + "\": Speichern abgebrochen";
  std::error_code ec;
  std::filesystem::rename(temp, path, ec);
  if (ec) {
    std::filesystem::remove(temp, ec);
    return "\"" + name + "\" kann nicht gespeichert werden: " + ec.message();
  }
  return std::nullopt;
}

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
