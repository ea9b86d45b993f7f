#include "cli/program_folders.h"

#include <QFile>

#include <cerrno>
#include <cstdlib>
#include <pwd.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>
#include <vector>

namespace cvlog
{

namespace fs = std::filesystem;

namespace
{

// The base directory rules make new data folders readable by their user only.
constexpr mode_t kDataFolderMode = 0700;

// The link's length is not known in advance; grow until it fits.
std::string ownExecutablePath()
{
    std::string buffer(256, '\0');
    for (;;) {
        const ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (n < 0)
            return {};
        if (static_cast<std::size_t>(n) < buffer.size()) {
            buffer.resize(static_cast<std::size_t>(n));
            return buffer;
        }
        buffer.resize(buffer.size() * 2);
    }
}

std::string environment(const char* name)
{
    const char* value = std::getenv(name);
    return value ? value : "";
}

std::string passwordHome()
{
    long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    if (size <= 0)
        size = 16384;
    std::vector<char> buffer(static_cast<std::size_t>(size));
    passwd entry {};
    passwd* found = nullptr;
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || !found
        || !found->pw_dir)
        return {};
    return found->pw_dir;
}

// "/usr/bin/" names the folder "bin", as "/usr/bin" does.
fs::path withoutTrailingSlash(const fs::path& directory)
{
    return directory.has_filename() ? directory : directory.parent_path();
}

fs::path installPrefix(const fs::path& programDirectory)
{
    return withoutTrailingSlash(programDirectory).parent_path();
}

// Each missing level, from the top down, with the private mode.
std::error_code createPrivateFolders(const fs::path& folder)
{
    fs::path made;
    for (const fs::path& part : folder) {
        made /= part;
        if (::mkdir(made.c_str(), kDataFolderMode) != 0 && errno != EEXIST)
            return { errno, std::generic_category() };
    }
    return {};
}

} // namespace

QString programDirectory()
{
    std::string exe = ownExecutablePath();
    // Without /proc the files are looked for in the working directory rather than nowhere.
    if (exe.empty())
        exe = (fs::current_path() / "cvlog").string();
    std::string directory = exe.substr(0, exe.rfind('/') + 1);
    if (directory.empty())
        directory = "./";
    return QFile::decodeName(QByteArray::fromStdString(directory));
}

bool isInstalled(const fs::path& programDirectory)
{
    std::error_code ec;
    return withoutTrailingSlash(programDirectory).filename() == "bin"
        && fs::is_regular_file(installPrefix(programDirectory) / kInstallMarker, ec);
}

UserFolders UserFolders::fromEnvironment()
{
    UserFolders user { environment("XDG_DATA_HOME"), environment("HOME") };
    if (user.home.empty())
        user.home = passwordHome();
    return user;
}

fs::path userDataDirectory(const UserFolders& user)
{
    if (fs::path(user.xdgDataHome).is_absolute())
        return fs::path(user.xdgDataHome) / kDataFolderName;
    if (fs::path(user.home).is_absolute())
        return fs::path(user.home) / ".local/share" / kDataFolderName;
    return {};
}

ProgramFolders chooseProgramFolders(
    const fs::path& programDirectory, const std::optional<fs::path>& dataDirectory, const UserFolders& user)
{
    ProgramFolders folders;
    folders.libraryDirectories.push_back(programDirectory);
    const bool installed = isInstalled(programDirectory);
    if (installed)
        folders.libraryDirectories.push_back(installPrefix(programDirectory) / kInstalledLibraryFolder);
    if (dataDirectory) {
        std::error_code ec;
        const fs::path absolute = fs::absolute(*dataDirectory, ec);
        folders.data = ec ? *dataDirectory : absolute;
    } else if (installed) {
        folders.data = userDataDirectory(user);
        folders.createData = true;
        folders.dataMadeBelow = fs::path(user.xdgDataHome).is_absolute()
            ? withoutTrailingSlash(fs::path(user.xdgDataHome).lexically_normal()).parent_path()
            : fs::path(user.home);
    } else {
        folders.data = programDirectory;
    }
    return folders;
}

std::string prepareDataFolder(const ProgramFolders& folders)
{
    if (folders.data.empty())
        return "There is no folder for the log: neither XDG_DATA_HOME nor HOME names one.";
    std::error_code ec;
    if (folders.createData) {
        if (!folders.dataMadeBelow.empty() && !fs::is_directory(folders.dataMadeBelow, ec) && !ec)
            ec = std::make_error_code(std::errc::no_such_file_or_directory);
        if (!ec)
            ec = createPrivateFolders(folders.data);
    }
    if (!ec && !fs::is_directory(folders.data, ec) && !ec)
        ec = std::make_error_code(std::errc::not_a_directory);
    if (!ec)
        return {};
    return "The folder for the log, " + folders.data.string() + ", cannot be used: " + ec.message() + ".";
}

} // namespace cvlog
