#pragma once
// The program's command line, read before anything else so that --help and
// --version answer without a display. Options of the toolkit (-style,
// -platform, a session manager's -session ...) are left for it to read.

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace cvlog
{

inline constexpr int kExitDone = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;

enum class CommandLineAction {
    OpenWindow,
    ShowHelp,
    ShowVersion,
    UsageError,
};

struct CommandLine {
    CommandLineAction action = CommandLineAction::OpenWindow;
    // --data-dir: the folder of the log, the settings and the lock, whether
    // the program is installed or not.
    std::optional<std::filesystem::path> dataDirectory;
    // For UsageError: what was wrong, for the line before the usage.
    std::string error;
};

// The arguments after the program's name.
CommandLine ParseCommandLine(const std::vector<std::string>& arguments);
CommandLine ParseCommandLine(int argc, const char* const* argv);

std::string UsageText();

// For every action but OpenWindow: prints the help or the version on stdout,
// or the error and the usage on stderr, and returns the exit status.
int AnswerWithoutWindow(const CommandLine& commandLine);

} // namespace cvlog
