#include "logstore/atomic_file.h"

#include "logstore/file_error.h"
#include "logstore/file_faults.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <random>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace cvlog
{

namespace fs = std::filesystem;

namespace
{

constexpr mode_t kDefaultUmask = 022;
constexpr mode_t kNewFileMode = 0666;
constexpr mode_t kTemporaryMode = 0600;
constexpr int kMaxLinkHops = 40;
constexpr int kNameAttempts = 100;
constexpr std::size_t kCopyChunk = 1 << 20;
constexpr std::size_t kWritebackBlock = 256 * 1024;
constexpr off_t kFreeAsideSize = 8 << 20;

// A temporary file is ".<target>.cvlog-" and six letters or digits: hidden,
// named after its target, and recognisably ours when a crash leaves it.
constexpr std::string_view kTemporaryMark = ".cvlog-";
constexpr std::size_t kRandomLength = 6;
constexpr std::string_view kRandomAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";

[[noreturn]] void fail(int error)
{
    throw FileError(error);
}

void failOnFault(FileStep step, const fs::path& file)
{
    if (const int error = injectedFileFault(step, file))
        fail(error);
}

fs::path folderOf(const fs::path& path)
{
    return path.has_parent_path() ? path.parent_path() : fs::path(".");
}

std::string temporaryPrefix(const fs::path& target)
{
    // A target whose name is near the longest a folder takes keeps room for
    // the temporary's own few characters.
    constexpr std::size_t kLongestName = 255;
    constexpr std::size_t kRoom = kLongestName - 1 - kTemporaryMark.size() - kRandomLength;
    const std::string name = target.filename().string();
    return "." + name.substr(0, kRoom) + std::string(kTemporaryMark);
}

std::string randomLetters()
{
    thread_local std::mt19937 generator { std::random_device {}() };
    std::uniform_int_distribution<std::size_t> pick(0, kRandomAlphabet.size() - 1);
    std::string letters;
    for (std::size_t i = 0; i < kRandomLength; ++i)
        letters += kRandomAlphabet[pick(generator)];
    return letters;
}

bool isLeftoverName(const std::string& name)
{
    const std::size_t mark = name.rfind(kTemporaryMark);
    if (name.empty() || name.front() != '.' || mark == std::string::npos || mark == 0)
        return false;
    const std::string_view letters = std::string_view(name).substr(mark + kTemporaryMark.size());
    return letters.size() == kRandomLength
        && letters.find_first_not_of(kRandomAlphabet) == std::string_view::npos;
}

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

void writeAll(int fd, std::string_view bytes, std::uint64_t* offset)
{
    while (!bytes.empty()) {
        const ssize_t n = offset ? ::pwrite(fd, bytes.data(), bytes.size(), static_cast<off_t>(*offset))
                                 : ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            fail(errno);
        if (n == 0)
            fail(ENOSPC);
        bytes.remove_prefix(static_cast<std::size_t>(n));
        if (offset)
            *offset += static_cast<std::uint64_t>(n);
    }
}

} // namespace

AtomicFile::AtomicFile(const fs::path& target)
    : AtomicFile(target, Options {})
{
}

AtomicFile::AtomicFile(const fs::path& target, Options options)
    : target_(followLinks(target))
    , options_(options)
{
    if (target_.filename().empty())
        fail(EINVAL);
    struct stat st {
    };
    if (::stat(target_.c_str(), &st) == 0) {
        if (!S_ISREG(st.st_mode))
            fail(S_ISDIR(st.st_mode) ? EISDIR : EACCES);
        if (!options_.replace)
            fail(EEXIST);
        if (::faccessat(AT_FDCWD, target_.c_str(), W_OK, AT_EACCESS) != 0)
            fail(errno);
    } else if (errno != ENOENT) {
        fail(errno);
    }
    makeTemporary();
}

AtomicFile::~AtomicFile()
{
    fd_.reset();
    if (!committed_ && !temporary_.empty())
        ::unlink(temporary_.c_str());
}

void AtomicFile::makeTemporary()
{
    failOnFault(FileStep::Create, target_);
    const fs::path folder = folderOf(target_);
    if (!options_.named) {
        fd_.reset(::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, kTemporaryMode));
        if (fd_)
            return;
        // File systems without unnamed files get a named one.
        if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)
            fail(errno);
    }
    std::string pattern = (folder / (temporaryPrefix(target_) + "XXXXXX")).string();
    fd_.reset(::mkostemp(pattern.data(), O_CLOEXEC));
    if (!fd_)
        fail(errno == EEXIST ? EACCES : errno);
    temporary_ = pattern;
}

