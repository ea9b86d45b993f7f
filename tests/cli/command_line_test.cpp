#include "cli/command_line.h"

#include <gtest/gtest.h>

namespace cvlog::test
{
namespace
{

TEST(CommandLine, OptionsOursAndTheToolkitsAndWhatIsRefused)
{
    using Action = CommandLineAction;
    struct Case {
        std::vector<std::string> arguments;
        Action action;
        std::optional<std::filesystem::path> dataDirectory;
        std::string error;
    };
    const Case cases[] = {
        { {}, Action::OpenWindow, std::nullopt, "" },
        { { "--data-dir", "/srv/log" }, Action::OpenWindow, "/srv/log", "" },
        { { "--data-dir=/srv/log" }, Action::OpenWindow, "/srv/log", "" },
        { { "--data-dir", "a", "--data-dir", "b" }, Action::OpenWindow, "b", "" },
        // A folder whose name looks like an option is still the value.
        { { "--data-dir", "--help" }, Action::OpenWindow, "--help", "" },
        { { "--help" }, Action::ShowHelp, std::nullopt, "" },
        { { "-h" }, Action::ShowHelp, std::nullopt, "" },
        { { "--data-dir", "x", "--version", "--bogus" }, Action::ShowVersion, "x", "" },
        // The toolkit's own options, as a desktop or a session manager gives them.
        { { "-style", "fusion", "--platform=offscreen", "-reverse", "-session", "1a2b" }, Action::OpenWindow,
            std::nullopt, "" },
        { { "--bogus" }, Action::UsageError, std::nullopt, "unknown option \"--bogus\"" },
        { { "-data-dir", "x" }, Action::UsageError, std::nullopt, "unknown option \"-data-dir\"" },
        { { "-reverse=1" }, Action::UsageError, std::nullopt, "unknown option \"-reverse=1\"" },
        { { "export" }, Action::UsageError, std::nullopt, "unexpected argument \"export\"" },
        { { "-" }, Action::UsageError, std::nullopt, "unexpected argument \"-\"" },
        { { "--data-dir" }, Action::UsageError, std::nullopt, "option \"--data-dir\" needs a value" },
        { { "-style" }, Action::UsageError, std::nullopt, "option \"-style\" needs a value" },
        { { "--data-dir=" }, Action::UsageError, std::nullopt, "--data-dir needs a folder" },
    };
    for (const Case& c : cases) {
        const CommandLine parsed = ParseCommandLine(c.arguments);
        std::string shown;
        for (const std::string& a : c.arguments)
            shown += a + ' ';
        EXPECT_EQ(parsed.action, c.action) << shown;
        EXPECT_EQ(parsed.dataDirectory, c.dataDirectory) << shown;
        EXPECT_EQ(parsed.error, c.error) << shown;
    }

    const char* argv[] = { "/usr/bin/cvlog", "--data-dir", "/srv/log" };
    EXPECT_EQ(ParseCommandLine(3, argv).dataDirectory, std::filesystem::path("/srv/log"));
    EXPECT_EQ(ParseCommandLine(0, argv).action, Action::OpenWindow);
}

} // namespace
} // namespace cvlog::test
