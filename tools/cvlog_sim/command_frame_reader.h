#pragma once
// Picks command frames out of the bytes arriving on the line:
//   0x82, address, N, N body bytes, checksum, 0x83
// The line may carry noise, half frames from a program that closed the port
// mid-write, or frames with a bad checksum; none of that may cost a good
// frame that follows, so a rejected start byte only skips itself.

#include <cstdint>
#include <span>
#include <vector>

namespace cvlog::sim
{

inline constexpr std::uint8_t kStartByte = 0x82;
inline constexpr std::uint8_t kEndByte = 0x83;
inline constexpr std::uint8_t kChecksumSeed = 0xA5;

struct CommandFrame {
    std::uint8_t address = 0;
    std::vector<std::uint8_t> body;

    bool operator==(const CommandFrame&) const = default;
};

// 0xA5 ^ address ^ N ^ every body byte: one rule for commands and replies.
std::uint8_t FrameChecksum(std::uint8_t address, std::span<const std::uint8_t> body);

// The whole frame as it goes on the line.
std::vector<std::uint8_t> BuildFrame(std::uint8_t address, std::span<const std::uint8_t> body);

class CommandFrameReader
{
public:
    // The program's longest command is 6 body bytes; a larger length byte is
    // noise, and waiting for that many bytes would only delay the next frame.
    static constexpr std::uint8_t kMaxBody = 16;

    struct Result {
        std::vector<CommandFrame> frames;
        std::vector<std::vector<std::uint8_t>>
            rejected; // candidate frames refused (checksum, end byte, length)
    };

    Result Feed(std::span<const std::uint8_t> bytes);

private:
    std::vector<std::uint8_t> pending_;
};

} // namespace cvlog::sim
