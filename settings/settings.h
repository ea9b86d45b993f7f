#pragma once
// The few settings kept from one run to the next in "CVLog.ini": the date
// range of the filter, the serial port and the five display-mode marks.
// Read once while the main window is created, written once when it closes.

#include "logstore/currency.h"
#include "logstore/flight_statistics.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <vector>

namespace cvlog
{

inline constexpr int kFirstPort = 1;
inline constexpr int kLastPort = 8;

struct Settings {
    std::int32_t fromDate = 0; // day numbers
    std::int32_t toDate = 0;
    std::uint8_t port = 1;
    // Check marks of the units (x1..x3) and hour fraction (x4, x5) menu items.
    std::array<bool, 5> marks { false, true, false, true, false };
};

// Missing or unusable values give each key's default without a message;
// the two dates are returned as stored, even when FromDate is after ToDate.
Settings readSettings(const std::filesystem::path& iniPath, std::int32_t todayDayNumber);

// Writes the eight keys in one rewrite of the file; throws IniWriteError
// when it cannot be written, leaving the file as it was.
void writeSettings(const std::filesystem::path& iniPath, const Settings& s);

// The currency rules of the statistics window, section "Currency": "Count"
// and "Rule1".."RuleN", each "flights,minutes,length,D|M,instrument" (the
// instrument last, and empty for every one). Without the section, the one
// rule of 3 flights in 90 days; a rule that cannot be read, or that asks for
// nothing, is left out.
std::vector<CurrencyRule> readCurrencyRules(const std::filesystem::path& iniPath);
inline constexpr int kMostCurrencyRules = 20;
// Why a rule cannot be kept, in a sentence for the user ("The number of days
// must be from 1 to 36525."); empty when it can.
QString currencyRuleFault(const CurrencyRule& rule);
// Rewrites the section, with at most kMostCurrencyRules rules; throws
// IniWriteError as writeSettings does.
void writeCurrencyRules(const std::filesystem::path& iniPath, const std::vector<CurrencyRule>& rules);

// Whether the printed report carries page totals: section "Report", key
// "PageTotals", 1 or 0; off when missing or unreadable. Written when the
// menu item is toggled; throws IniWriteError as writeSettings does.
bool readPageTotals(const std::filesystem::path& iniPath);
void writePageTotals(const std::filesystem::path& iniPath, bool on);

// The totals flown before the log, section "OpeningTotals": "Flights",
// "FlightMinutes", "HobbsMinutes" (whole minutes) and "Date" (YYYY-MM-DD).
// None when the section is missing, and when any of the four cannot be read
// or is out of range, so that half a set never counts.
std::optional<OpeningTotals> readOpeningTotals(const std::filesystem::path& iniPath);
// Rewrites the section; none leaves its four keys empty. Throws
// IniWriteError as writeSettings does.
void writeOpeningTotals(const std::filesystem::path& iniPath, const std::optional<OpeningTotals>& totals);

// The device file behind "COM1".."COM8": section "Ports", key "COM<n>" when
// given, else /dev/ttyS0../dev/ttyS7. Throws std::out_of_range for a port
// number outside 1..8.
std::filesystem::path portDevicePath(const std::filesystem::path& iniPath, int portNumber);

} // namespace cvlog
