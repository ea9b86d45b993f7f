#pragma once
// Dates in the system's short date format, as the grid shows them and the
// user types them.

#include <QDate>
#include <QLocale>
#include <QString>

namespace cvlog
{

// A two-digit year is placed within fifty years of the reference year, so
// that a date shown as 3/5/26 reads back as 2026 and not 1926. Invalid when
// the text is not such a date.
QString shortDateText(const QDate& date, const QLocale& locale = QLocale::system());
QDate parseShortDate(const QString& text, int referenceYear, const QLocale& locale = QLocale::system());

} // namespace cvlog
