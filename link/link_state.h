#pragma once
// The link's whole state: one plain struct owned by the main window and
// passed by reference to the link code. Touched only on the user-interface
// thread (the serial worker hands its events over), so nothing is locked.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace cvlog
{

inline constexpr std::uint8_t kSearchAddress = 0xE1; // where every new link starts
inline constexpr std::uint8_t kRedirectAddress = 0xFE; // after a redirect reply

// One length byte, then up to Capacity characters. The length is kept as
// sent; readers go through size(), which never reaches past the field.
template <std::size_t Capacity> struct PrefixedText {
    std::uint8_t length = 0;
    std::array<char, Capacity> chars {};

    std::size_t size() const { return length < Capacity ? length : Capacity; }
    std::string_view view() const { return { chars.data(), size() }; }
};

struct LinkState {
    std::uint8_t portNumber = 1;
    bool portReady = false;
    bool usbActive = false;
    void* usbHandle = nullptr;
    std::uint32_t usbDeviceCount = 0;
    std::int32_t lastUsbStatus = 0;

    bool linkUp = false;
    std::uint8_t deviceAddress = kSearchAddress;
    std::uint8_t linkCountdown = 0;
    bool freshLink = true;
    bool countDue = false;
    bool requestNext = false;
    bool keyInitPending = false;
    bool isDownloadKey = false;
    bool typeBMode = false;
    std::uint16_t windowStart = 0;
    std::uint32_t windowEnd = 0;
    std::uint16_t readAddress = 0;
    std::uint16_t pendingCount = 0;
    // Slots of the log memory read in this download; the whole window read
    // ends it.
    std::uint16_t slotsRead = 0;
    // The next download (or this link's, started again) reads the whole log
    // memory and brings every flight not yet in the log, instead of stopping
    // at the first one it knows.
    bool downloadAll = false;

    PrefixedText<11> serialText;
    PrefixedText<11> identityText;
    PrefixedText<7> versionText;

    // The serial number that imported flights are labelled with, taken at
    // identification: for a download key its target instrument's, which the
    // key's later keep-alive replies would otherwise overwrite with its own.
    PrefixedText<11> instrumentSerial;
    // The "not a download key" message has been shown for this link and
    // this showing of the key dialog; identity replies come every tick.
    bool keyRefusalShown = false;
};

} // namespace cvlog
