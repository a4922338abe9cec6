#include "working_folder.h"

#include <cstdlib>

#include "core/system_error.h"

namespace trelvan {

namespace fs = std::filesystem;

WorkingFolder ChooseWorkingFolder(const WorkingFolderInputs& inputs) {
  if (inputs.folderOption) return {*inputs.folderOption, WorkingFolder::Source::Option};
  if (inputs.currentHoldsConfig) return {inputs.currentFolder, WorkingFolder::Source::Current};
  fs::path data;
  if (fs::path(inputs.xdgDataHome).is_absolute()) {
    data = inputs.xdgDataHome;
  } else if (fs::path(inputs.home).is_absolute()) {
    data = fs::path(inputs.home) / ".local" / "share";
  } else {
    return {inputs.currentFolder, WorkingFolder::Source::Current};
  }
  return {data / "trelvan", WorkingFolder::Source::UserData};
}

WorkingFolderInputs WorkingFolderInputsOfProcess(std::optional<fs::path> folderOption) {
  WorkingFolderInputs inputs;
  inputs.folderOption = std::move(folderOption);
  std::error_code ec;
  inputs.currentFolder = fs::current_path(ec);
  inputs.currentHoldsConfig = !ec && fs::exists(inputs.currentFolder / "config.txt", ec);
  if (const char* v = std::getenv("XDG_DATA_HOME")) inputs.xdgDataHome = v;
  if (const char* v = std::getenv("HOME")) inputs.home = v;
  return inputs;
}

bool PrepareWorkingFolder(const WorkingFolder& folder, std::string* error) {
  std::error_code ec;
  if (folder.source == WorkingFolder::Source::UserData) fs::create_directories(folder.path, ec);
  std::string reason;
  if (ec) {
    reason = SystemErrorText(ec.value());
  } else if (!fs::is_directory(folder.path, ec)) {
    reason = ec ? SystemErrorText(ec.value()) : "ist kein Ordner";
  } else {
    return true;
  }
  if (error) *error = "Der Ordner " + folder.path.string() + " ist nicht erreichbar: " + reason + ".";
  return false;
}

} // namespace trelvan
