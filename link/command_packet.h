#pragma once
// Command packets: start byte, device address, body length, body (command
// code first), XOR checksum, end byte. Reply packets share the frame shape.

#include <array>
#include <cstddef>
#include <cstdint>

namespace cvlog
{

inline constexpr std::uint8_t kStartByte = 0x82;
inline constexpr std::uint8_t kEndByte = 0x83;
inline constexpr std::uint8_t kChecksumSeed = 0xA5;

// Where the body starts in a frame, and how many bytes surround it.
inline constexpr std::size_t kBodyOffset = 3;
inline constexpr std::size_t kFrameOverhead = 5;

// Command bodies (code and fixed parameter bytes).
inline constexpr std::uint8_t kIdentityRequest[] = { 0x08, 0x04 };
inline constexpr std::uint8_t kLogPositionRequest[] = { 0x00, 0x07 };
inline constexpr std::uint8_t kRecordReadCode = 0x07;
inline constexpr std::uint8_t kKeyInitCode = 0x14;
inline constexpr std::uint8_t kKeyInitParameter = 0x00;
inline constexpr std::size_t kRecordReadLength = 3;
inline constexpr std::size_t kKeySerialLength = 4;
inline constexpr std::size_t kKeyInitLength = 2 + kKeySerialLength;

// The one transmit buffer. Bytes past the current frame keep what an
// earlier frame left there and are never sent.
using TxFrame = std::array<std::uint8_t, 256>;

// 0xA5 XOR the address XOR the length XOR every body byte; replies carry
// the same sum, which the receiver does not check.
std::uint8_t frameChecksum(std::uint8_t address, std::uint8_t length, const std::uint8_t* body);

// Writes header, checksum and end byte around the body already at offset 3
// and returns the frame's length (body length + 5).
std::size_t frameCommand(TxFrame& frame, std::uint8_t length, std::uint8_t address);

// Body writers: each fills the frame from offset 3 and returns the body length.
std::uint8_t writeIdentityRequest(TxFrame& frame);
std::uint8_t writeLogPositionRequest(TxFrame& frame);
std::uint8_t writeRecordRead(TxFrame& frame, std::uint16_t address);
std::uint8_t writeKeyInit(TxFrame& frame, const std::array<char, kKeySerialLength>& serial);

} // namespace cvlog
