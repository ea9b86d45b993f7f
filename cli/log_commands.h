#pragma once
// The commands a script runs without a window: the two text exports, the
// report as PDF, backup, restore and the statistics. Each goes through the
// same logic as the window's menu command, so a file written here has the
// bytes the menu writes, and each says on stderr what the window's message
// box says.
//
// While the window works on the same data folder a command that only reads
// may run beside it; restore, which replaces the log under the window's
// feet, is refused. Restore holds the data folder's lock while it works, so
// no window starts meanwhile.

#include "cli/command_line.h"

#include <filesystem>

namespace cvlog
{

// Runs a RunCommand command line: makes the application object (without a
// display where there is none), finds the data folder and runs the command.
// Returns the exit status: kExitDone, kExitFailed (the log as it was) or
// kExitUsage.
int runLogCommand(int argc, char** argv, const CommandLine& commandLine);

} // namespace cvlog
