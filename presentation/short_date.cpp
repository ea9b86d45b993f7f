#include "presentation/short_date.h"

namespace cvlog
{

namespace
{

// A two-digit year is read as the year within this many years of today's.
constexpr int kTwoDigitYearWindow = 50;

} // namespace

QString shortDateText(const QDate& date, const QLocale& locale)
{
    if (!date.isValid())
        return {};
    return locale.toString(date, QLocale::ShortFormat);
}

QDate parseShortDate(const QString& text, int referenceYear, const QLocale& locale)
{
    const QString format = locale.dateFormat(QLocale::ShortFormat);
    QDate date = locale.toDate(text.trimmed(), format);
    if (!date.isValid() || format.contains(QLatin1String("yyyy")) || !format.contains(QLatin1String("yy")))
        return date;
    // Qt reads a two-digit year as 19yy; put it into the century that keeps
    // it nearest the reference year.
    const int yy = date.year() % 100;
    int year = (referenceYear / 100) * 100 + yy;
    if (year > referenceYear + kTwoDigitYearWindow - 1)
        year -= 100;
    else if (year < referenceYear - kTwoDigitYearWindow)
        year += 100;
    return QDate(year, date.month(), date.day());
}

} // namespace cvlog
