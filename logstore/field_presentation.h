#pragma once
// How the record edits show the stored numbers (minutes, feet, miles per
// hour) in the chosen units, and how typed text is turned back into them.
//
// Everything is stored in one fixed unit and converted only for display, so
// the check marks of the Setup menu are the only place the display modes
// live; they are read afresh each time a text is made or read.

#include "logstore/flight_log.h"

#include <QDate>
#include <QLocale>
#include <QString>
#include <QStringView>

#include <array>
#include <cstdint>
#include <functional>
#include <optional>

namespace cvlog
{

enum class UnitMode { Metric, FeetKnots, FeetMph };
enum class FractionMode { Minutes, Decimals };

// The five check marks of the Setup menu, as loaded from and saved to the
// settings keys x1..x5.
struct DisplayMarks {
    bool x1 = false; // "(&1) Units Meters,kmh"
    bool x2 = true; // "(&2) Units feet,mph" (never consulted: feet and mph are what remains)
    bool x3 = false; // "(&3) Units feet,knots"
    bool x4 = true; // "(&a) Hour fractions are minutes" (never consulted)
    bool x5 = false; // "(&b) Hour fractions are decimals"

    static DisplayMarks fromArray(const std::array<bool, 5>& marks);
    std::array<bool, 5> toArray() const;
    bool operator==(const DisplayMarks&) const = default;
};

// Metric wins over knots, knots over the remaining feet/mph.
UnitMode unitMode(const DisplayMarks& marks);
// Decimals when (b) is on, whatever (a) says.
FractionMode fractionMode(const DisplayMarks& marks);

// The marks after each menu command (Metricunits1Click, N2Unitsfeetmph1Click,
// N3Unitsfeetnm1Click, a1Click, bHourfractionsaredecimals1Click). The window
// refreshes Dbf1 afterwards so that the grid shows the new modes.
DisplayMarks selectMetricUnits(DisplayMarks marks);
DisplayMarks selectFeetMph(DisplayMarks marks);
DisplayMarks selectFeetKnots(DisplayMarks marks);
DisplayMarks selectMinuteFractions(DisplayMarks marks);
DisplayMarks selectDecimalFractions(DisplayMarks marks);

// Whole hours, ":", two-digit minutes (65 gives 1:05); independent of the
// modes. Used by the filter's time total and the text exports.
QString formatHoursMinutes(std::int64_t minutes);

// Field texts, from the stored value (a null field reads 0).
QString flightTimeText(std::int64_t minutes, FractionMode mode); // 1:30 or 1.50
QString hobbsText(std::int32_t minutes, FractionMode mode); // 1:30 or 1.5
QString altitudeText(std::int32_t feet, UnitMode mode);
QString speedText(std::int32_t milesPerHour, UnitMode mode);

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

// Dates in the system's short date format. A two-digit year is placed within
// fifty years of the reference year, so that a date shown as 3/5/26 reads
// back as 2026 and not 1926. Invalid when the text is not such a date.
QString shortDateText(const QDate& date, const QLocale& locale = QLocale::system());
QDate parseShortDate(const QString& text, int referenceYear, const QLocale& locale = QLocale::system());

// How one of the log's fields reads and writes its edit's text.
struct FieldTextBinding {
    // The text an edit shows, and is edited, for the field of a row.
    std::function<QString(const LoggedFlight& row, LogField field)> getText;
    // Hands a typed text to the field of the current row; throws DbfError
    // when the field refuses it (the field then keeps its value).
    std::function<void(FlightLog& log, LogField field, const QString& text)> setText;
    // Whether the edit takes a key's text from the keyboard (a refused key
    // beeps); empty: every key.
    std::function<bool(QStringView keyText)> acceptsKey;
    // What a pasted or dropped text becomes in the edit; empty: as it is.
    std::function<StorableText(QStringView text)> storable;
};

// The stored value as it stands: numbers in decimal, dates in the system's
// short date format, texts as stored; empty for a null value. Number edits
// take signs and digits from the keyboard, text edits what the code page
// holds.
FieldTextBinding storedFieldTextBinding(FieldType type);

// The record edits in one place, for the grid: the four converted fields
// (FLIGHTTIME, HOBBS, MAXALT, MAXSPD) have their own texts, STUDENT is its
// decimal number (empty when null), the date is in the short date format of
// the locale, the text fields are shown as stored.
QString fieldText(const LoggedFlight& row, LogField field, const DisplayMarks& marks);
// Sets a field of the current row from its typed text: the converted fields
// and STUDENT as described here, the text fields as storableText leaves them.
// Throws DbfError when the text or the value is refused ("'<text>' is not a
// valid duration for field 'FLIGHTTIME'", "... valid integer value for field
// 'MAXALT'", the table's own refusal of a value too long); the field keeps
// its value. Typed dates go through storedFieldTextBinding.
void setFieldText(FlightLog& log, LogField field, QStringView text, const DisplayMarks& marks);
// The record edits' whole binding for one of the log's fields, in the modes
// that `marks` gives at the moment each text is made, read or typed.
FieldTextBinding fieldTextBinding(LogField field, std::function<DisplayMarks()> marks);

// The Student edit has no conversion: an empty text clears the field, a
// whole number is stored, anything else is refused with
// "'<text>' is not a valid integer value for field 'STUDENT'".
void setStudentText(FlightLog& log, QStringView text);

// Whether the Student edit and its label are shown for a row: hidden where
// the Student value is 0, shown elsewhere (an empty Student included).
bool studentEditVisible(QStringView studentText);
bool studentEditVisible(const LoggedFlight& row);

// The keys a record edit takes from the keyboard. The number edits take
// signs and digits, and the duration edits the separator of the fraction
// mode too; the text edits take what the code page holds; the date edit
// takes every key. Control and navigation keys (empty text, control
// characters) always pass. A pasted text does not go through here.
bool isAcceptedEditKey(LogField field, QStringView keyText, const DisplayMarks& marks);

} // namespace cvlog
