#pragma once
// Owns one file descriptor: the serial device or the worker's wake-up
// eventfd. Closing is the destructor's job so no error path leaks a port.

#include <unistd.h>
#include <utility>

namespace cvlog
{

class SerialFd
{
public:
    SerialFd() = default;
    explicit SerialFd(int fd)
        : fd_(fd)
    {
    }
    SerialFd(const SerialFd&) = delete;
    SerialFd& operator=(const SerialFd&) = delete;
    SerialFd(SerialFd&& other) noexcept
        : fd_(std::exchange(other.fd_, -1))
    {
    }
    SerialFd& operator=(SerialFd&& other) noexcept
    {
        if (this != &other)
            reset(std::exchange(other.fd_, -1));
        return *this;
    }
    ~SerialFd() { reset(); }

    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    explicit operator bool() const { return valid(); }

    void reset(int fd = -1)
    {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = fd;
    }

private:
    int fd_ = -1;
};

} // namespace cvlog
