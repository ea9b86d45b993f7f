#include "link/command_packet.h"

#include <algorithm>
#include <iterator>

namespace cvlog
{

namespace
{

template <std::size_t N> std::uint8_t writeFixedBody(TxFrame& frame, const std::uint8_t (&body)[N])
{
    std::copy(std::begin(body), std::end(body), frame.begin() + kBodyOffset);
    return static_cast<std::uint8_t>(N);
}

} // namespace

std::uint8_t frameChecksum(std::uint8_t address, std::uint8_t length, const std::uint8_t* body)
{
    std::uint8_t sum = kChecksumSeed ^ address ^ length;
    for (std::size_t i = 0; i < length; ++i)
        sum ^= body[i];
    return sum;
}

std::size_t frameCommand(TxFrame& frame, std::uint8_t length, std::uint8_t address)
{
    // The largest body that still leaves room for checksum and end byte.
    constexpr std::size_t maxBody = std::tuple_size_v<TxFrame> - kFrameOverhead;
    length = static_cast<std::uint8_t>(std::min<std::size_t>(length, maxBody));
    frame[0] = kStartByte;
    frame[1] = address;
    frame[2] = length;
    frame[kBodyOffset + length] = frameChecksum(address, length, frame.data() + kBodyOffset);
    frame[kBodyOffset + length + 1] = kEndByte;
    return length + kFrameOverhead;
}

std::uint8_t writeIdentityRequest(TxFrame& frame)
{
    return writeFixedBody(frame, kIdentityRequest);
}

std::uint8_t writeLogPositionRequest(TxFrame& frame)
{
    return writeFixedBody(frame, kLogPositionRequest);
}

std::uint8_t writeRecordRead(TxFrame& frame, std::uint16_t address)
{
    // Addresses go low byte first, like every number on the device link.
    frame[kBodyOffset] = kRecordReadCode;
    frame[kBodyOffset + 1] = static_cast<std::uint8_t>(address & 0xFF);
    frame[kBodyOffset + 2] = static_cast<std::uint8_t>(address >> 8);
    return kRecordReadLength;
}

std::uint8_t writeKeyInit(TxFrame& frame, const std::array<char, kKeySerialLength>& serial)
{
    frame[kBodyOffset] = kKeyInitCode;
    frame[kBodyOffset + 1] = kKeyInitParameter;
    for (std::size_t i = 0; i < kKeySerialLength; ++i)
        frame[kBodyOffset + 2 + i] = static_cast<std::uint8_t>(serial[i]);
    return kKeyInitLength;
}

} // namespace cvlog
