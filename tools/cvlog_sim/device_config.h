#pragma once
// What the simulated device is: model, identity, bus behaviour and flights.

#include "tools/cvlog_sim/flight_list.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace cvlog::sim
{

inline constexpr std::uint8_t kDefaultReplyAddress = 0xFD;

struct DeviceConfig {
    char typeLetter = 'F';
    bool longForm = false;
    std::string serial; // empty: the type letter followed by "123"
    std::string version = "V2.10";
    std::string identity; // empty: a fixed text of the form's width (a key: "EA15")
    std::uint8_t replyAddress = kDefaultReplyAddress;
    bool redirect = false;
    bool echo = false;
    long silentAfter = -1; // commands answered before the device goes quiet; -1 never
    long resumeAfter = -1; // commands ignored while quiet before answering again; -1 never
    std::vector<SimFlight> flights; // oldest first
    std::size_t firstSlot = 0; // slot of the oldest flight in the log window
};

} // namespace cvlog::sim
