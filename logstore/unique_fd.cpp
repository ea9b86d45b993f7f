#include "logstore/unique_fd.h"

#include "logstore/file_error.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace cvlog
{

void UniqueFd::reset(int fd)
{
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = fd;
}

UniqueFd openPlainFileForReading(const std::filesystem::path& path)
{
    UniqueFd fd;
    do
        fd.reset(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    while (!fd && errno == EINTR);
    if (!fd)
        throw FileError(errno);
    struct stat st {
    };
    if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode))
        throw FileError(S_ISDIR(st.st_mode) ? EISDIR : EACCES);
    ::fcntl(fd.get(), F_SETFL, ::fcntl(fd.get(), F_GETFL) & ~O_NONBLOCK);
    return fd;
}

} // namespace cvlog
