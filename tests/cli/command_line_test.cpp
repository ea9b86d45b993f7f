#include "cli/command_line.h"

#include <gtest/gtest.h>

#include <functional>

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
        { { "exports" }, Action::UsageError, std::nullopt, "unexpected argument \"exports\"" },
        { { "-" }, Action::UsageError, std::nullopt, "unexpected argument \"-\"" },
        { { "--data-dir" }, Action::UsageError, std::nullopt, "option \"--data-dir\" needs a value" },
        { { "-style" }, Action::UsageError, std::nullopt, "option \"-style\" needs a value" },
        { { "--data-dir=" }, Action::UsageError, std::nullopt, "--data-dir needs a folder" },
    };
    for (const Case& c : cases) {
        const CommandLine parsed = parseCommandLine(c.arguments);
        std::string shown;
        for (const std::string& a : c.arguments)
            shown += a + ' ';
        EXPECT_EQ(parsed.action, c.action) << shown;
        EXPECT_EQ(parsed.dataDirectory, c.dataDirectory) << shown;
        EXPECT_EQ(parsed.error, c.error) << shown;
    }

    const char* argv[] = { "/usr/bin/cvlog", "--data-dir", "/srv/log" };
    EXPECT_EQ(parseCommandLine(3, argv).dataDirectory, std::filesystem::path("/srv/log"));
    EXPECT_EQ(parseCommandLine(0, argv).action, Action::OpenWindow);
}

// What a command line should give: a command to run, or a usage error.
struct CommandCase {
    std::vector<std::string> arguments;
    CommandLine expected;
};

CommandCase command(std::vector<std::string> arguments, LogCommand which, std::filesystem::path file = {},
    const std::function<void(CommandLine&)>& more = {})
{
    CommandLine expected;
    expected.action = CommandLineAction::RunCommand;
    expected.command = which;
    expected.file = std::move(file);
    if (more)
        more(expected);
    return { std::move(arguments), expected };
}

CommandCase refused(std::vector<std::string> arguments, std::string error)
{
    CommandLine expected;
    expected.action = CommandLineAction::UsageError;
    expected.error = std::move(error);
    return { std::move(arguments), expected };
}

TEST(CommandLine, CommandsForScripts)
{
    const QDate march1(2026, 3, 1);
    const QDate march31(2026, 3, 31);
    const CommandCase cases[] = {
        command({ "export", "--csv", "out.csv" }, LogCommand::Export, "out.csv",
            [](CommandLine& c) { c.csv = true; }),
        command({ "--data-dir", "/srv", "export", "--text=t.txt", "--from", "2026-03-01", "--to=2026-03-31" },
            LogCommand::Export, "t.txt",
            [&](CommandLine& c) {
                c.from = march1;
                c.to = march31;
                c.dataDirectory = "/srv";
            }),
        command({ "export", "--to", "2026-03-01", "--from", "2026-03-01", "--csv", "a", "--data-dir", "/d" },
            LogCommand::Export, "a",
            [&](CommandLine& c) {
                c.csv = true;
                c.from = march1;
                c.to = march1;
                c.dataDirectory = "/d";
            }),
        command({ "report", "--pdf", "r.pdf", "--from", "2024-02-29" }, LogCommand::Report, "r.pdf",
            [](CommandLine& c) { c.from = QDate(2024, 2, 29); }),
        command({ "backup", "b.dbf" }, LogCommand::Backup, "b.dbf"),
        command({ "restore", "./-x.dbf" }, LogCommand::Restore, "./-x.dbf"),
        command({ "stats" }, LogCommand::Stats),
        command({ "stats", "--json", "--to", "2026-03-31" }, LogCommand::Stats, {},
            [&](CommandLine& c) {
                c.json = true;
                c.to = march31;
            }),
        // A name that is a command's, given as a value, is the value.
        command({ "-style", "fusion", "backup", "stats" }, LogCommand::Backup, "stats"),
        refused({ "export" }, "export needs --csv FILE or --text FILE"),
        refused({ "export", "--csv", "a", "--text", "b" }, "more than one file given to export"),
        refused({ "export", "--csv=" }, "--csv needs a file"),
        refused({ "export", "--pdf", "a" }, "unknown option \"--pdf\" for export"),
        refused({ "export", "--csv", "a", "extra" }, "unexpected argument \"extra\""),
        refused({ "export", "--csv", "a", "--from" }, "option \"--from\" needs a value"),
        refused({ "export", "--csv", "a", "--from", "2026-3-01" },
            "--from needs a date as YYYY-MM-DD, not \"2026-3-01\""),
        refused({ "export", "--csv", "a", "--to", "2025-02-29" },
            "--to needs a date as YYYY-MM-DD, not \"2025-02-29\""),
        refused({ "export", "--csv", "a", "--to", "2026-13-01" },
            "--to needs a date as YYYY-MM-DD, not \"2026-13-01\""),
        refused({ "export", "--csv", "a", "--from", "2026/03/01" },
            "--from needs a date as YYYY-MM-DD, not \"2026/03/01\""),
        refused({ "report", "--pdf", "a", "--from", "2026-03-31", "--to", "2026-03-01" },
            "--to is before --from"),
        refused({ "report", "r.pdf" }, "unexpected argument \"r.pdf\""),
        refused({ "backup" }, "backup needs a file"),
        refused({ "backup", "a", "b" }, "more than one file given to backup"),
        refused({ "restore", "--data-dir", "/d", "--x.dbf" }, "unknown option \"--x.dbf\" for restore"),
        refused({ "restore", "--from", "2026-03-01", "a" }, "unknown option \"--from\" for restore"),
        refused({ "stats", "--json=yes" }, "--json takes no value"),
        refused({ "stats", "-platform", "offscreen" }, "unexpected argument \"-platform\""),
    };
    for (const CommandCase& c : cases) {
        const CommandLine parsed = parseCommandLine(c.arguments);
        std::string shown;
        for (const std::string& a : c.arguments)
            shown += a + ' ';
        EXPECT_EQ(parsed.action, c.expected.action) << shown;
        EXPECT_EQ(parsed.error, c.expected.error) << shown;
        if (parsed.action != CommandLineAction::RunCommand)
            continue;
        EXPECT_EQ(parsed.command, c.expected.command) << shown;
        EXPECT_EQ(parsed.file, c.expected.file) << shown;
        EXPECT_EQ(parsed.csv, c.expected.csv) << shown;
        EXPECT_EQ(parsed.json, c.expected.json) << shown;
        EXPECT_EQ(parsed.from, c.expected.from) << shown;
        EXPECT_EQ(parsed.to, c.expected.to) << shown;
        EXPECT_EQ(parsed.dataDirectory, c.expected.dataDirectory) << shown;
    }
    EXPECT_EQ(parseCommandLine({ "backup", "--help" }).action, CommandLineAction::ShowHelp);
}

} // namespace
} // namespace cvlog::test
