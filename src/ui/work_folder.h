#pragma once
// Where the application works: --folder DIR; else the current folder when it
// holds a "config.txt"; else the user's data folder (ChooseWorkingFolder);
// or with --simulate a demo folder on the built-in simulated station. Shared
// by `trelvan` and its screenshot tour.

#include <QCommandLineOption>
#include <QCommandLineParser>

namespace trelvan {

class DemoStation;

struct WorkFolderOptions {
  explicit WorkFolderOptions(QCommandLineParser& parser);

  QCommandLineOption simulate{"simulate", "Mit der eingebauten simulierten Station arbeiten."};
  QCommandLineOption folder{"folder", "In diesem Ordner arbeiten.", "DIR"};
};

// Makes the chosen folder the current one, so that relative file names
// ("config.txt", exports, "instrum1.bmp") resolve there; with --simulate it
// first prepares the demo folder and starts the simulator in `demo`. Says on
// stdout where the simulated station is, on stderr why it failed.
bool EnterWorkFolder(const QCommandLineParser& parser, const WorkFolderOptions& options, DemoStation& demo);

} // namespace trelvan
