#include "tools/cvlog_sim/sim_device.h"

#include <algorithm>
#include <array>
#include <cstdio>

namespace cvlog::sim
{

namespace
{

constexpr std::array<std::uint8_t, 2> kIdentityRequest { 0x08, 0x04 };
constexpr std::array<std::uint8_t, 2> kLogPositionRequest { 0x00, 0x07 };
constexpr std::uint8_t kRecordRead = 0x07;
constexpr std::size_t kRecordReadSize = 3;
constexpr std::uint8_t kKeyInit = 0x14;
constexpr std::size_t kKeyInitSize = 6;
constexpr std::size_t kKeySerialSize = 4;

constexpr std::uint8_t kIdentityMarker = 0x04; // payload byte 0 of every identity reply
constexpr std::uint8_t kRedirectPayload = 0x04;

constexpr std::size_t kShortIdentitySize = 4;
constexpr std::size_t kLongIdentitySize = 11;
constexpr std::size_t kVersionSize = 7;
constexpr std::size_t kSerialSize = 4;

constexpr char kKeyType = 'K';

// The long form is told apart by payload byte 1, the identity's length byte.
constexpr std::uint8_t kLongFormMarker = 0x0B;
static_assert(kLongIdentitySize == kLongFormMarker);
static_assert(kShortIdentitySize != kLongFormMarker);

std::string Fitted(std::string text, std::size_t width)
{
    text.resize(width, ' ');
    return text;
}

std::string DefaultIdentity(const DeviceConfig& config)
{
    if (config.typeLetter == kKeyType)
        return "EA15";
    return config.longForm ? "SIMULATOR01" : "SIM1";
}

// A length byte and the text, then zeros up to the field's width.
void AppendPrefixed(std::vector<std::uint8_t>& payload, std::string_view text, std::size_t capacity)
{
    const std::size_t used = std::min(text.size(), capacity);
    payload.push_back(static_cast<std::uint8_t>(used));
    payload.insert(payload.end(), text.begin(), text.begin() + static_cast<std::ptrdiff_t>(used));
    payload.insert(payload.end(), capacity - used, 0);
}

std::string Printable(std::span<const std::uint8_t> bytes)
{
    std::string text;
    for (auto b : bytes) {
        if (b >= 0x20 && b < 0x7F) {
            text.push_back(static_cast<char>(b));
        } else {
            char escaped[5];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", b);
            text += escaped;
        }
    }
    return text;
}

bool Equals(std::span<const std::uint8_t> body, std::span<const std::uint8_t> command)
{
    return std::equal(body.begin(), body.end(), command.begin(), command.end());
}

} // namespace

SimDevice::SimDevice(DeviceConfig config, DeviceHooks hooks)
    : config_(std::move(config))
    , hooks_(std::move(hooks))
{
    std::string serial = config_.serial.empty() ? std::string(1, config_.typeLetter) + "123" : config_.serial;
    serial_ = serial.substr(0, kSerialSize);
    version_ = config_.version.substr(0, kVersionSize);
    const std::string identity = config_.identity.empty() ? DefaultIdentity(config_) : config_.identity;
    identity_ = Fitted(identity, config_.longForm ? kLongIdentitySize : kShortIdentitySize);
    memory_ = std::make_unique<LogMemory>(
        LogWindowFor(config_.typeLetter, config_.longForm, identity_), config_.flights, config_.firstSlot);
}

std::string SimDevice::Hex(std::span<const std::uint8_t> bytes)
{
    std::string text;
    for (auto b : bytes) {
        char digits[4];
        std::snprintf(digits, sizeof digits, "%02X", b);
        if (!text.empty())
            text.push_back(' ');
        text += digits;
    }
    return text;
}

std::vector<std::uint8_t> SimDevice::Receive(std::span<const std::uint8_t> received)
{
    std::vector<std::uint8_t> out;
    // A two-wire bus hands the sender its own bytes back, whatever the device does.
    if (config_.echo)
        out.assign(received.begin(), received.end());

    auto result = reader_.Feed(received);
    for (const auto& bad : result.rejected)
        Note("dropped bad frame: " + Hex(bad));
    for (const auto& frame : result.frames) {
        if (hooks_.frameLog)
            hooks_.frameLog(Hex(BuildFrame(frame.address, frame.body)));
        ++commandsSeen_;
        Handle(frame, out);
    }
    return out;
}

bool SimDevice::Listening()
{
    if (config_.silentAfter < 0 || commandsSeen_ <= config_.silentAfter)
        return true;
    return config_.resumeAfter >= 0 && commandsSeen_ > config_.silentAfter + config_.resumeAfter;
}

void SimDevice::Handle(const CommandFrame& frame, std::vector<std::uint8_t>& out)
{
    const std::span<const std::uint8_t> body(frame.body);
    const bool keyInit = body.size() == kKeyInitSize && body[0] == kKeyInit && body[1] == 0x00;
    // The key log is a record of the wire, kept even when the device is not listening.
    if (keyInit && hooks_.keyLog) {
        char address[8];
        std::snprintf(address, sizeof address, "%02X", frame.address);
        hooks_.keyLog("KEYINIT " + Printable(body.subspan(2)) + " addr=" + address);
    }
    if (!Listening())
        return;

    const bool identityRequest = Equals(body, kIdentityRequest);
    if (config_.redirect && frame.address == kSearchAddress) {
        // Behind a redirect the device sends the search on to 0xFE and only
        // answers there; every new search at 0xE1 is redirected again.
        if (identityRequest) {
            const std::array<std::uint8_t, 1> payload { kRedirectPayload };
            Reply(kRedirectReplyType, payload, out);
        }
        return;
    }
    const std::uint8_t listensAt = config_.redirect ? kRedirectedAddress : kSearchAddress;
    if (frame.address != listensAt)
        return;

    if (identityRequest) {
        Reply(kIdentityReplyType, IdentityPayload(), out);
    } else if (Equals(body, kLogPositionRequest)) {
        const std::uint16_t position = memory_->LogPosition();
        const std::array<std::uint8_t, 2> payload { static_cast<std::uint8_t>(position),
            static_cast<std::uint8_t>(position >> 8) };
        Reply(kLogPositionReplyType, payload, out);
    } else if (body.size() == kRecordReadSize && body[0] == kRecordRead) {
        const auto address = static_cast<std::uint16_t>(body[1] | (body[2] << 8));
        const auto slot = memory_->Read(address);
        Reply(kRecordReplyType, slot, out);
    } else if (keyInit) {
        InitializeKey(frame);
    } else {
        Note("unknown command: " + Hex(body));
    }
}

void SimDevice::InitializeKey(const CommandFrame& frame)
{
    if (config_.typeLetter != kKeyType) {
        Note("key initialization ignored: not a download key");
        return;
    }
    // The key now collects for the new target: it announces the target's
    // serial number as its identity, and the target decides the log window.
    const std::string target(frame.body.begin() + 2, frame.body.begin() + 2 + kKeySerialSize);
    identity_ = Fitted(target, config_.longForm ? kLongIdentitySize : kShortIdentitySize);
    memory_ = std::make_unique<LogMemory>(
        LogWindowFor(config_.typeLetter, config_.longForm, identity_), config_.flights, config_.firstSlot);
}

std::vector<std::uint8_t> SimDevice::IdentityPayload() const
{
    std::vector<std::uint8_t> payload;
    payload.reserve(32); // both forms fit; also keeps g++ 12's bounds warning from misfiring on the inserts
    payload.push_back(kIdentityMarker);
    if (config_.longForm) {
        AppendPrefixed(payload, identity_, kLongIdentitySize); // byte 1 = 11 marks the long form
        AppendPrefixed(payload, version_, kVersionSize);
        AppendPrefixed(payload, serial_, kSerialSize);
        return payload;
    }
    // Short form: byte 1 is not read by the program, but must not be 11.
    payload.push_back(static_cast<std::uint8_t>(kShortIdentitySize));
    payload.insert(payload.end(), identity_.begin(), identity_.end());
    AppendPrefixed(payload, version_, kVersionSize);
    payload.insert(payload.end(), 3, 0);
    AppendPrefixed(payload, serial_, kSerialSize);
    return payload;
}

void SimDevice::Reply(
    std::uint8_t type, std::span<const std::uint8_t> payload, std::vector<std::uint8_t>& out) const
{
    std::vector<std::uint8_t> body { type };
    body.insert(body.end(), payload.begin(), payload.end());
    const auto frame = BuildFrame(config_.replyAddress, body);
    out.insert(out.end(), frame.begin(), frame.end());
}

void SimDevice::Note(const std::string& text) const
{
    if (hooks_.note)
        hooks_.note(text);
}

} // namespace cvlog::sim
