#include "logstore/dbf_file.h"

#include "logstore/dbf_table.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace cvlog
{

namespace
{

constexpr mode_t kNewFileMode = 0644;

int openFlags(DbfFile::Mode mode)
{
    switch (mode) {
    case DbfFile::Mode::ReadOnly:
        return O_RDONLY;
    case DbfFile::Mode::ReadWrite:
        return O_RDWR;
    case DbfFile::Mode::CreateTruncate:
        return O_RDWR | O_CREAT | O_TRUNC;
    case DbfFile::Mode::CreateExclusive:
        return O_RDWR | O_CREAT | O_EXCL;
    }
    return O_RDONLY;
}

} // namespace

DbfFile::DbfFile(const std::filesystem::path& path, Mode mode)
    : path_(path.string())
{
    do
        fd_ = ::open(path_.c_str(), openFlags(mode) | O_CLOEXEC, kNewFileMode);
    while (fd_ < 0 && errno == EINTR);
    if (fd_ < 0)
        fail("Cannot open file");
}

DbfFile::~DbfFile()
{
    close();
}

DbfFile::DbfFile(DbfFile&& other) noexcept
    : fd_(std::exchange(other.fd_, -1))
    , path_(std::move(other.path_))
{
}

DbfFile& DbfFile::operator=(DbfFile&& other) noexcept
{
    if (this != &other) {
        close();
        fd_ = std::exchange(other.fd_, -1);
        path_ = std::move(other.path_);
    }
    return *this;
}

std::uint64_t DbfFile::size() const
{
    struct stat st {
    };
    if (::fstat(fd_, &st) != 0)
        fail("Cannot read file");
    return static_cast<std::uint64_t>(st.st_size);
}

std::size_t DbfFile::readAt(std::uint64_t offset, void* buffer, std::size_t length) const
{
    auto* out = static_cast<char*>(buffer);
    std::size_t done = 0;
    while (done < length) {
        const ssize_t n = ::pread(fd_, out + done, length - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            fail("Cannot read file");
        if (n == 0)
            break;
        done += static_cast<std::size_t>(n);
    }
    return done;
}

void DbfFile::writeAt(std::uint64_t offset, const void* buffer, std::size_t length)
{
    const auto* in = static_cast<const char*>(buffer);
    std::size_t done = 0;
    while (done < length) {
        const ssize_t n = ::pwrite(fd_, in + done, length - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n == 0)
            errno = EIO;
        if (n <= 0)
            fail("Cannot write file");
        done += static_cast<std::size_t>(n);
    }
}

void DbfFile::sync()
{
    if (::fsync(fd_) != 0)
        fail("Cannot write file");
}

void DbfFile::close()
{
    if (fd_ >= 0)
        ::close(std::exchange(fd_, -1));
}

void DbfFile::fail(const char* what) const
{
    const int error = errno;
    throw DbfError(std::string(what) + " \"" + path_ + "\". " + std::strerror(error));
}

} // namespace cvlog
