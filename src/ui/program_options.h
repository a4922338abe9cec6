#pragma once
// `trelvan --help` and `trelvan --version`: answered before any window
// system is touched, so they work on a machine without a display, and in
// German like the rest of the program.

namespace trelvan {

// When the arguments ask for the help or the version, prints it to stdout
// and returns true; the program then ends with status 0.
bool AnswerHelpOrVersion(int argc, char** argv);

} // namespace trelvan
