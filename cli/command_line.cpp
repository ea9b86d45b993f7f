#include "cli/command_line.h"

#include "cvlog_version.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdio>
#include <string_view>

namespace cvlog
{

namespace
{

// The toolkit's own options, documented for every Qt program; a desktop or
// a session manager may start us with them.
constexpr std::array kToolkitOptionsWithValue { "platform", "platformpluginpath", "platformtheme", "plugin",
    "qwindowgeometry", "qwindowicon", "qwindowtitle", "session", "style", "stylesheet", "display",
    "geometry" };
constexpr std::array kToolkitFlags { "reverse", "widgetcount" };

// "-name", "--name" or either with "=value": the name, and whether a value was attached.
std::string_view optionName(std::string_view argument, bool* hasValue)
{
    argument.remove_prefix(argument.starts_with("--") ? 2 : 1);
    const std::size_t equals = argument.find('=');
    *hasValue = equals != std::string_view::npos;
    return argument.substr(0, equals);
}

template <std::size_t N> bool listed(const std::array<const char*, N>& names, std::string_view name)
{
    return std::find(names.begin(), names.end(), name) != names.end();
}

// The value of the option at i: attached with "=", or the next argument
// (then i moves on to it); none when it is missing.
std::optional<std::string> optionValue(
    const std::vector<std::string>& arguments, std::size_t& i, bool attached)
{
    if (attached)
        return arguments[i].substr(arguments[i].find('=') + 1);
    if (i + 1 < arguments.size())
        return arguments[++i];
    return std::nullopt;
}

CommandLine usageError(std::string error)
{
    CommandLine refused;
    refused.action = CommandLineAction::UsageError;
    refused.error = std::move(error);
    return refused;
}

struct CommandWord {
    const char* word;
    LogCommand command;
    // The options it takes besides --data-dir; a file named without an
    // option when none names it.
    std::array<const char*, 4> options;
};

constexpr std::array kCommandWords {
    CommandWord { "export", LogCommand::Export, { "csv", "text", "from", "to" } },
    CommandWord { "report", LogCommand::Report, { "pdf", "from", "to" } },
    CommandWord { "backup", LogCommand::Backup, {} },
    CommandWord { "restore", LogCommand::Restore, {} },
    CommandWord { "stats", LogCommand::Stats, { "json", "from", "to" } },
};

const CommandWord* findCommand(std::string_view word)
{
    for (const CommandWord& known : kCommandWords) {
        if (word == known.word)
            return &known;
    }
    return nullptr;
}

// YYYY-MM-DD and nothing else, a day of the calendar.
QDate parseDate(std::string_view text)
{
    constexpr std::size_t kLength = 10;
    if (text.size() != kLength)
        return {};
    for (std::size_t i = 0; i < kLength; ++i) {
        const bool dash = i == 4 || i == 7;
        if (dash ? text[i] != '-' : (text[i] < '0' || text[i] > '9'))
            return {};
    }
    const auto number = [text](std::size_t at, std::size_t size) {
        int value = 0;
        for (const char digit : text.substr(at, size))
            value = value * 10 + (digit - '0');
        return value;
    };
    return QDate(number(0, 4), number(5, 2), number(8, 2));
}

// The words after a command's name; --data-dir may stand among them.
CommandLine parseCommand(
    const CommandWord& command, const std::vector<std::string>& arguments, std::size_t i, CommandLine result)
{
    result.action = CommandLineAction::RunCommand;
    result.command = command.command;
    bool fileGiven = false;
    const auto setFile = [&](const std::string& value, const std::string& option) -> std::string {
        if (fileGiven)
            return "more than one file given to " + std::string(command.word);
        if (value.empty())
            return option + " needs a file";
        fileGiven = true;
        result.file = value;
        return {};
    };
    for (; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (!argument.starts_with("--")) {
            if (argument.starts_with('-') || command.options[0] != nullptr)
                return usageError("unexpected argument \"" + argument + "\"");
            if (std::string problem = setFile(argument, command.word); !problem.empty())
                return usageError(problem);
            continue;
        }
        bool hasValue = false;
        const std::string name(optionName(argument, &hasValue));
        const bool known = name == "data-dir"
            || std::find_if(command.options.begin(), command.options.end(),
                   [&](const char* option) { return option != nullptr && name == option; })
                != command.options.end();
        if (!known)
            return usageError("unknown option \"" + argument + "\" for " + command.word);
        if (name == "json") {
            if (hasValue)
                return usageError("--json takes no value");
            result.json = true;
            continue;
        }
        const std::optional<std::string> given = optionValue(arguments, i, hasValue);
        if (!given)
            return usageError("option \"" + argument + "\" needs a value");
        const std::string& value = *given;
        std::string problem;
        if (name == "data-dir") {
            if (value.empty())
                problem = "--data-dir needs a folder";
            else
                result.dataDirectory = value;
        } else if (name == "from" || name == "to") {
            QDate& day = name == "from" ? result.from : result.to;
            day = parseDate(value);
            if (!day.isValid())
                problem = "--" + name + " needs a date as YYYY-MM-DD, not \"" + value + "\"";
        } else {
            result.csv = name == "csv";
            problem = setFile(value, "--" + name);
        }
        if (!problem.empty())
            return usageError(problem);
    }
    if (!fileGiven && command.command != LogCommand::Stats) {
        const char* what = command.command == LogCommand::Export ? "--csv FILE or --text FILE"
            : command.command == LogCommand::Report              ? "--pdf FILE"
                                                                 : "a file";
        return usageError(std::string(command.word) + " needs " + what);
    }
    if (result.from.isValid() && result.to.isValid() && result.to < result.from)
        return usageError("--to is before --from");
    return result;
}

} // namespace

CommandLine parseCommandLine(const std::vector<std::string>& arguments)
{
    CommandLine result;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (argument == "--help" || argument == "-h") {
            result.action = CommandLineAction::ShowHelp;
            return result;
        }
        if (argument == "--version") {
            result.action = CommandLineAction::ShowVersion;
            return result;
        }
        if (const CommandWord* command = findCommand(argument)) {
            // --help anywhere still answers with the usage.
            if (std::find(arguments.begin() + static_cast<std::ptrdiff_t>(i), arguments.end(), "--help")
                != arguments.end()) {
                result.action = CommandLineAction::ShowHelp;
                return result;
            }
            return parseCommand(*command, arguments, i + 1, result);
        }
        if (argument.size() < 2 || argument[0] != '-')
            return usageError("unexpected argument \"" + argument + "\"");

        bool hasValue = false;
        const std::string_view name = optionName(argument, &hasValue);
        const bool ours = argument.starts_with("--") && name == "data-dir";
        if (!ours && listed(kToolkitFlags, name) && !hasValue)
            continue;
        if (!ours && !listed(kToolkitOptionsWithValue, name))
            return usageError("unknown option \"" + argument + "\"");
        const std::optional<std::string> given = optionValue(arguments, i, hasValue);
        if (!given)
            return usageError("option \"" + argument + "\" needs a value");
        const std::string& value = *given;
        if (!ours)
            continue;
        if (value.empty())
            return usageError("--data-dir needs a folder");
        result.dataDirectory = value;
    }
    return result;
}

