#pragma once
// The instrument's log memory: a 64 KiB address space in which one window
// holds the flights, one 16-byte record slot each, written as a ring.

#include "tools/cvlog_sim/flight_list.h"

#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

namespace cvlog::sim
{

inline constexpr std::size_t kSlotSize = 16;

// Where a model keeps its flights. `positionBelow` is how far below the
// newest slot the model reports its log position: the Kite 2 (type B)
// reports 192 bytes low, and the program makes up for it.
struct LogWindow {
    std::uint16_t start = 0xF100;
    std::uint32_t end = 0x10000;
    std::uint16_t positionBelow = 0;

    std::size_t SlotCount() const { return (end - start) / kSlotSize; }
};

// The window follows from the model's type letter and identity form; a
// download key keeps the flights of its target, so the target's serial
// number (the key's identity text) decides for it.
LogWindow LogWindowFor(char typeLetter, bool longForm, std::string_view identity);

// Payload bytes of one record slot. Bytes 0-1 carry the flight's sequence
// number, which the program ignores but makes memory dumps easier to read.
std::array<std::uint8_t, kSlotSize> EncodeSlot(const SimFlight& flight, std::uint16_t sequence);

class LogMemory
{
public:
    // `firstSlot` is the slot of the oldest flight; later flights follow
    // upward, wrapping at the window's end, and overwrite the oldest once the
    // ring is full, as the instrument does.
    LogMemory(LogWindow window, const std::vector<SimFlight>& flights, std::size_t firstSlot);

    // The log position reply: 0 with no flights, else the newest slot's address
    // less the model's offset.
    std::uint16_t LogPosition() const;
    std::uint16_t NewestSlotAddress() const { return newestSlot_; }
    std::size_t StoredFlights() const { return stored_; }
    const LogWindow& Window() const { return window_; }

    // The 16 bytes from `address`, wrapping at the top of the address space;
    // everything outside the flights reads as erased memory (0xFF).
    std::array<std::uint8_t, kSlotSize> Read(std::uint16_t address) const;

private:
    LogWindow window_;
    std::vector<std::uint8_t> bytes_;
    std::uint16_t newestSlot_ = 0;
    std::size_t stored_ = 0;
};

} // namespace cvlog::sim
