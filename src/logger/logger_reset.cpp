#include "logger_reset.h"

#include "file_handle.h"
#include "logger_export.h"

namespace trelvan {

namespace {

std::optional<std::string> Truncate(const std::filesystem::path& file, const char* what) {
  FileHandle handle;
  int err = handle.open(file, FileHandle::Mode::Replace);
  if (!err) err = handle.close();
  if (!err) return std::nullopt;
  return "Die Datei '" + PathText(file) + "' kann nicht " + what + " werden: " + ErrorText(err) + ".";
}

} // namespace

std::optional<std::string> ResetLoggerFile(const std::filesystem::path& file) {
  return Truncate(file, "zurückgesetzt");
}

std::optional<std::string> CreateLoggerFile(const std::filesystem::path& folder) {
  return Truncate(folder / PathFromUtf8(kNewLoggerFileName), "angelegt");
}

} // namespace trelvan
