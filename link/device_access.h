#pragma once
// Why a serial device could not be opened, said so that the user can act:
// for a permission, the group that owns the device and the two ways in; for
// a busy device, the programs that hold it, as far as /proc lets us see (a
// modem manager or a braille driver often grabs a new USB serial adapter).

#include <QString>

#include <filesystem>
#include <string>
#include <sys/types.h>
#include <vector>

namespace cvlog
{

class SerialChannelError;

struct DeviceHolder {
    pid_t pid = 0;
    std::string name; // the process's command name; empty when unreadable
};

// The processes with the device open, in pid order, found through the
// descriptor links under procRoot that we may read; others are passed over.
std::vector<DeviceHolder> deviceHolders(
    const std::filesystem::path& device, const std::filesystem::path& procRoot = "/proc");

// The name of the group that owns the file, its number when the group has
// no name, or empty when the file cannot be looked at.
QString owningGroupName(const std::filesystem::path& file);

// The text under the "not available" message: the device file and why it
// could not be opened, with the help above where it applies.
QString portFailureDetail(const std::filesystem::path& device, const SerialChannelError& error,
    const std::filesystem::path& procRoot = "/proc");

} // namespace cvlog
