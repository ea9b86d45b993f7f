#pragma once
// The figures of the flight statistics: totals of a period of take-off
// dates (or of the whole log), recent flying, and flight time per year,
// month and instrument, all gathered in one pass over the live rows. They
// are kept in the stored units; presentation/ makes their texts.

#include "logstore/currency.h"
#include "logstore/date_period.h"
#include "logstore/flight_log.h"

#include <QDate>
#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

namespace cvlog
{

// What the pilot flew before the log began, as the day they stand at has it.
// They belong to the whole log's totals only: never to recent flying, a
// year, an instrument, a student, a month or a currency rule.
struct OpeningTotals {
    std::int64_t flights = 0;
    std::int64_t minutes = 0;
    std::int64_t hobbsMinutes = 0;
    QDate date;
    bool operator==(const OpeningTotals&) const = default;
};

// The most that opening totals may hold: beyond these they are a typing
// slip, and the sums stay far from any overflow.
inline constexpr std::int64_t kMostOpeningFlights = 9'999'999;
inline constexpr std::int64_t kMostOpeningMinutes = 999'999'999;

// Counts within 0 and the most above, and a valid date.
bool isSoundOpening(const OpeningTotals& totals);

struct StatisticsParameters {
    // The take-off days counted, as the date filter chooses them; none:
    // every live row.
    std::optional<DatePeriod> period;
    // The day recent flying is counted back from (the caller's clock).
    QDate today;
    // Judged over the whole log, whatever the period.
    std::vector<CurrencyRule> currencyRules = {};
    std::optional<OpeningTotals> openingTotals = std::nullopt;
};

struct FlightTally {
    std::int64_t flights = 0;
    std::int64_t minutes = 0;
    bool operator==(const FlightTally&) const = default;
};

struct StatisticsSummary {
    std::int64_t flights = 0;
    std::int64_t totalMinutes = 0;
    std::int64_t averageMinutes = 0; // to the nearest minute, 0 without flights
    std::int32_t longestMinutes = 0;
    std::int32_t highestFeet = 0;
    std::int32_t highestMph = 0;
    QDate firstDate; // of the dated rows; invalid when there is none
    QDate lastDate;
    std::int64_t undatedFlights = 0;
    bool operator==(const StatisticsSummary&) const = default;
};

// Over the whole log, whatever the period; rows without a date or dated
// after today are not recent.
struct RecentFlying {
    FlightTally last90Days; // today and the 89 days before it
    FlightTally last12Months; // after today.addMonths(-12), up to today
    FlightTally last24Months;
    bool operator==(const RecentFlying&) const = default;
};

struct YearTally {
    int year = 0;
    FlightTally tally;
    bool operator==(const YearTally&) const = default;
};

struct MonthTally {
    int year = 0;
    int month = 0; // 1..12
    FlightTally tally;
    bool operator==(const MonthTally&) const = default;
};

struct InstrumentTally {
    QString name; // the INSTRUMENT text as the grid shows it; empty for none
    FlightTally tally;
    bool operator==(const InstrumentTally&) const = default;
};

struct StudentTally {
    std::int32_t student = 0; // the STUDENT value
    FlightTally tally;
    bool operator==(const StudentTally&) const = default;
};

struct FlightStatistics {
    std::optional<DatePeriod> period;
    QDate today;
    StatisticsSummary summary;
    RecentFlying recent;
    std::vector<YearTally> years; // of the period, years with flights, newest first
    std::vector<MonthTally> months; // of the period, first to last dated month, empty months included
    std::vector<InstrumentTally> instruments; // of the period, most flight time first, ties by name
    // Of the period, by value; empty when every flight has the value 0.
    std::vector<StudentTally> students;
    std::vector<CurrencyRule> currencyRules; // as given
    std::vector<CurrencyStanding> currency; // one per rule, in their order
    std::optional<OpeningTotals> openingTotals; // as given
};

// Reads every live row of the file once (the view's filter switch plays no
// part; an edit not yet posted is not counted). Throws DbfError when the
// view is closed.
FlightStatistics computeFlightStatistics(const FlightLog& log, const StatisticsParameters& parameters);

} // namespace cvlog