void AtomicFile::write(std::string_view bytes)
{
    failOnFault(FileStep::Write, target_);
    writeAll(fd_.get(), bytes, nullptr);
    if (bytes.size() >= kWritebackBlock) {
        // Only a start: should it fail, the flush at commit does it all.
        ::sync_file_range(fd_.get(), static_cast<off_t>(appended_), static_cast<off_t>(bytes.size()),
            SYNC_FILE_RANGE_WRITE);
    }
    appended_ += bytes.size();
}

void AtomicFile::writeAt(std::uint64_t offset, std::string_view bytes)
{
    failOnFault(FileStep::Write, target_);
    writeAll(fd_.get(), bytes, &offset);
}

void AtomicFile::writeFrom(int source)
{
    // The kernel copies without the bytes passing through here; where it
    // cannot, a plain read and write loop does.
    bool inKernel = true;
    std::vector<char> buffer;
    for (;;) {
        failOnFault(FileStep::Write, target_);
        if (inKernel) {
            const ssize_t n = ::copy_file_range(source, nullptr, fd_.get(), nullptr, kCopyChunk, 0);
            if (n > 0)
                continue;
            if (n == 0)
                return;
            if (errno == EINTR)
                continue;
            if (errno != EXDEV && errno != ENOSYS && errno != EINVAL && errno != EOPNOTSUPP)
                fail(errno);
            inKernel = false;
            buffer.resize(kCopyChunk);
        }
        const ssize_t n = ::read(source, buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            fail(errno);
        if (n == 0)
            return;
        writeAll(fd_.get(), std::string_view(buffer.data(), static_cast<std::size_t>(n)), nullptr);
    }
}

void AtomicFile::commit()
{
    if (::fchmod(fd_.get(), permissionsFor(target_)) != 0)
        fail(errno);
    failOnFault(FileStep::Flush, target_);
    if (::fsync(fd_.get()) != 0)
        fail(errno);
    failOnFault(FileStep::Rename, target_);
    if (temporary_.empty())
        linkUnnamed();
    // A failed close can mean lost data, so this one is looked at.
    if (::close(fd_.release()) != 0)
        fail(errno);
    place();
    committed_ = true;
    syncDirectoryOf(target_);
}

void AtomicFile::linkUnnamed()
{
    // Needs a privilege that most users lack; /proc offers the same link.
    const std::string self = "/proc/self/fd/" + std::to_string(fd_.get());
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        const fs::path name = folderOf(target_) / (temporaryPrefix(target_) + randomLetters());
        if (::linkat(fd_.get(), "", AT_FDCWD, name.c_str(), AT_EMPTY_PATH) == 0
            || ::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0) {
            temporary_ = name;
            return;
        }
        if (errno != EEXIST)
            fail(errno);
    }
    fail(EEXIST);
}

void AtomicFile::place()
{
    if (options_.replace) {
        // A large file that is replaced takes the file system a while to
        // free; held open across the rename, it is let go on a thread of its
        // own, and nobody waits for that (the system frees it at exit anyway).
        UniqueFd old(::open(target_.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
        struct stat st {
        };
        if (old && (::fstat(old.get(), &st) != 0 || st.st_size < kFreeAsideSize))
            old.reset();
        if (::rename(temporary_.c_str(), target_.c_str()) != 0)
            fail(errno);
        if (old)
            std::thread([held = std::move(old)]() mutable { held.reset(); }).detach();
        return;
    }
    // A link, unlike a rename, never replaces a file that is there.
    if (::link(temporary_.c_str(), target_.c_str()) != 0)
        fail(errno);
    ::unlink(temporary_.c_str());
}

fs::path followLinks(const fs::path& path)
{
    fs::path at = path;
    for (int hop = 0; hop < kMaxLinkHops; ++hop) {
        std::error_code ec;
        if (!fs::is_symlink(at, ec))
            return at;
        const fs::path to = fs::read_symlink(at, ec);
        if (ec)
            return at;
        at = to.is_absolute() ? to : folderOf(at) / to;
    }
    fail(ELOOP);
}

void removeLeftoverTemporaries(const fs::path& folder, const std::string& of)
{
    const std::string prefix = of.empty() ? std::string() : temporaryPrefix(of);
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        std::error_code typeError;
        if (isLeftoverName(name) && name.rfind(prefix, 0) == 0 && it->is_regular_file(typeError))
            fs::remove(it->path(), typeError);
    }
}

void syncDirectoryOf(const fs::path& path)
{
    const UniqueFd folder(::open(folderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder)
        ::fsync(folder.get());
}

} // namespace cvlog
