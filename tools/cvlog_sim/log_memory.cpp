#include "tools/cvlog_sim/log_memory.h"

#include <algorithm>

namespace cvlog::sim
{

namespace
{

constexpr std::size_t kAddressSpace = 0x10000;
constexpr std::uint8_t kErased = 0xFF;

constexpr std::uint16_t kCommonStart = 0xF100;
constexpr std::uint16_t kLumenLrStart = 0xF200;
constexpr std::uint16_t kLongFormStart = 0xF300;
constexpr std::uint32_t kKite2End = 0xF4C0;
constexpr std::uint16_t kKite2PositionBelow = 192;

} // namespace

LogWindow LogWindowFor(char typeLetter, bool longForm, std::string_view identity)
{
    if (longForm)
        return { kLongFormStart, kAddressSpace, 0 };
    switch (typeLetter) {
    case 'B':
        return { kCommonStart, kKite2End, kKite2PositionBelow };
    case 'L':
    case '"':
        return { kLumenLrStart, kAddressSpace, 0 };
    case 'K':
        return { !identity.empty() && identity.front() == 'L' ? kLumenLrStart : kCommonStart, kAddressSpace,
            0 };
    default:
        return { kCommonStart, kAddressSpace, 0 };
    }
}

std::array<std::uint8_t, kSlotSize> EncodeSlot(const SimFlight& f, std::uint16_t sequence)
{
    auto byte = [](int value) { return static_cast<std::uint8_t>(value & 0xFF); };
    const int hobbsHundreds = f.hobbsMinutes / 6000;
    const int hobbsRest = f.hobbsMinutes % 6000;
    return {
        byte(sequence),
        byte(sequence >> 8),
        byte(f.day),
        byte(f.month),
        byte(f.hour),
        byte(f.minute),
        byte(f.flightMinutes % 60),
        byte(f.flightMinutes / 60),
        byte(f.maxSpeedMph),
        byte(f.maxSpeedMph >> 8),
        byte(f.maxAltitudeFeet),
        byte(f.maxAltitudeFeet >> 8),
        byte(hobbsRest % 60),
        byte(hobbsRest / 60),
        byte(hobbsHundreds),
        byte(f.student),
    };
}

LogMemory::LogMemory(LogWindow window, const std::vector<SimFlight>& flights, std::size_t firstSlot)
    : window_(window)
    , bytes_(kAddressSpace, kErased)
{
    const std::size_t slots = window_.SlotCount();
    if (slots == 0 || flights.empty())
        return;
    for (std::size_t i = 0; i < flights.size(); ++i) {
        const std::size_t address = window_.start + ((firstSlot + i) % slots) * kSlotSize;
        const auto slot = EncodeSlot(flights[i], static_cast<std::uint16_t>(i + 1));
        std::copy(slot.begin(), slot.end(), bytes_.begin() + static_cast<std::ptrdiff_t>(address));
        newestSlot_ = static_cast<std::uint16_t>(address);
    }
    stored_ = std::min(flights.size(), slots);
}

std::uint16_t LogMemory::LogPosition() const
{
    if (stored_ == 0)
        return 0;
    return static_cast<std::uint16_t>(newestSlot_ - window_.positionBelow);
}

std::array<std::uint8_t, kSlotSize> LogMemory::Read(std::uint16_t address) const
{
    std::array<std::uint8_t, kSlotSize> slot {};
    for (std::size_t i = 0; i < kSlotSize; ++i)
        slot[i] = bytes_[(address + i) % kAddressSpace];
    return slot;
}

} // namespace cvlog::sim
