#include "cli/program_folders.h"

#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sys/stat.h>

namespace cvlog::test
{
namespace
{

namespace fs = std::filesystem;

class ProgramFoldersTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }

    // A folder for an executable, with or without what an install leaves beside it.
    fs::path layout(const fs::path& programDirectory, bool marker)
    {
        const fs::path folder = root / programDirectory;
        fs::create_directories(folder);
        if (marker) {
            const fs::path file
                = (folder.has_filename() ? folder : folder.parent_path()).parent_path() / kInstallMarker;
            fs::create_directories(file.parent_path());
            std::ofstream(file) << "installed\n";
        }
        return root / programDirectory;
    }

    static mode_t mode(const fs::path& path)
    {
        struct stat info {
        };
        return ::stat(path.c_str(), &info) == 0 ? info.st_mode & 07777 : 0;
    }

    QTemporaryDir dir;
    const fs::path root = dir.path().toStdString();
};

TEST_F(ProgramFoldersTest, AnInstalledCopyKeepsItsFilesInTheUserDataFolderAnyOtherBesideItself)
{
    const UserFolders user { "/xdg/data", "/home/pilot" };
    const fs::path usr = layout("usr/bin", true);
    const fs::path unpacked = layout("opt/cvlog/bin/", true); // as the install's path may be given
    const fs::path build = layout("src/build", true);
    const fs::path copy = layout("copy/bin", false);
    fs::create_directories(root / "folder" / kInstallMarker);
    const fs::path markerIsAFolder = layout("folder/bin", false);

    struct Case {
        const char* name;
        fs::path program;
        std::optional<fs::path> dataDirectory;
        bool installed;
        fs::path data;
        std::vector<fs::path> libraries;
        bool createData;
    };
    const Case cases[] = {
        { "installed", usr, std::nullopt, true, "/xdg/data/CVLog", { usr, root / "usr/lib/cvlog" }, true },
        { "unpacked package", unpacked, std::nullopt, true, "/xdg/data/CVLog",
            { unpacked, root / "opt/cvlog/lib/cvlog" }, true },
        { "installed, --data-dir", usr, "/srv/log", true, "/srv/log", { usr, root / "usr/lib/cvlog" },
            false },
        { "build folder", build, std::nullopt, false, build, { build }, false },
        { "a bin folder of its own", copy, std::nullopt, false, copy, { copy }, false },
        { "portable, --data-dir", copy, "/srv/log", false, "/srv/log", { copy }, false },
        { "the marker must be a file", markerIsAFolder, std::nullopt, false, markerIsAFolder,
            { markerIsAFolder }, false },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(isInstalled(c.program), c.installed);
        const ProgramFolders folders = chooseProgramFolders(c.program, c.dataDirectory, user);
        EXPECT_EQ(folders.data, c.data);
        EXPECT_EQ(folders.libraryDirectories, c.libraries);
        EXPECT_EQ(folders.createData, c.createData);
    }

    // A relative --data-dir names a folder below the working directory, once and for all.
    EXPECT_EQ(chooseProgramFolders(copy, fs::path("logs"), user).data, fs::current_path() / "logs");

    struct Environment {
        UserFolders user;
        fs::path data;
        fs::path madeBelow; // what must be there already
    };
    const Environment environments[] = {
        { { "/xdg/data", "/home/pilot" }, "/xdg/data/CVLog", "/xdg" },
        { { "/xdg/data/", "/home/pilot" }, "/xdg/data/CVLog", "/xdg" },
        { { "", "/home/pilot" }, "/home/pilot/.local/share/CVLog", "/home/pilot" },
        // The base directory rules ignore a relative XDG_DATA_HOME.
        { { "relative/data", "/home/pilot" }, "/home/pilot/.local/share/CVLog", "/home/pilot" },
        { { "", "" }, "", "" },
        { { "", "relative-home" }, "", "relative-home" },
    };
    for (const Environment& e : environments) {
        EXPECT_EQ(userDataDirectory(e.user), e.data) << e.user.xdgDataHome << " " << e.user.home;
        EXPECT_EQ(chooseProgramFolders(usr, std::nullopt, e.user).dataMadeBelow, e.madeBelow)
            << e.user.xdgDataHome << " " << e.user.home;
    }
}

TEST_F(ProgramFoldersTest, TheUserDataFolderIsMadePrivateAndANamedOneMustExist)
{
    fs::create_directories(root / "home");
    ::chmod((root / "home").c_str(), 0755);
    std::ofstream(root / "a-file") << "x";

    ProgramFolders made { root / "home/.local/share/CVLog", {}, true, root / "home" };
    EXPECT_EQ(prepareDataFolder(made), "");
    EXPECT_TRUE(fs::is_directory(made.data));
    EXPECT_EQ(mode(root / "home/.local"), 0700u);
    EXPECT_EQ(mode(made.data), 0700u);
    EXPECT_EQ(mode(root / "home"), 0755u) << "a folder that was there is left as it was";
    EXPECT_EQ(prepareDataFolder(made), "") << "the second start finds it";

    struct Case {
        ProgramFolders folders;
        std::string problem;
    };
    const Case cases[] = {
        { { root / "missing", {}, false, {} },
            "The folder for the log, " + (root / "missing").string()
                + ", cannot be used: No such file or directory." },
        { { root / "a-file", {}, false, {} },
            "The folder for the log, " + (root / "a-file").string() + ", cannot be used: Not a directory." },
        { { root / "a-file/CVLog", {}, true, {} },
            "The folder for the log, " + (root / "a-file/CVLog").string()
                + ", cannot be used: Not a directory." },
        { { "", {}, true, {} }, "There is no folder for the log: neither XDG_DATA_HOME nor HOME names one." },
        // A home that is not there, or the disk of XDG_DATA_HOME not mounted.
        { { root / "gone/.local/share/CVLog", {}, true, root / "gone" },
            "The folder for the log, " + (root / "gone/.local/share/CVLog").string()
                + ", cannot be used: No such file or directory." },
    };
    for (const Case& c : cases)
        EXPECT_EQ(prepareDataFolder(c.folders), c.problem);
    EXPECT_FALSE(fs::exists(root / "missing"));
    EXPECT_FALSE(fs::exists(root / "gone"));
}

TEST(ProgramDirectory, IsTheExecutablesDirectoryWithSlashAtAnyPathLength)
{
    const fs::path exe = fs::read_symlink("/proc/self/exe");
    EXPECT_EQ(programDirectory().toStdString(), exe.parent_path().string() + "/");

    QTemporaryDir temp;
    fs::path deep = temp.path().toStdString();
    for (int i = 0; i < 6; ++i)
        deep /= std::string(60, static_cast<char>('a' + i)) + " dir";
    fs::create_directories(deep);
    ASSERT_GT(deep.string().size(), 300u);
    const fs::path copy = deep / "probe";
    fs::copy_file(PROGRAM_DIRECTORY_PROBE, copy);
    QProcess probe;
    probe.start(QString::fromStdString(copy.string()), {});
    ASSERT_TRUE(probe.waitForFinished(30000));
    EXPECT_EQ(probe.readAllStandardOutput().toStdString(), deep.string() + "/");
}

} // namespace
} // namespace cvlog::test
