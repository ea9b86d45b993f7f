#include "app/instance_guard.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace cvlog
{

namespace
{

constexpr mode_t kLockFileMode = 0644;

} // namespace

InstanceGuard::~InstanceGuard()
{
    release();
}

void InstanceGuard::release()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

bool InstanceGuard::acquire(const std::filesystem::path& directory)
{
    release();
    const std::filesystem::path lockPath = directory / kLockFileName;
    // O_CLOEXEC: a program started from here must not inherit, and so keep, our lock.
    int fd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, kLockFileMode);
    if (fd < 0)
        fd = ::open(lockPath.c_str(), O_RDONLY | O_CLOEXEC); // flock needs no write access
    if (fd < 0)
        return true;
    int result;
    do
        result = ::flock(fd, LOCK_EX | LOCK_NB);
    while (result != 0 && errno == EINTR);
    if (result != 0) {
        const bool busy = errno == EWOULDBLOCK;
        ::close(fd);
        return !busy;
    }
    // The lock file is never removed: unlinking it would let a later copy lock a
    // fresh file while an older one still holds the old inode.
    m_fd = fd;
    return true;
}

} // namespace cvlog
