#include "presentation/statistics_texts.h"

namespace cvlog
{

namespace
{

QString altitudeUnit(UnitMode mode)
{
    return mode == UnitMode::Metric ? QStringLiteral("m") : QStringLiteral("ft");
}

QString speedUnit(UnitMode mode)
{
    switch (mode) {
    case UnitMode::Metric:
        return QStringLiteral("km/h");
    case UnitMode::FeetKnots:
        return QStringLiteral("kt");
    case UnitMode::FeetMph:
        break;
    }
    return QStringLiteral("mph");
}

QString dateText(const QDate& date, const QLocale& locale)
{
    return date.isValid() ? locale.toString(date, QLocale::ShortFormat) : QString();
}

QStringList tallyRow(const QString& label, const FlightTally& tally, FractionMode mode)
{
    return { label, QString::number(tally.flights), flightTimeText(tally.minutes, mode) };
}

StatisticsTable summaryTable(const StatisticsSummary& s, const DisplayMarks& marks, const QLocale& locale)
{
    const FractionMode fraction = fractionMode(marks);
    const UnitMode units = unitMode(marks);
    return { QStringLiteral("Summary"), { QStringLiteral("Figure"), QStringLiteral("Value") },
        {
            { QStringLiteral("Flights"), QString::number(s.flights) },
            { QStringLiteral("Total flight time"), flightTimeText(s.totalMinutes, fraction) },
            { QStringLiteral("Average flight time"), flightTimeText(s.averageMinutes, fraction) },
            { QStringLiteral("Longest flight time"), flightTimeText(s.longestMinutes, fraction) },
            { QStringLiteral("Highest altitude (%1)").arg(altitudeUnit(units)),
                altitudeText(s.highestFeet, units) },
            { QStringLiteral("Highest speed (%1)").arg(speedUnit(units)), speedText(s.highestMph, units) },
            { QStringLiteral("First take-off"), dateText(s.firstDate, locale) },
            { QStringLiteral("Last take-off"), dateText(s.lastDate, locale) },
            { QStringLiteral("Flights without a take-off date"), QString::number(s.undatedFlights) },
        } };
}

// The whole log's summary names what was flown before it, on a line of its
// own: its flights are not the log's, so the averages and highs leave them out.
QStringList openingRow(const OpeningTotals& opening, FractionMode mode, const QLocale& locale)
{
    return { QStringLiteral("Before the log, at %1").arg(dateText(opening.date, locale)),
        QStringLiteral("%1 %2, %3 flight time, %4 Hobbs")
            .arg(opening.flights)
            .arg(opening.flights == 1 ? QStringLiteral("flight") : QStringLiteral("flights"))
            .arg(flightTimeText(opening.minutes, mode), hobbsText(opening.hobbsMinutes, mode)) };
}

StatisticsTable recentTable(const FlightStatistics& statistics, FractionMode mode, const QLocale& locale)
{
    const RecentFlying& r = statistics.recent;
    // Recent flying ignores the period; the title says so.
    return { QStringLiteral("Recent flying, all flights up to %1").arg(dateText(statistics.today, locale)),
        { QStringLiteral("Period"), QStringLiteral("Flights"), QStringLiteral("Flight time") },
        {
            tallyRow(QStringLiteral("Last 90 days"), r.last90Days, mode),
            tallyRow(QStringLiteral("Last 12 months"), r.last12Months, mode),
            tallyRow(QStringLiteral("Last 24 months"), r.last24Months, mode),
        } };
}

// Flights and flight time per year, instrument or student: one row per
// tally, named by `labelOf`.
template <class Tally, class LabelOf>
StatisticsTable tallyTable(const QString& title, const QString& heading, const std::vector<Tally>& tallies,
    LabelOf labelOf, FractionMode mode)
{
    StatisticsTable table { title, { heading, QStringLiteral("Flights"), QStringLiteral("Flight time") },
        {} };
    for (const Tally& t : tallies)
        table.rows.push_back(tallyRow(labelOf(t), t.tally, mode));
    return table;
}

// "3 flights and 1:00 in the last 90 days, EB02"
QString ruleText(const CurrencyRule& rule)
{
    QStringList asked;
    if (rule.flights > 0)
        asked << (rule.flights == 1 ? QStringLiteral("1 flight")
                                    : QStringLiteral("%1 flights").arg(rule.flights));
    if (rule.minutes > 0)
        asked << formatHoursMinutes(rule.minutes);
    const bool months = rule.span == CurrencyRule::Span::Months;
    const QString unit = months ? QStringLiteral("month") : QStringLiteral("day");
    QString text = (asked.isEmpty() ? QStringLiteral("No flight") : asked.join(QStringLiteral(" and ")))
        + (rule.length == 1 ? QStringLiteral(" in the last ") + unit
                            : QStringLiteral(" in the last %1 %2s").arg(rule.length).arg(unit));
    if (!rule.instrument.isEmpty())
        text += QStringLiteral(", ") + rule.instrument;
    return text;
}

QString standingText(const CurrencyStanding& standing, const QLocale& locale)
{
    if (standing.current) {
        return standing.lastDay.isValid()
            ? QStringLiteral("Current until %1").arg(dateText(standing.lastDay, locale))
            : QStringLiteral("Current");
    }
    QStringList needs;
    if (standing.flightsNeeded > 0)
        needs << (standing.flightsNeeded == 1
                ? QStringLiteral("1 more flight")
                : QStringLiteral("%1 more flights").arg(standing.flightsNeeded));
    if (standing.minutesNeeded > 0)
        needs << formatHoursMinutes(standing.minutesNeeded) + QStringLiteral(" more");
    return QStringLiteral("Not current: needs ") + needs.join(QStringLiteral(" / "));
}

StatisticsTable currencyTable(
    const FlightStatistics& statistics, const std::vector<CurrencyRule>& rules, const QLocale& locale)
{
    StatisticsTable table { QStringLiteral("Currency on %1").arg(dateText(statistics.today, locale)),
        { QStringLiteral("Rule"), QStringLiteral("Flights"), QStringLiteral("Flight time"),
            QStringLiteral("Standing"), QStringLiteral("Lapsed on") },
        {} };
    for (std::size_t i = 0; i < statistics.currency.size() && i < rules.size(); ++i) {
        const CurrencyStanding& s = statistics.currency[i];
        const QDate lapsed = !s.current && s.lastDay.isValid() ? s.lastDay.addDays(1) : QDate();
        table.rows.push_back({ ruleText(rules[i]), QString::number(s.flights), formatHoursMinutes(s.minutes),
            standingText(s, locale), dateText(lapsed, locale) });
    }
    return table;
}

// A cell must not break the spreadsheet's rows and columns.
QString cellText(QString text)
{
    for (QChar& c : text) {
        if (c == u'\t' || c == u'\n' || c == u'\r')
            c = u' ';
    }
    return text;
}

void appendLine(QString& out, const QStringList& cells)
{
    for (qsizetype i = 0; i < cells.size(); ++i) {
        if (i > 0)
            out += u'\t';
        out += cellText(cells[i]);
    }
    out += u'\n';
}

} // namespace

QString statisticsCaption(const FlightStatistics& statistics, const QLocale& locale)
{
    if (!statistics.period)
        return QStringLiteral("All flights");
    return QStringLiteral("Flights from %1 to %2")
        .arg(dateText(statistics.period->from(), locale), dateText(statistics.period->to(), locale));
}

std::vector<StatisticsTable> statisticsTables(
    const FlightStatistics& statistics, const DisplayMarks& marks, const QLocale& locale)
{
    const FractionMode mode = fractionMode(marks);
    std::vector<StatisticsTable> tables { summaryTable(statistics.summary, marks, locale),
        recentTable(statistics, mode, locale),
        tallyTable(
            QStringLiteral("Flights per year"), QStringLiteral("Year"), statistics.years,
            [](const YearTally& y) { return QString::number(y.year); }, mode),
        tallyTable(
            QStringLiteral("Flights per instrument"), QStringLiteral("Instrument"), statistics.instruments,
            [](const InstrumentTally& i) { return i.name; }, mode) };
    if (statistics.openingTotals && !statistics.period)
        tables.front().rows.push_back(openingRow(*statistics.openingTotals, mode, locale));
    tables.push_back(tallyTable(
        QStringLiteral("Flights per student"), QStringLiteral("Student"), statistics.students,
        [](const StudentTally& s) { return QString::number(s.student); }, mode));
    tables.back().shown = !statistics.students.empty();
    tables.push_back(currencyTable(statistics, statistics.currencyRules, locale));
    tables.back().shown = !statistics.currency.empty();
    return tables;
}

QString statisticsTabText(
    const FlightStatistics& statistics, const DisplayMarks& marks, const QLocale& locale)
{
    QString out = cellText(statisticsCaption(statistics, locale)) + u'\n';
    for (const StatisticsTable& table : statisticsTables(statistics, marks, locale)) {
        if (!table.shown)
            continue;
        out += u'\n';
        appendLine(out, { table.title });
        appendLine(out, table.headings);
        for (const QStringList& row : table.rows)
            appendLine(out, row);
    }
    return out;
}

} // namespace cvlog
