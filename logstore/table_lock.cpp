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

} // namespace

bool lockTableForWriting(int fd)
{
    return lock(fd, LOCK_EX) == 0;
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
    const auto deadline = std::chrono::steady_clock::now() + patience;
    for (;;) {
        const int error = lock(fd_.get(), LOCK_SH | LOCK_NB);
        if (error == 0)
            return;
        if (error != EWOULDBLOCK) {
            fd_.reset();
            return;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            busy_ = true;
            fd_.reset();
            return;
        }
        std::this_thread::sleep_for(kRetryInterval);
    }
}

} // namespace cvlog
