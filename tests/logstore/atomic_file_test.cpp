// What a command may write over: a file appears whole or not at all, links
// are written through, and a target that the user may not write, or that is
// no plain file, is refused before anything is made. The user's cases run
// as an ordinary user, since root may write anything.

#include "logstore/atomic_file.h"
#include "logstore/file_error.h"
#include "table_test_support.h"

#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <optional>

namespace cvlog::testing
{
namespace
{

namespace fs = std::filesystem;

constexpr uid_t kNobody = 65534;

// Writes "new" to the target as the given user; the error text, or "" when written.
std::string writeAs(std::optional<uid_t> user, const fs::path& target)
{
    auto attempt = [&target]() -> std::string {
        try {
            AtomicFile file(target);
            file.write("new");
            file.commit();
            return {};
        } catch (const FileError& error) {
            return error.what();
        }
    };
    if (!user)
        return attempt();
    int channel[2];
    if (::pipe(channel) != 0)
        return "no pipe";
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(channel[0]);
        const std::string said = ::setgroups(0, nullptr) == 0 && ::setgid(*user) == 0 && ::setuid(*user) == 0
            ? attempt()
            : "no user";
        [[maybe_unused]] const auto written = ::write(channel[1], said.data(), said.size());
        ::_exit(0);
    }
    ::close(channel[1]);
    std::string said;
    char buffer[256];
    for (ssize_t n; (n = ::read(channel[0], buffer, sizeof buffer)) > 0;)
        said.append(buffer, static_cast<std::size_t>(n));
    ::close(channel[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    return said;
}

std::vector<std::string> leftovers(const fs::path& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        if (entry.path().filename().string().find(".cvlog-") != std::string::npos)
            names.push_back(entry.path().filename().string());
    }
    return names;
}

class AtomicFileTest : public TableTest
{
};

TEST_F(AtomicFileTest, TargetsAreWrittenThroughLinksOrRefusedUntouched)
{
    const bool root = ::geteuid() == 0;
    const fs::path own = file("own");
    fs::create_directories(own);
    fs::create_directories(file("locked"));
    ::mkfifo(file("pipe").c_str(), 0666);
    writeBytes(own / "readonly.txt", "old");
    writeBytes(file("locked") / "inside.txt", "old");
    writeBytes(own / "roots.txt", "old");
    writeBytes(file("real.txt"), "old");
    fs::create_symlink("real.txt", file("link.txt"));
    fs::create_symlink("link.txt", file("link-to-link.txt"));
    fs::create_symlink("later.txt", file("dangling.txt"));
    fs::create_symlink("loop-b", file("loop-a"));
    fs::create_symlink("loop-a", file("loop-b"));
    if (root) {
        // The ordinary user owns "own" and what is in it, but not roots.txt,
        // and may only read and enter "locked".
        for (const fs::path& p : { own, own / "readonly.txt", file("locked"), file("locked") / "inside.txt" })
            ASSERT_EQ(::chown(p.c_str(), kNobody, kNobody), 0);
        ::chmod(dir_.path().toStdString().c_str(), 0755);
        fs::permissions(own / "readonly.txt", fs::perms(0444));
        fs::permissions(file("locked"), fs::perms(0555));
    }

    struct Case {
        const char* name;
        fs::path target;
        bool asUser; // run as an ordinary user (only where the test runs as root)
        const char* refusal; // nullptr: written
        fs::path written; // where the new bytes land
    };
    const Case cases[] = {
        { "a new file", file("new.txt"), false, nullptr, file("new.txt") },
        { "an existing file", file("real.txt"), false, nullptr, file("real.txt") },
        { "a link", file("link.txt"), false, nullptr, file("real.txt") },
        { "a link to a link", file("link-to-link.txt"), false, nullptr, file("real.txt") },
        { "a link to nothing yet", file("dangling.txt"), false, nullptr, file("later.txt") },
        { "a folder", own, false, "File access denied", {} },
        { "a pipe", file("pipe"), false, "File access denied", {} },
        { "a device", "/dev/null", false, "File access denied", {} },
        { "a missing folder", file("missing") / "x.txt", false, "File not found", {} },
        { "the longest name a folder takes", file(std::string(255, 'n').c_str()), false, nullptr,
            file(std::string(255, 'n').c_str()) },
        { "a loop of links", file("loop-a"), false, "Invalid filename", {} },
        { "a read-only file of the user's", own / "readonly.txt", true, "File access denied", {} },
        { "a file of someone else's", own / "roots.txt", true, "File access denied", {} },
        { "a file in a read-only folder", file("locked") / "inside.txt", true, "File access denied", {} },
        { "a new file in a read-only folder", file("locked") / "new.txt", true, "File access denied", {} },
        { "a new file in the user's folder", own / "new.txt", true, nullptr, own / "new.txt" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.asUser && !root)
            continue;
        std::error_code ec;
        const bool existed = fs::exists(c.target, ec);
        const std::string before = fs::is_regular_file(c.target, ec) ? readBytes(c.target) : std::string();
        const bool wasLink = fs::is_symlink(c.target, ec);
        const std::string said = writeAs(c.asUser ? std::optional(kNobody) : std::nullopt, c.target);
        if (c.refusal == nullptr) {
            EXPECT_EQ(said, "");
            EXPECT_EQ(readBytes(c.written), "new");
            EXPECT_EQ(fs::is_symlink(c.target), wasLink);
        } else {
            EXPECT_EQ(said, c.refusal);
            EXPECT_EQ(fs::exists(c.target, ec), existed);
            if (fs::is_regular_file(c.target, ec)) {
                EXPECT_EQ(readBytes(c.target), before);
            }
        }
        if (fs::is_directory(c.target.parent_path(), ec)) {
            EXPECT_EQ(leftovers(c.target.parent_path()), std::vector<std::string> {});
        }
    }
    EXPECT_TRUE(fs::is_character_file("/dev/null"));
    EXPECT_TRUE(fs::is_fifo(file("pipe")));
}

// A writer that ends before its commit leaves nothing under the target's
// name; what a killed named writer leaves is cleared away at the next start,
// and only files of the program's own pattern are.
TEST_F(AtomicFileTest, WhatAnEndedWriterLeavesIsClearedAway)
{
    writeBytes(file("CVLog.dbf"), "the log");
    {
        AtomicFile unnamed(file("out.txt"));
        unnamed.write("half");
        AtomicFile named(file("CVLog.dbf"), { .named = true });
        named.write("half a new log");
        fs::copy_file(named.temporaryPath(), file(".CVLog.dbf.cvlog-Ab12Cd"));
    }
    writeBytes(file(".profile.cvlog"), "of another program");
    writeBytes(file(".CVLog.dbf.cvlog-short"), "not of the pattern");
    removeLeftoverTemporaries(file().parent_path());
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(file().parent_path()))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string> { ".CVLog.dbf.cvlog-short", ".profile.cvlog", "CVLog.dbf" }));
    EXPECT_EQ(readBytes(file("CVLog.dbf")), "the log");
}

} // namespace
} // namespace cvlog::testing
