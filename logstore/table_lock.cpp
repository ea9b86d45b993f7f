#include "logstore/table_lock.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <thread>

namespace cvlog
{

namespace
{

int lock(int fd, int operation)
{
    int result;
    do
        result = ::flock(fd, operation);
    while (result != 0 && errno == EINTR);
    return result == 0 ? 0 : errno;
}

constexpr std::chrono::milliseconds kRetryInterval(10);

// Waits, trying again and again, until the lock is had, the file system
// turns out to have none, or the patience is spent.
int lockWithin(int fd, int operation, std::chrono::milliseconds patience)
{
    const auto deadline = std::chrono::steady_clock::now() + patience;
    for (;;) {
        const int error = lock(fd, operation | LOCK_NB);
        if (error != EWOULDBLOCK || std::chrono::steady_clock::now() >= deadline)
            return error;
        std::this_thread::sleep_for(kRetryInterval);
    }
}

} // namespace

WriteLock lockTableForWriting(int fd, std::chrono::milliseconds patience)
{
    switch (lockWithin(fd, LOCK_EX, patience)) {
    case 0:
        return WriteLock::Held;
    case EWOULDBLOCK:
        return WriteLock::Busy;
    default:
        return WriteLock::Unsupported;
    }
}

void unlockTable(int fd)
{
    ::flock(fd, LOCK_UN);
}

TableReadLock::TableReadLock(const std::filesystem::path& table, std::chrono::milliseconds patience)
    : fd_(::open(table.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK))
{
    if (!fd_)
        return;
    const int error = lockWithin(fd_.get(), LOCK_SH, patience);
    if (error != 0) {
        busy_ = error == EWOULDBLOCK;
        fd_.reset();
    }
}

} // namespace cvlog
