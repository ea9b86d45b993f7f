#pragma once
// The texts of the record edits: how each of the log's fields reads and is
// written through its edit, in the modes of the Setup menu.

#include "logstore/flight_log.h"
#include "presentation/display_units.h"
#include "presentation/short_date.h"
#include "presentation/typed_text.h"

#include <QString>
#include <QStringView>

#include <functional>

namespace cvlog
{

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

} // namespace cvlog
