#pragma once
// Where the application keeps its files ("config.txt", "PortCom.dat",
// "trelvan.ini", the exports). Started from a terminal in a station's folder
// it works there; started from the desktop menu the current folder is the
// user's home, which must not fill up with station files, so it works in a
// folder of its own under the user's data folder.

#include <filesystem>
#include <optional>
#include <string>

namespace trelvan {

// The program's own settings (port assignments, reply time, limits,
// recording, MQTT), in the working folder beside "config.txt".
inline constexpr const char* kSettingsFileName = "trelvan.ini";

// What the rule looks at, gathered by WorkingFolderInputsOfProcess.
struct WorkingFolderInputs {
  std::optional<std::filesystem::path> folderOption; // --folder DIR
  std::filesystem::path currentFolder;
  bool currentHoldsConfig = false; // "config.txt" is in the current folder
  std::string xdgDataHome;         // $XDG_DATA_HOME, "" when unset
  std::string home;                // $HOME, "" when unset
};

struct WorkingFolder {
  enum class Source {
    Option,       // --folder DIR
    Current,      // the current folder holds a "config.txt"
    UserData,     // $XDG_DATA_HOME/trelvan or ~/.local/share/trelvan
  };
  std::filesystem::path path;
  Source source = Source::Current;
};

// The rule: --folder wins; otherwise the current folder when it holds a
// "config.txt"; otherwise "trelvan" in the user's data folder. An
// $XDG_DATA_HOME that is not an absolute path is ignored, as the XDG base
// directory rules say. Without any home to go to, the current folder.
WorkingFolder ChooseWorkingFolder(const WorkingFolderInputs& inputs);

// The inputs as this process has them.
WorkingFolderInputs WorkingFolderInputsOfProcess(std::optional<std::filesystem::path> folderOption);

// Creates the folder of a UserData choice on first start; the folder of an
// Option must exist. German reason in `error` when it cannot be used.
bool PrepareWorkingFolder(const WorkingFolder& folder, std::string* error);

} // namespace trelvan
