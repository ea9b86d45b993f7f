#include "logstore/dbf_file.h"

#include "logstore/dbf_table.h"
#include "logstore/file_error.h"
#include "logstore/file_faults.h"
#include "logstore/table_lock.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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
    const bool creating = mode == Mode::CreateTruncate || mode == Mode::CreateExclusive;
    if (creating) {
        if (const int error = injectedFileFault(FileStep::Create, path)) {
            errno = error;
            fail("Cannot open file");
        }
    }
    // Without O_NONBLOCK a pipe named as a table would block the program
    // until someone writes into it.
    do
        fd_.reset(::open(path_.c_str(), openFlags(mode) | O_CLOEXEC | O_NONBLOCK, kNewFileMode));
    while (!fd_ && errno == EINTR);
    if (!fd_)
        fail("Cannot open file");
    struct stat st {
    };
    if (::fstat(fd_.get(), &st) != 0)
        fail("Cannot open file");
    if (!S_ISREG(st.st_mode)) {
        close();
        throw DbfError("Cannot open file \"" + path_ + "\". It is not a regular file");
    }
    ::fcntl(fd_.get(), F_SETFL, ::fcntl(fd_.get(), F_GETFL) & ~O_NONBLOCK);
}

std::uint64_t DbfFile::size() const
{
    struct stat st {
    };
    if (::fstat(fd_.get(), &st) != 0)
        fail("Cannot read file");
    return static_cast<std::uint64_t>(st.st_size);
}

std::size_t DbfFile::readAt(std::uint64_t offset, void* buffer, std::size_t length) const
{
    auto* out = static_cast<char*>(buffer);
    std::size_t done = 0;
    while (done < length) {
        const ssize_t n = ::pread(fd_.get(), out + done, length - done, static_cast<off_t>(offset + done));
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
    if (const int error = injectedFileFault(FileStep::Write, path_))
        failWrite(error);
    holdWriteLock();
    const auto* in = static_cast<const char*>(buffer);
    std::size_t done = 0;
    while (done < length) {
        const ssize_t n = ::pwrite(fd_.get(), in + done, length - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            failWrite(errno);
        if (n == 0)
            failWrite(ENOSPC);
        done += static_cast<std::size_t>(n);
    }
}

void DbfFile::truncate(std::uint64_t length)
{
    holdWriteLock();
    while (::ftruncate(fd_.get(), static_cast<off_t>(length)) != 0) {
        if (errno != EINTR)
            failWrite(errno);
    }
}

void DbfFile::sync()
{
    if (const int error = injectedFileFault(FileStep::Flush, path_))
        failWrite(error);
    if (::fsync(fd_.get()) != 0)
        failWrite(errno);
}

void DbfFile::holdWriteLock()
{
    if (!writeLocked_)
        writeLocked_ = lockTableForWriting(fd_.get());
}

void DbfFile::releaseWriteLock()
{
    if (writeLocked_)
        unlockTable(fd_.get());
    writeLocked_ = false;
}

void DbfFile::close()
{
    fd_.reset();
    writeLocked_ = false;
}

void DbfFile::failWrite(int error) const
{
    throw DbfError(runTimeErrorText(error));
}

void DbfFile::fail(const char* what) const
{
    const int error = errno;
    throw DbfError(std::string(what) + " \"" + path_ + "\". " + std::strerror(error));
}

} // namespace cvlog
