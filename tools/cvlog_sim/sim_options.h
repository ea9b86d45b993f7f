#pragma once
// The command line of cvlog-sim.

#include "tools/cvlog_sim/device_config.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace cvlog::sim
{

inline constexpr int kMaxGeneratedFlights = 5000;

struct SimOptions {
    DeviceConfig device;
    std::string flightsFile;
    int generate = 0;
    std::optional<std::chrono::year_month_day> today; // empty: the local date
    std::uint32_t seed = 1;
    std::string keyLogPath;
    std::string frameLogPath;
    bool exitOnEof = false;
    bool verbose = false;
    bool help = false;
};

struct ParsedOptions {
    SimOptions options;
    std::string error; // empty when the command line was understood
};

ParsedOptions ParseOptions(const std::vector<std::string>& args);

// Fills options.device.flights from the flights file or the generator.
// Returns an error text, empty on success.
std::string LoadFlights(SimOptions& options, std::chrono::year_month_day today);

const char* UsageText();

} // namespace cvlog::sim