CommandLine parseCommandLine(int argc, const char* const* argv)
{
    return parseCommandLine(std::vector<std::string>(argv + std::min(argc, 1), argv + argc));
}

std::string usageText()
{
    return "Usage: cvlog [--data-dir DIR]\n"
           "       cvlog [--data-dir DIR] COMMAND ...\n"
           "       cvlog --help | --version\n"
           "Keeps a pilot's flight log and downloads flights from the instruments.\n"
           "  --data-dir DIR  keep the log (CVLog.dbf), the settings and the lock in DIR, an\n"
           "                  existing folder; by default an installed program keeps them in\n"
           "                  $XDG_DATA_HOME/CVLog (~/.local/share/CVLog), a copy that is not\n"
           "                  installed beside its executable\n"
           "  --help          this text\n"
           "  --version       the program's version\n"
           "Commands, without a window (DATE as YYYY-MM-DD; without --from and --to, every flight):\n"
           "  export --csv|--text FILE [--from DATE] [--to DATE]   the flights as text\n"
           "  report --pdf FILE [--from DATE] [--to DATE]          the printed report as PDF\n"
           "  backup FILE     a copy of the log\n"
           "  restore FILE    replace the log with a backup, keeping a safety copy\n"
           "  stats [--json]  the statistics window's tables, or its figures as JSON\n"
           "Exit status: 0 done, 1 failed (the log is as it was), 2 wrong usage.\n";
}

int answerWithoutWindow(const CommandLine& commandLine)
{
    switch (commandLine.action) {
    case CommandLineAction::ShowHelp:
        std::fputs(usageText().c_str(), stdout);
        return kExitDone;
    case CommandLineAction::ShowVersion:
        std::printf("cvlog %s\n", kVersion);
        return kExitDone;
    case CommandLineAction::UsageError:
        std::fprintf(stderr, "cvlog: %s\n%s", commandLine.error.c_str(), usageText().c_str());
        return kExitUsage;
    case CommandLineAction::OpenWindow:
    case CommandLineAction::RunCommand:
        break;
    }
    return kExitDone;
}

} // namespace cvlog
