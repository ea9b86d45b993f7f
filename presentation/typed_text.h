#pragma once
// Typed and pasted text turned back into what the log stores: durations in
// minutes, altitudes in feet, speeds in mph, and texts the table's code page
// holds.

#include "logstore/flight_statistics.h"
#include "presentation/display_units.h"

#include <QDate>
#include <QLocale>
#include <QString>
#include <QStringView>

#include <cstdint>
#include <optional>

namespace cvlog
{

// The longest duration a field holds: nine digits of minutes.
inline constexpr std::int64_t kLongestDuration = 999'999'999;

// Typed duration text to minutes. A duration is whole hours, or hours, the
// separator of the mode (":" for Minutes, "." for Decimals) and a fraction of
// plain digits; an empty part counts as 0 (":45", "1:", ""). In Minutes mode
// the fraction is minutes (1:75 is 135). In Decimals mode the digits are a
// decimal fraction of an hour, rounded to the minute: the flight time shows
// hundredths, the Hobbs time tenths, and 1.5 and 1.50 are 90 either way. Empty when the
// text is no duration in the mode ("1:30:00", "1.5" in Minutes mode, a minus
// sign) or its minutes fall outside 0..kLongestDuration.
std::optional<std::int32_t> parseDuration(QStringView text, FractionMode mode);

// Typed altitude and speed to the stored feet and mph, truncated toward zero;
// an empty text is 0. Empty when the text is not a whole number. The result
// may not fit the table's field; the table refuses it then.
std::optional<std::int64_t> altitudeFromText(QStringView text, UnitMode mode);
std::optional<std::int64_t> speedFromText(QStringView text, UnitMode mode);

// A typed whole number as the log's integer fields read one; empty when the
// text is none.
std::optional<std::int32_t> wholeNumber(QStringView text);

// A pasted text as a text field can keep it: tabs, line breaks and other
// control characters become spaces (they would break the export's lines),
// characters the table's code page lacks become "?". `replaced` lists each
// such character once, in the order met.
struct StorableText {
    QString text;
    QString replaced;
};
StorableText storableText(QStringView typed);
// What the user is told when a pasted text had characters replaced.
QString replacedCharactersMessage(QStringView replaced);

// The four texts of the opening totals as typed: the flights, the flight
// time and the Hobbs time in the chosen hour fractions, and the date they
// stand at in the short date format.
struct TypedOpeningTotals {
    QString flights;
    QString flightTime;
    QString hobbsTime;
    QString date;
};

// What they read as: the totals, or none with an empty refusal when every
// text is empty (the pilot takes them away), or why they cannot be read.
// An empty count or time is 0; the date is needed, and may be neither after
// today nor after the log's first dated flight (invalid: the log has none).
struct OpeningTotalsInput {
    std::optional<OpeningTotals> totals;
    QString refusal;
};
OpeningTotalsInput readTypedOpeningTotals(const TypedOpeningTotals& typed, FractionMode mode,
    const QDate& today, const QDate& firstFlight, const QLocale& locale = QLocale::system());

} // namespace cvlog
