#include "cli/command_line.h"

#include "cvlog_version.h"

#include <algorithm>
#include <array>
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

CommandLine usageError(std::string error)
{
    CommandLine refused;
    refused.action = CommandLineAction::UsageError;
    refused.error = std::move(error);
    return refused;
}

} // namespace

CommandLine ParseCommandLine(const std::vector<std::string>& arguments)
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
        if (argument.size() < 2 || argument[0] != '-')
            return usageError("unexpected argument \"" + argument + "\"");

        bool hasValue = false;
        const std::string_view name = optionName(argument, &hasValue);
        const bool ours = argument.starts_with("--") && name == "data-dir";
        if (!ours && listed(kToolkitFlags, name) && !hasValue)
            continue;
        if (!ours && !listed(kToolkitOptionsWithValue, name))
            return usageError("unknown option \"" + argument + "\"");
        std::string value;
        if (hasValue) {
            value = argument.substr(argument.find('=') + 1);
        } else if (i + 1 < arguments.size()) {
            value = arguments[++i];
        } else {
            return usageError("option \"" + argument + "\" needs a value");
        }
        if (!ours)
            continue;
        if (value.empty())
            return usageError("--data-dir needs a folder");
        result.dataDirectory = value;
    }
    return result;
}

CommandLine ParseCommandLine(int argc, const char* const* argv)
{
    return ParseCommandLine(std::vector<std::string>(argv + std::min(argc, 1), argv + argc));
}

std::string UsageText()
{
    return "Usage: cvlog [--data-dir DIR]\n"
           "       cvlog --help | --version\n"
           "Keeps a pilot's flight log and downloads flights from the instruments.\n"
           "  --data-dir DIR  keep the log (CVLog.dbf), the settings and the lock in DIR, an\n"
           "                  existing folder; by default an installed program keeps them in\n"
           "                  $XDG_DATA_HOME/CVLog (~/.local/share/CVLog), a copy that is not\n"
           "                  installed beside its executable\n"
           "  --help          this text\n"
           "  --version       the program's version\n";
}

int AnswerWithoutWindow(const CommandLine& commandLine)
{
    switch (commandLine.action) {
    case CommandLineAction::ShowHelp:
        std::fputs(UsageText().c_str(), stdout);
        return kExitDone;
    case CommandLineAction::ShowVersion:
        std::printf("cvlog %s\n", kVersion);
        return kExitDone;
    case CommandLineAction::UsageError:
        std::fprintf(stderr, "cvlog: %s\n%s", commandLine.error.c_str(), UsageText().c_str());
        return kExitUsage;
    case CommandLineAction::OpenWindow:
        break;
    }
    return kExitDone;
}

} // namespace cvlog
