#pragma once
// Owns one file descriptor: a table, a file being written or copied, the
// lock file, the serial device or a wake-up eventfd. Closing is the
// destructor's job, so no error path leaks a descriptor.

#include <filesystem>
#include <utility>

namespace cvlog
{

class UniqueFd
{
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd)
        : fd_(fd)
    {
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    UniqueFd(UniqueFd&& other) noexcept
        : fd_(other.release())
    {
    }
    UniqueFd& operator=(UniqueFd&& other) noexcept
    {
        if (this != &other)
            reset(other.release());
        return *this;
    }
    ~UniqueFd() { reset(); }

    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    explicit operator bool() const { return valid(); }

    // Closes the descriptor held, if any, and takes fd.
    void reset(int fd = -1);
    // Gives the descriptor up without closing it, for a caller that must
    // see how its close ends.
    int release() { return std::exchange(fd_, -1); }

private:
    int fd_ = -1;
};

// Opens a plain file for reading. A pipe or a device named as a file must
// not block the program or be read for ever, so the open does not wait and
// anything but a plain file is refused: FileError EISDIR for a folder,
// EACCES for the rest, and the system's error when the open fails.
UniqueFd openPlainFileForReading(const std::filesystem::path& path);

} // namespace cvlog
