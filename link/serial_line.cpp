#include "link/serial_line.h"

#include <array>
#include <cerrno>
#include <termios.h>
#include <utility>

namespace cvlog
{

namespace
{

// The XON/XOFF characters are written even though software flow control
// stays off, so a device that shows them reports the usual values.
constexpr cc_t kXonChar = 0x11;
constexpr cc_t kXoffChar = 0x13;

constexpr std::array<std::pair<int, speed_t>, 12> kSpeeds { {
    { 300, B300 },
    { 600, B600 },
    { 1200, B1200 },
    { 2400, B2400 },
    { 4800, B4800 },
    { 9600, B9600 },
    { 19200, B19200 },
    { 38400, B38400 },
    { 57600, B57600 },
    { 115200, B115200 },
    { 230400, B230400 },
    { 460800, B460800 },
} };

std::optional<speed_t> speedFor(int baudRate)
{
    for (const auto& [rate, speed] : kSpeeds)
        if (rate == baudRate)
            return speed;
    return std::nullopt;
}

std::optional<int> rateFor(speed_t speed)
{
    for (const auto& [rate, s] : kSpeeds)
        if (s == speed)
            return rate;
    return std::nullopt;
}

std::optional<tcflag_t> sizeFor(int dataBits)
{
    switch (dataBits) {
    case 5:
        return CS5;
    case 6:
        return CS6;
    case 7:
        return CS7;
    case 8:
        return CS8;
    default:
        return std::nullopt;
    }
}

} // namespace

int applyLineSettings(int fd, const SerialLineSettings& settings)
{
    const auto speed = speedFor(settings.baudRate);
    const auto size = sizeFor(settings.dataBits);
    if (!speed || !size)
        return EINVAL;

    termios tio {};
    if (::tcgetattr(fd, &tio) != 0)
        return errno;
    ::cfmakeraw(&tio);
    tio.c_iflag &= ~(IXON | IXOFF | IXANY | INPCK | PARMRK | IGNPAR);
    tio.c_cflag &= ~(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
    tio.c_cflag |= *size | CLOCAL | CREAD;
    if (settings.parity != SerialParity::None)
        tio.c_cflag |= PARENB;
    if (settings.parity == SerialParity::Odd)
        tio.c_cflag |= PARODD;
    if (settings.stopBits == SerialStopBits::Two)
        tio.c_cflag |= CSTOPB;
    // VMIN 1 keeps an empty non-blocking read an EAGAIN, so a read of 0
    // bytes can only mean the line was hung up.
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    tio.c_cc[VSTART] = kXonChar;
    tio.c_cc[VSTOP] = kXoffChar;
    if (::cfsetispeed(&tio, *speed) != 0 || ::cfsetospeed(&tio, *speed) != 0)
        return EINVAL;
    if (::tcsetattr(fd, TCSANOW, &tio) != 0)
        return errno;

    // tcsetattr succeeds when any part of the change took; a driver that
    // quietly kept another speed or size would garble every packet.
    const auto now = readLineSettings(fd);
    if (!now)
        return errno != 0 ? errno : EIO;
    if (*now != settings)
        return EINVAL;
    return 0;
}

std::optional<SerialLineSettings> readLineSettings(int fd)
{
    termios tio {};
    if (::tcgetattr(fd, &tio) != 0)
        return std::nullopt;
    SerialLineSettings settings;
    settings.baudRate = rateFor(::cfgetospeed(&tio)).value_or(0);
    switch (tio.c_cflag & CSIZE) {
    case CS5:
        settings.dataBits = 5;
        break;
    case CS6:
        settings.dataBits = 6;
        break;
    case CS7:
        settings.dataBits = 7;
        break;
    default:
        settings.dataBits = 8;
        break;
    }
    if ((tio.c_cflag & PARENB) == 0)
        settings.parity = SerialParity::None;
    else
        settings.parity = (tio.c_cflag & PARODD) ? SerialParity::Odd : SerialParity::Even;
    settings.stopBits = (tio.c_cflag & CSTOPB) ? SerialStopBits::Two : SerialStopBits::One;
    return settings;
}

} // namespace cvlog
