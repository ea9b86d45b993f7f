#pragma once
// Where the program's files live. A copy run from its build folder or from
// an unpacked archive keeps the log, the settings, the lock and the safety
// copies beside its executable, as it always did. An installed copy never
// writes into its install prefix: it keeps them in the user's data folder,
// $XDG_DATA_HOME/CVLog. A copy is installed when its executable stands in a
// "bin" folder beside "share/cvlog/installed", which only the install puts
// there (the contents of the package, unpacked anywhere, count too).

#include <QString>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace cvlog
{

// Below the install prefix.
inline constexpr const char* kInstallMarker = "share/cvlog/installed";
inline constexpr const char* kInstalledLibraryFolder = "lib/cvlog";
// Below $XDG_DATA_HOME.
inline constexpr const char* kDataFolderName = "CVLog";

// The directory of the program's own executable, ending in "/". Paths of
// any length work.
QString programDirectory();

bool isInstalled(const std::filesystem::path& programDirectory);

// What the user's environment says about the user's folders.
struct UserFolders {
    std::string xdgDataHome;
    std::string home; // $HOME, or the home of the password entry
    static UserFolders fromEnvironment();
};

// $XDG_DATA_HOME/CVLog, or ~/.local/share/CVLog when XDG_DATA_HOME is unset
// or not absolute (the base directory rules ignore a relative one); empty
// when there is no usable home either.
std::filesystem::path userDataDirectory(const UserFolders& user);

struct ProgramFolders {
    std::filesystem::path data; // the log, the settings, the lock, the safety copies
    // Looked in for the USB bridge library, in order, before the system's search.
    std::vector<std::filesystem::path> libraryDirectories;
    // The data folder is made on first start (the user's); one named on the
    // command line must exist already, so that a mistyped or unmounted one
    // never starts an empty log.
    bool createData = false;
    // What must be there before the data folder is made: the home folder,
    // or the folder that holds XDG_DATA_HOME, so that a home or a disk that
    // is missing (not mounted) is never made up on another disk.
    std::filesystem::path dataMadeBelow;
};

ProgramFolders chooseProgramFolders(const std::filesystem::path& programDirectory,
    const std::optional<std::filesystem::path>& dataDirectory, const UserFolders& user);

// Makes the data folder (each missing level private to the user) where it
// is to be made and checks that it is a folder; the reason why not, or
// empty when it is ready.
std::string prepareDataFolder(const ProgramFolders& folders);

} // namespace cvlog
