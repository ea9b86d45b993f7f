#include "logstore/atomic_file.h"

#include "logstore/file_error.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace cvlog
{

namespace fs = std::filesystem;

namespace
{

constexpr mode_t kDefaultUmask = 022;
constexpr mode_t kNewFileMode = 0666;

// The process's umask without changing it (umask() can only be read by
// setting it, which would race with any other thread creating files).
mode_t currentUmask()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("Umask:", 0) == 0)
            return static_cast<mode_t>(std::strtoul(line.c_str() + 6, nullptr, 8));
    }
    return kDefaultUmask;
}

// What a file written in place of the target should allow: what the target
// allowed, or what a newly created file gets.
mode_t permissionsFor(const fs::path& target)
{
    struct stat st {
    };
    if (::stat(target.c_str(), &st) == 0)
        return st.st_mode & 07777;
    return kNewFileMode & ~currentUmask();
}

[[noreturn]] void fail(int error)
{
    throw FileError(error);
}

} // namespace

AtomicFile::AtomicFile(fs::path target)
    : target_(std::move(target))
{
    if (target_.filename().empty())
        fail(EINVAL);
    // Hidden, and named after the target, so a stray one is recognisable.
    const fs::path dir = target_.has_parent_path() ? target_.parent_path() : fs::path(".");
    std::string pattern = (dir / ("." + target_.filename().string() + ".XXXXXX")).string();
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    fd_ = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd_ < 0)
        fail(errno == EEXIST ? EACCES : errno);
    temporary_ = fs::path(name.data());
}

AtomicFile::~AtomicFile()
{
    if (fd_ >= 0)
        ::close(fd_);
    if (!committed_ && !temporary_.empty())
        ::unlink(temporary_.c_str());
}

void AtomicFile::write(std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd_, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR)
                continue;
            fail(errno);
        }
        if (n == 0)
            fail(ENOSPC);
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
}

void AtomicFile::commit()
{
    if (::fchmod(fd_, permissionsFor(target_)) != 0)
        fail(errno);
    if (::fsync(fd_) != 0)
        fail(errno);
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0)
        fail(errno);
    if (::rename(temporary_.c_str(), target_.c_str()) != 0)
        fail(errno);
    committed_ = true;
    SyncDirectoryOf(target_);
}

void SyncDirectoryOf(const fs::path& path)
{
    const fs::path dir = path.has_parent_path() ? path.parent_path() : fs::path(".");
    const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

} // namespace cvlog
