#pragma once
// The subcommands of trelvan-cli. Each takes the arguments after its name and
// returns the process exit code.

#include <QStringList>

namespace trelvan::cli {

int RunSim(const QStringList& args);
int RunPoll(const QStringList& args);
int RunExport(const QStringList& args);
int RunRecords(const QStringList& args);
int RunScan(const QStringList& args);

} // namespace trelvan::cli
