#pragma once
// The keys a record edit takes from the keyboard. A pasted text does not go
// through here (see storableText).

#include "logstore/flight_log.h"
#include "presentation/display_units.h"

#include <QChar>
#include <QStringView>

namespace cvlog
{

// The number edits take signs and digits, and the duration edits the
// separator of the fraction mode too; the text edits take what the code
// page holds; the date edit takes every key. Control and navigation keys
// (empty text, control characters) always pass.
bool isAcceptedEditKey(LogField field, QStringView keyText, const DisplayMarks& marks);

// Each character of a key's text is a control character, a sign, a digit or
// the separator (none when `separator` is null).
bool acceptsNumberKeys(QStringView keyText, QChar separator);
// Each character of a key's text is a control character or one the code
// page holds.
bool acceptsStorableKeys(QStringView keyText);

} // namespace cvlog
