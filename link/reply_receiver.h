#pragma once
// The frame receiver shared by the serial and the USB path: a byte-at-a-time
// state machine that reassembles reply frames and hands each complete frame
// from a device address to its sink. Its state survives between reads, so a
// frame may arrive in any number of pieces.

#include <array>
#include <cstddef>
#include <cstdint>

namespace cvlog
{

// Addresses from here up are taken up; only these two are devices.
inline constexpr std::uint8_t kLowestLinkAddress = 0xE0;
inline constexpr std::uint8_t kDeviceAddressA = 0xFD;
inline constexpr std::uint8_t kDeviceAddressB = 0xFF;

class ReplySink
{
public:
    virtual ~ReplySink() = default;
    // A complete frame from a device is in the receiver's variables.
    virtual void dispatchReply() = 0;
};

class ReplyReceiver
{
public:
    enum State : std::uint8_t {
        kWaitStart = 0,
        kAddress,
        kLength,
        kType,
        kPayload,
        kChecksum,
        kEnd,
    };

    // Runs the bytes through the state machine in order. deviceAddress is
    // the program's own address as it stands now (a reply dispatched in the
    // middle of the run may change it), for the USB echo suppression.
    void feed(const std::uint8_t* bytes, std::size_t count, bool usbPath, const std::uint8_t& deviceAddress,
        ReplySink& sink);

    // Receiver variables; the frame last received stays readable here.
    std::uint8_t rxState = kWaitStart;
    std::uint8_t rxAddress = 0;
    std::uint8_t rxLength = 0;
    std::uint8_t rxRemaining = 0;
    std::uint8_t rxType = 0;
    std::uint8_t rxIndex = 0; // wraps from 255 to 0, so it never leaves rxPayload
    std::uint8_t rxChecksum = 0; // kept, never compared: the devices' sums are not relied on
    // Not cleared between frames: fields past a short frame read older bytes.
    std::array<std::uint8_t, 256> rxPayload {};
    bool echoSuppress = false;

private:
    void takeAddress(std::uint8_t b, bool usbPath, std::uint8_t deviceAddress);
    void takeLength(std::uint8_t b);
    void takeType(std::uint8_t b);
    void takePayload(std::uint8_t b, bool usbPath);
    void takeEnd(std::uint8_t b, ReplySink& sink);
};

} // namespace cvlog
