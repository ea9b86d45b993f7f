#include "link/device_access.h"

#include "link/comm.h"

#include <QStringList>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <fstream>
#include <grp.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace cvlog
{

namespace fs = std::filesystem;

namespace
{

// A character device is the same device under any node that names it (a
// /dev/serial/by-id link, a second node); any other file is its inode.
bool sameFile(const struct stat& a, const struct stat& b)
{
    if (S_ISCHR(a.st_mode) && S_ISCHR(b.st_mode))
        return a.st_rdev == b.st_rdev;
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

bool parsePid(const std::string& text, pid_t* pid)
{
    const char* end = text.data() + text.size();
    const auto [last, error] = std::from_chars(text.data(), end, *pid);
    return error == std::errc() && last == end && *pid > 0;
}

bool holdsFile(const fs::path& process, const struct stat& target)
{
    std::error_code ec;
    for (fs::directory_iterator it(process / "fd", ec), end; !ec && it != end; it.increment(ec)) {
        struct stat info {
        };
        // stat follows the descriptor's link to the open file itself.
        if (::stat(it->path().c_str(), &info) == 0 && sameFile(info, target))
            return true;
    }
    return false;
}

std::string commandName(const fs::path& process)
{
    std::ifstream comm(process / "comm");
    std::string name;
    std::getline(comm, name);
    return name;
}

QString holdersText(const std::vector<DeviceHolder>& holders)
{
    QStringList named;
    for (const DeviceHolder& holder : holders) {
        named << (holder.name.empty() ? QStringLiteral("process %1").arg(holder.pid)
                                      : QStringLiteral("%1 (process %2)")
                                            .arg(QString::fromLocal8Bit(holder.name.c_str()))
                                            .arg(holder.pid));
    }
    return named.join(QStringLiteral(", "));
}

QString permissionHelp(const QString& group)
{
    QString help = QStringLiteral("\nThe device belongs to the group \"%1\". To be let in, either:"
                                  "\n- with CVLog's udev rule installed, log out and in again, or unplug"
                                  " the adapter and plug it in again;")
                       .arg(group);
    // Joining the administrators' group to reach one device would be bad advice.
    if (group != QLatin1String("root"))
        help += QStringLiteral("\n- or join the group: sudo usermod -aG %1 $USER, then log out and in again.")
                    .arg(group);
    return help;
}

QString channelText(const SerialChannelError& error)
{
    // The channel's text without the " (Error: n) " it carries for the message box.
    const std::string what = error.what();
    return QString::fromStdString(what.substr(0, what.find(" (Error:")));
}

} // namespace

std::vector<DeviceHolder> deviceHolders(const fs::path& device, const fs::path& procRoot)
{
    std::vector<DeviceHolder> holders;
    struct stat target {
    };
    if (::stat(device.c_str(), &target) != 0)
        return holders;
    std::error_code ec;
    for (fs::directory_iterator it(procRoot, ec), end; !ec && it != end; it.increment(ec)) {
        pid_t pid = 0;
        if (parsePid(it->path().filename().string(), &pid) && holdsFile(it->path(), target))
            holders.push_back({ pid, commandName(it->path()) });
    }
    std::sort(holders.begin(), holders.end(),
        [](const DeviceHolder& a, const DeviceHolder& b) { return a.pid < b.pid; });
    return holders;
}

QString owningGroupName(const fs::path& file)
{
    struct stat info {
    };
    if (::stat(file.c_str(), &info) != 0)
        return {};
    long size = ::sysconf(_SC_GETGR_R_SIZE_MAX);
    if (size <= 0)
        size = 16384;
    std::vector<char> buffer(static_cast<std::size_t>(size));
    group entry {};
    group* found = nullptr;
    if (::getgrgid_r(info.st_gid, &entry, buffer.data(), buffer.size(), &found) != 0 || !found)
        return QString::number(info.st_gid);
    return QString::fromLocal8Bit(found->gr_name);
}

QString portFailureDetail(const fs::path& device, const SerialChannelError& error, const fs::path& procRoot)
{
    const QString file = QString::fromLocal8Bit(device.c_str());
    const int code = error.errorCode();
    if (code <= 0)
        return file + QStringLiteral(": ") + channelText(error);

    // The advisory lock refuses with "would block", which says nothing to the
    // user; the device is simply busy.
    const bool busy = code == EWOULDBLOCK || code == EBUSY;
    QString detail = file + QStringLiteral(": ")
        + QString::fromStdString(std::generic_category().message(busy ? EBUSY : code));
    if (code == EACCES || code == EPERM) {
        if (const QString group = owningGroupName(device); !group.isEmpty())
            detail += permissionHelp(group);
    } else if (busy) {
        if (const std::vector<DeviceHolder> holders = deviceHolders(device, procRoot); !holders.empty())
            detail += QStringLiteral("; it is held by ") + holdersText(holders);
    }
    return detail;
}

} // namespace cvlog
