#include "logstore/instance_guard.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <utility>

namespace cvlog
{

namespace
{

constexpr mode_t kLockFileMode = 0644;

} // namespace

bool InstanceGuard::acquire(const std::filesystem::path& directory)
{
    m_fd.reset();
    const std::filesystem::path lockPath = directory / kLockFileName;
    // O_CLOEXEC: a program started from here must not inherit, and so keep, our lock.
    UniqueFd fd(::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, kLockFileMode));
    if (!fd)
        fd.reset(::open(lockPath.c_str(), O_RDONLY | O_CLOEXEC)); // flock needs no write access
    if (!fd)
        return true;
    int result;
    do
        result = ::flock(fd.get(), LOCK_EX | LOCK_NB);
    while (result != 0 && errno == EINTR);
    if (result != 0)
        return errno != EWOULDBLOCK;
    // The lock file is never removed: unlinking it would let a later copy lock a
    // fresh file while an older one still holds the old inode.
    m_fd = std::move(fd);
    return true;
}

} // namespace cvlog
