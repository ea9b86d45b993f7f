#pragma once
// The program's command line, read before anything else so that --help,
// --version and the commands for scripts answer without a display. Options of
// the toolkit (-style, -platform, a session manager's -session ...) are left
// for it to read.

#include <QDate>

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
    RunCommand, // one of the log commands below, without a window
};

enum class LogCommand {
    Export, // export --csv|--text FILE [--from DATE] [--to DATE]
    Report, // report --pdf FILE [--from DATE] [--to DATE]
    Backup, // backup FILE
    Restore, // restore FILE
    Stats, // stats [--json]
};

struct CommandLine {
    CommandLineAction action = CommandLineAction::OpenWindow;
    // --data-dir: the folder of the log, the settings and the lock, whether
    // the program is installed or not.
    std::optional<std::filesystem::path> dataDirectory;
    // For UsageError: what was wrong, for the line before the usage.
    std::string error;

    // For RunCommand.
    LogCommand command = LogCommand::Stats;
    std::filesystem::path file; // written by export, report and backup; read by restore
    bool csv = false; // export: comma-separated instead of space-separated
    bool json = false; // stats
    // The take-off days of export and report, both ends included; an end
    // not given leaves that side open. Never To before From.
    QDate from;
    QDate to;
};

// The arguments after the program's name.
CommandLine parseCommandLine(const std::vector<std::string>& arguments);
CommandLine parseCommandLine(int argc, const char* const* argv);

std::string usageText();

// For every action but OpenWindow and RunCommand: prints the help or the version on stdout,
// or the error and the usage on stderr, and returns the exit status.
int answerWithoutWindow(const CommandLine& commandLine);

} // namespace cvlog
