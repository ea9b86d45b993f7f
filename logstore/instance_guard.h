#pragma once
// Keeps a second copy of the program from working on the same table and
// settings: an exclusive flock on "CVLOG1.lock" in the data folder, so two
// copies with different data folders run side by side. The system drops the
// lock when the holding process ends, however it ends, so a crashed copy
// never blocks the next start.

#include "logstore/file_names.h"
#include "logstore/unique_fd.h"

#include <filesystem>

namespace cvlog
{

class InstanceGuard
{
public:
    static constexpr const char* kLockFileName = ::cvlog::kLockFileName;

    InstanceGuard() = default;
    InstanceGuard(const InstanceGuard&) = delete;
    InstanceGuard& operator=(const InstanceGuard&) = delete;

    // false: another copy holds the lock in that directory. A directory where
    // no lock file can be made or opened cannot be guarded; that gives true.
    bool acquire(const std::filesystem::path& directory);

    // The lock is held (false also when acquire returned true without a lock).
    bool holdsLock() const { return m_fd.valid(); }

private:
    UniqueFd m_fd;
};

} // namespace cvlog
