#pragma once
// The line settings of the serial channel and how they reach a termios
// device. The instruments talk 19200 baud, 8N1, no handshake; the other
// values exist so the channel keeps its settable properties.

#include <optional>

namespace cvlog
{

enum class SerialParity { None, Odd, Even };
enum class SerialStopBits { One, Two };

struct SerialLineSettings {
    int baudRate = 19200;
    int dataBits = 8;
    SerialParity parity = SerialParity::None;
    SerialStopBits stopBits = SerialStopBits::One;

    bool operator==(const SerialLineSettings&) const = default;
};

// Raw mode with the given settings, no hardware or software flow control,
// modem status lines ignored. Returns 0, or the errno of the failing call
// (EINVAL for a baud rate or data size termios cannot express).
int applyLineSettings(int fd, const SerialLineSettings& settings);

// What the device reports now; nothing when it is not a terminal.
std::optional<SerialLineSettings> readLineSettings(int fd);

} // namespace cvlog
