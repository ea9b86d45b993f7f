#include "link/serial_rts_toggle.h"

#include <algorithm>
#include <cerrno>
#include <sys/ioctl.h>
#include <unistd.h>

namespace cvlog
{

namespace
{

// The longest a packet may take to leave; past it RTS is dropped anyway
// so a stalled transmitter cannot keep the converter turned towards us.
constexpr std::chrono::milliseconds kWriteTimeout { 1500 };
constexpr std::chrono::milliseconds kDrainPoll { 2 };
// Without the line status register the UART's transmit FIFO is invisible;
// wait the time it takes to empty a full 16-byte FIFO at 11 bits a byte.
constexpr int kFifoBytes = 16;
constexpr int kBitsPerByteWorstCase = 11;

void setRts(int fd, bool on)
{
    int bits = TIOCM_RTS;
    ::ioctl(fd, on ? TIOCMBIS : TIOCMBIC, &bits);
}

} // namespace

SerialRtsToggle::SerialRtsToggle(int fd, bool hasModemLines, int baudRate)
    : fd_(fd)
{
    setBaudRate(baudRate);
    if (!hasModemLines)
        return;

    serial_rs485 current {};
    if (::ioctl(fd_, TIOCGRS485, &current) == 0) {
        serial_rs485 wanted = current;
        wanted.flags |= SER_RS485_ENABLED | SER_RS485_RTS_ON_SEND;
        wanted.flags &= ~static_cast<__u32>(SER_RS485_RTS_AFTER_SEND);
        if (::ioctl(fd_, TIOCSRS485, &wanted) == 0) {
            savedRs485_ = current;
            mode_ = Mode::Driver;
            return;
        }
    }
    mode_ = Mode::Manual;
    setRts(fd_, false);
}

SerialRtsToggle::~SerialRtsToggle()
{
    std::lock_guard lock(mutex_);
    if (mode_ == Mode::Manual)
        setRts(fd_, false);
    // The RS-485 setting outlives our descriptor; give the port back as found.
    if (savedRs485_)
        ::ioctl(fd_, TIOCSRS485, &*savedRs485_);
}

void SerialRtsToggle::setBaudRate(int baudRate)
{
    std::lock_guard lock(mutex_);
    const int rate = std::max(baudRate, 1);
    fifoDrainTime_ = std::chrono::milliseconds((kFifoBytes * kBitsPerByteWorstCase * 1000 + rate - 1) / rate);
}

ssize_t SerialRtsToggle::write(const void* data, std::size_t size)
{
    // Raising, writing and noting the drop happen under the lock, so the
    // worker can never drop RTS between our raise and our bytes.
    std::lock_guard lock(mutex_);
    if (mode_ == Mode::Manual)
        setRts(fd_, true);
    const ssize_t written = ::write(fd_, data, size);
    const int savedErrno = errno;
    if (mode_ == Mode::Manual) {
        dropDue_ = true;
        lastWrite_ = Clock::now();
        outputQueueEmptySince_.reset();
    }
    errno = savedErrno;
    return written;
}

std::optional<std::chrono::milliseconds> SerialRtsToggle::service(Clock::time_point now)
{
    std::lock_guard lock(mutex_);
    if (!dropDue_)
        return std::nullopt;
    if (now - lastWrite_ >= kWriteTimeout) {
        dropLocked();
        return std::nullopt;
    }

    int queued = 0;
    if (::ioctl(fd_, TIOCOUTQ, &queued) != 0) {
        dropLocked();
        return std::nullopt;
    }
    if (queued > 0) {
        outputQueueEmptySince_.reset();
        return kDrainPoll;
    }

    unsigned int lineStatus = 0;
    if (::ioctl(fd_, TIOCSERGETLSR, &lineStatus) == 0) {
        if (lineStatus & TIOCSER_TEMT) {
            dropLocked();
            return std::nullopt;
        }
        return kDrainPoll;
    }

    if (!outputQueueEmptySince_)
        outputQueueEmptySince_ = now;
    const auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(now - *outputQueueEmptySince_);
    if (waited >= fifoDrainTime_) {
        dropLocked();
        return std::nullopt;
    }
    return std::max(kDrainPoll, fifoDrainTime_ - waited);
}

void SerialRtsToggle::dropLocked()
{
    setRts(fd_, false);
    dropDue_ = false;
    outputQueueEmptySince_.reset();
}

} // namespace cvlog
