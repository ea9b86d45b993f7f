#pragma once
// The simulated instrument or download key: bytes from the line in, bytes
// for the line out. No file, no terminal, no clock, so a test plays it with
// plain byte vectors.

#include "tools/cvlog_sim/command_frame_reader.h"
#include "tools/cvlog_sim/device_config.h"
#include "tools/cvlog_sim/log_memory.h"

#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace cvlog::sim
{

inline constexpr std::uint8_t kSearchAddress = 0xE1;
inline constexpr std::uint8_t kRedirectedAddress = 0xFE;

inline constexpr std::uint8_t kRecordReplyType = 8;
inline constexpr std::uint8_t kRedirectReplyType = 8;
inline constexpr std::uint8_t kIdentityReplyType = 9;
inline constexpr std::uint8_t kLogPositionReplyType = 13;

struct DeviceHooks {
    std::function<void(std::string_view)> frameLog; // every good command frame, as hex
    std::function<void(std::string_view)> keyLog; // every key initialization command
    std::function<void(std::string_view)> note; // what the device made of odd input
};

class SimDevice
{
public:
    explicit SimDevice(DeviceConfig config, DeviceHooks hooks = {});

    // Everything the device puts on the line in answer to `received`: the
    // echo first, when the bus echoes, then one reply per command answered.
    std::vector<std::uint8_t> Receive(std::span<const std::uint8_t> received);

    const LogMemory& Memory() const { return *memory_; }
    const std::string& IdentityText() const { return identity_; }
    long CommandsSeen() const { return commandsSeen_; }

    // Hex bytes separated by blanks: "82 E1 02 08 04 4A 83".
    static std::string Hex(std::span<const std::uint8_t> bytes);

private:
    bool Listening();
    void Handle(const CommandFrame& frame, std::vector<std::uint8_t>& out);
    void InitializeKey(const CommandFrame& frame);
    std::vector<std::uint8_t> IdentityPayload() const;
    void Reply(
        std::uint8_t type, std::span<const std::uint8_t> payload, std::vector<std::uint8_t>& out) const;
    void Note(const std::string& text) const;

    DeviceConfig config_;
    DeviceHooks hooks_;
    std::string serial_;
    std::string identity_;
    std::string version_;
    std::unique_ptr<LogMemory> memory_;
    CommandFrameReader reader_;
    long commandsSeen_ = 0;
};

} // namespace cvlog::sim
