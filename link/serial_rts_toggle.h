#pragma once
// RTS follows the transmitter: raised while bytes wait to be sent, dropped
// once the line has gone quiet, so a half-duplex level converter in the
// cable lets the instrument's reply through. The driver does it where it
// offers RS-485 mode; otherwise each write raises RTS and the serial worker
// drops it after the drain, never the user-interface thread.

#include <chrono>
#include <cstddef>
#include <linux/serial.h>
#include <mutex>
#include <optional>
#include <sys/types.h>

namespace cvlog
{

class SerialRtsToggle
{
public:
    enum class Mode {
        None, // the device has no modem lines (a pseudo-terminal)
        Driver, // the driver toggles RTS around each transmission
        Manual, // raised per write, dropped by service()
    };
    using Clock = std::chrono::steady_clock;

    // hasModemLines: the device accepted the DTR ioctl at open.
    SerialRtsToggle(int fd, bool hasModemLines, int baudRate);
    SerialRtsToggle(const SerialRtsToggle&) = delete;
    SerialRtsToggle& operator=(const SerialRtsToggle&) = delete;
    ~SerialRtsToggle();

    Mode mode() const { return mode_; }
    void setBaudRate(int baudRate);

    // User-interface thread: one non-blocking write with RTS raised around
    // it. Returns what write(2) returned, errno intact.
    ssize_t write(const void* data, std::size_t size);

    // Worker thread: drops RTS once the transmitter is empty. Returns how
    // long to wait before asking again, or nothing when no drop is due.
    std::optional<std::chrono::milliseconds> service(Clock::time_point now);

private:
    void dropLocked();

    std::mutex mutex_;
    int fd_;
    Mode mode_ = Mode::None;
    bool dropDue_ = false;
    Clock::time_point lastWrite_ {};
    std::optional<Clock::time_point> outputQueueEmptySince_;
    std::chrono::milliseconds fifoDrainTime_ { 0 };
    std::optional<serial_rs485> savedRs485_;
};

} // namespace cvlog
