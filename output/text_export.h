#pragma once
// The text exports: one line per flight the main view shows, nine values
// joined by a space or a comma, each line ended by CR LF, no heading and no
// total. Values are in the stored units whatever the display modes, texts in
// UTF-8.

#include "logstore/flight_log.h"
#include "logstore/stored_values.h"

#include <QLocale>

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace cvlog
{

inline constexpr char kTextSeparator = ' ';
inline constexpr char kCommaSeparator = ',';

// The dates of the export in the locale's short format. A log holds few
// distinct days, so each day's text is asked of the locale once and then
// found by the day's place in a calendar of the years seen: rows in date
// order find their days side by side.
class ShortDateTexts
{
public:
    explicit ShortDateTexts(const QLocale& locale);
    // The text of a stored "yyyymmdd" date; empty when there is none. Valid
    // until the next call. Inline: a day met before is found at once.
    std::string_view text(std::string_view stored)
    {
        if (const auto date = storedDateDigits(stored)) {
            const auto at = static_cast<std::size_t>(
                (date->year - firstYear_) * kDaysPerYear + (date->month - 1) * 31 + date->day - 1);
            if (date->year >= firstYear_ && date->month >= 1 && date->month <= 12 && date->day >= 1
                && date->day <= 31 && at < calendar_.size() && calendar_[at].size != kUnknown)
                return { texts_.data() + calendar_[at].at, calendar_[at].size };
        }
        return learn(stored);
    }

private:
    struct Day {
        std::uint32_t at = 0; // in texts_
        std::uint32_t size = kUnknown;
    };
    static constexpr std::uint32_t kUnknown = UINT32_MAX;
    static constexpr int kDaysPerYear = 12 * 31; // every month given 31 days
    // A calendar of a thousand years takes 3 MB; days outside it are asked
    // of the locale every time.
    static constexpr int kMostYears = 1000;

    // Any other date: a day met for the first time, a foreign field of
    // another width, or no date at all.
    std::string_view learn(std::string_view stored);
    // Makes room for the year's days; false when that would pass kMostYears.
    bool widen(int year);
    std::string_view textOf(std::string_view stored);

    QLocale locale_;
    int firstYear_ = 0;
    int endYear_ = 0; // after the last year of the calendar
    std::vector<Day> calendar_; // from 1 January of firstYear_
    std::string texts_; // every day's text, one after another
    std::string unremembered_;
};

// Builds export lines into a block of text.
class ExportLineWriter
{
public:
    // The room a line needs is reckoned once from the log's field widths,
    // so a table with wider fields than the program's own exports whole.
    ExportLineWriter(const FlightLog& log, char separator, const QLocale& locale);

    // Adds the line of a row of the log, CR LF included.
    void append(const DbfRecord& row);
    std::string_view text() const { return { buffer_.data(), used_ }; }
    void clear() { used_ = 0; }

private:
    const FlightLog& log_;
    char separator_;
    ShortDateTexts dates_;
    std::size_t lineRoom_ = 0; // every value at its longest, the date aside
    std::vector<char> buffer_;
    std::size_t used_ = 0;
};

// Writes the rows the view shows, from its first visible row, to the file;
// the view stands on its last visible row afterwards. The file appears only
// when complete: a failure (FileError, in the run-time library's words)
// leaves an earlier file of that name as it was. The grid's display is
// suspended meanwhile and resumed however the export ends. Returns the
// number of lines written.
std::uint32_t exportVisibleRows(
    FlightLog& view, const std::filesystem::path& target, char separator, const QLocale& locale);

} // namespace cvlog
