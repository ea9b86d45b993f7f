#include "logstore/flight_statistics.h"
#include "table_test_support.h"

#include <QLocale>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <ostream>
#include <vector>

namespace cvlog
{

// Readable failures for the figures compared below.
std::ostream& operator<<(std::ostream& os, const FlightTally& t)
{
    return os << t.flights << " flights " << t.minutes << " min";
}
std::ostream& operator<<(std::ostream& os, const YearTally& y)
{
    return os << y.year << ": " << y.tally;
}
std::ostream& operator<<(std::ostream& os, const MonthTally& m)
{
    return os << m.year << '-' << m.month << ": " << m.tally;
}
std::ostream& operator<<(std::ostream& os, const InstrumentTally& i)
{
    return os << '"' << i.name.toStdString() << "\": " << i.tally;
}
std::ostream& operator<<(std::ostream& os, const RecentFlying& r)
{
    return os << r.last90Days << " / " << r.last12Months << " / " << r.last24Months;
}
std::ostream& operator<<(std::ostream& os, const StatisticsSummary& s)
{
    return os << s.flights << " flights, " << s.totalMinutes << " total, " << s.averageMinutes << " average, "
              << s.longestMinutes << " longest, " << s.highestFeet << " ft, " << s.highestMph << " mph, "
              << s.firstDate.toString(Qt::ISODate).toStdString() << " to "
              << s.lastDate.toString(Qt::ISODate).toStdString() << ", " << s.undatedFlights << " undated";
}

} // namespace cvlog

using namespace cvlog;

namespace
{

struct Flight {
    QDate date; // invalid: none
    std::optional<int> minutes; // none: the field stays null
    std::optional<int> feet;
    std::optional<int> mph;
    QString instrument;
};

using Period = std::optional<std::pair<QDate, QDate>>;

std::optional<DatePeriod> periodOf(const Period& period)
{
    if (!period)
        return std::nullopt;
    return DatePeriod(period->first, period->second);
}

Period datesOf(const std::optional<DatePeriod>& period)
{
    if (!period)
        return std::nullopt;
    return std::pair(period->from(), period->to());
}

const QLocale kBritish(QLocale::English, QLocale::UnitedKingdom);
const QDate kToday(2026, 3, 15);

// The log fields in the order the program creates them.
std::vector<FieldDef> programLayout()
{
    return logTableFields();
}

// The same fields as another program may rewrite them: reversed, named in
// other capitals, behind a column of its own.
std::vector<FieldDef> foreignLayout()
{
    std::vector<FieldDef> fields = logTableFields();
    std::reverse(fields.begin(), fields.end());
    for (FieldDef& f : fields)
        f.name = f.name.toLower();
    fields.insert(fields.begin(), { QStringLiteral("PILOT"), FieldType::Text, 12 });
    return fields;
}

class Statistics : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(dir_.isValid()); }

    // A log of the given flights, written through the view by field name;
    // the flights in `deleted` come first and are removed again.
    FlightLog& log(const std::vector<FieldDef>& layout, const std::vector<Flight>& flights,
        const std::vector<Flight>& deleted = {})
    {
        table_.setPath(std::filesystem::path(dir_.path().toStdString()) / "CVLog.dbf");
        table_.create(layout);
        table_.open();
        DbfTable& table = table_;
        auto add = [&](const Flight& f) {
            table_.append();
            if (const int pilot = table.fieldIndex(QStringLiteral("PILOT")); pilot >= 0)
                table.setText(pilot, QStringLiteral("another pilot"));
            if (f.date.isValid())
                table_.setDate(kTakeoffDate, f.date);
            if (f.minutes)
                table_.setInteger(kFlightTime, *f.minutes);
            if (f.feet)
                table_.setInteger(kMaxAltitude, *f.feet);
            if (f.mph)
                table_.setInteger(kMaxSpeed, *f.mph);
            table_.setText(kInstrument, f.instrument);
            table_.post();
        };
        for (const Flight& f : deleted) {
            add(f);
            table_.remove();
        }
        for (const Flight& f : flights)
            add(f);
        return table_;
    }

    // Stores a field's bytes unchecked, as a foreign writer may: where they
    // stand in the file is read from its header, as any reader of the file would.
    void storeField(std::uint32_t record, LogField field, const std::string& bytes)
    {
        const DbfTable& table = table_;
        const int at = table.fieldIndexOrThrow(logTableField(field).name);
        std::size_t offset = 1; // the deletion flag
        for (int i = 0; i < at; ++i)
            offset += static_cast<std::size_t>(table.field(i).width);
        const std::filesystem::path path = table_.path();
        table_.close();
        std::string file = cvlog::testing::readBytes(path);
        const std::uint32_t lengths = cvlog::testing::le32(file, 8); // of the header, then of a row
        file.replace((lengths & 0xFFFF) + (record - 1) * (lengths >> 16) + offset, bytes.size(), bytes);
        cvlog::testing::writeBytes(path, file);
        table_.open();
    }

    QTemporaryDir dir_;
    FlightLog table_;
};

class StatisticsInEachLayout : public Statistics, public ::testing::WithParamInterface<bool>
{
};

INSTANTIATE_TEST_SUITE_P(Layouts, StatisticsInEachLayout, ::testing::Bool(),
    [](const auto& info) { return info.param ? "Foreign" : "Program"; });

} // namespace

TEST_P(StatisticsInEachLayout, FiguresOfThePeriodOrOfTheWholeLog)
{
    const QDate nov3(2024, 11, 3), jan20(2025, 1, 20), apr2(2025, 4, 2), apr30(2025, 4, 30);
    FlightLog& table = log(GetParam() ? foreignLayout() : programLayout(),
        {
            { nov3, 90, 5000, 120, QStringLiteral("A123") },
            { QDate(2025, 1, 10), 45, 3000, 100, QStringLiteral("B7") },
            { jan20, 30, 8000, 90, QStringLiteral(" B7") }, // the same instrument, padded otherwise
            { apr2, 61, 2000, 150, QStringLiteral("A123") }, { apr30, 20, 1000, 60, QStringLiteral("C") },
            { QDate(), 20, 9000, 80, QStringLiteral("Z9") }, // no take-off date
            { apr30, std::nullopt, std::nullopt, std::nullopt, QString() }, // null numbers count as 0
        },
        { { QDate(2025, 2, 1), 500, 20000, 300, QStringLiteral("Z") } });

    struct Case {
        const char* name;
        Period period;
        Period applied;
        StatisticsSummary summary; // flights, total, average, longest, feet, mph, first, last, undated
        std::vector<YearTally> years;
        std::vector<MonthTally> months;
        std::vector<InstrumentTally> instruments;
    };
    const Case cases[] = {
        { "whole log", std::nullopt, std::nullopt, { 7, 266, 38, 90, 9000, 150, nov3, apr30, 1 },
            { { 2025, { 5, 156 } }, { 2024, { 1, 90 } } },
            { { 2024, 11, { 1, 90 } }, { 2024, 12, {} }, { 2025, 1, { 2, 75 } }, { 2025, 2, {} },
                { 2025, 3, {} }, { 2025, 4, { 3, 81 } } },
            { { "A123", { 2, 151 } }, { "B7", { 2, 75 } }, { "C", { 1, 20 } }, { "Z9", { 1, 20 } },
                { "", { 1, 0 } } } },
        { "both ends included; 45.5 minutes round up", std::pair(jan20, apr2), std::pair(jan20, apr2),
            { 2, 91, 46, 61, 8000, 150, jan20, apr2, 0 }, { { 2025, { 2, 91 } } },
            { { 2025, 1, { 1, 30 } }, { 2025, 2, {} }, { 2025, 3, {} }, { 2025, 4, { 1, 61 } } },
            { { "A123", { 1, 61 } }, { "B7", { 1, 30 } } } },
        { "a row without a date is day 0", std::pair(QDate(1899, 12, 30), QDate(1899, 12, 30)),
            std::pair(QDate(1899, 12, 30), QDate(1899, 12, 30)), { 1, 20, 20, 20, 9000, 80, {}, {}, 1 }, {},
            {}, { { "Z9", { 1, 20 } } } },
        { "To before From is raised to it", std::pair(apr30, QDate(2025, 1, 1)), std::pair(apr30, apr30),
            { 2, 20, 10, 20, 1000, 60, apr30, apr30, 0 }, { { 2025, { 2, 20 } } }, { { 2025, 4, { 2, 20 } } },
            { { "C", { 1, 20 } }, { "", { 1, 0 } } } },
        { "no flight", std::pair(QDate(2030, 1, 1), QDate(2030, 12, 31)),
            std::pair(QDate(2030, 1, 1), QDate(2030, 12, 31)), {}, {}, {}, {} },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const FlightStatistics s = computeFlightStatistics(table, { periodOf(c.period), kToday });
        EXPECT_EQ(datesOf(s.period), c.applied);
        EXPECT_EQ(s.summary, c.summary);
        EXPECT_EQ(s.years, c.years);
        EXPECT_EQ(s.months, c.months);
        EXPECT_EQ(s.instruments, c.instruments);
    }
}

TEST_F(Statistics, RecentFlyingCountsBackFromTodayOverTheWholeLog)
{
    // Each flight's minutes are a bit of its own, so a total names the flights in it.
    const QDate year = kToday.addMonths(-12);
    const QDate twoYears = kToday.addMonths(-24);
    FlightLog& table = log(programLayout(),
        {
            { kToday, 1, {}, {}, {} },
            { kToday.addDays(-89), 2, {}, {}, {} },
            { kToday.addDays(-90), 4, {}, {}, {} },
            { year.addDays(1), 8, {}, {}, {} },
            { year, 16, {}, {}, {} },
            { twoYears.addDays(1), 32, {}, {}, {} },
            { twoYears, 64, {}, {}, {} },
            { kToday.addDays(1), 128, {}, {}, {} },
            { QDate(), 256, {}, {}, {} },
            { QDate(2026, 2, 14), 512, {}, {}, {} },
            { QDate(2026, 2, 28), 1024, {}, {}, {} },
        });
    storeField(10, kFlightTime, "512      "); // digits on the left
    storeField(11, kTakeoffDate, "20260229"); // no such day: no date, right after a row of that month
    const RecentFlying expected { { 3, 1 + 2 + 512 }, { 5, 1 + 2 + 4 + 8 + 512 },
        { 7, 1 + 2 + 4 + 8 + 16 + 32 + 512 } };
    for (const Period& period : { Period(), Period(std::pair(QDate(2000, 1, 1), QDate(2000, 1, 31))) }) {
        EXPECT_EQ(computeFlightStatistics(table, { periodOf(period), kToday }).recent, expected);
    }
    EXPECT_EQ(computeFlightStatistics(table, { {}, QDate() }).recent, RecentFlying {}); // no today
}

TEST_F(Statistics, TextsChartAndCopyShowTheDisplayModes)
{
    FlightLog& table = log(programLayout(),
        {
            { QDate(2020, 1, 5), 90, 10000, 100, QStringLiteral("A1") },
            { QDate(2024, 12, 20), 75, 500, 50, QStringLiteral("A1") },
            { QDate(2025, 1, 2), 30, 800, 60, QStringLiteral("B\t2") },
        });
    const FlightStatistics all = computeFlightStatistics(table, { {}, kToday });

    struct Case {
        DisplayMarks marks;
        QString total, average, altitudeLabel, altitude, speedLabel, speed, instrumentTime;
    };
    const DisplayMarks feetMph;
    const Case cases[] = {
        { selectMetricUnits(feetMph), "3:15", "1:05", "Highest altitude (m)", "3048", "Highest speed (km/h)",
            "160", "2:45" },
        { selectDecimalFractions(selectFeetKnots(feetMph)), "3.25", "1.08", "Highest altitude (ft)", "10000",
            "Highest speed (kt)", "86", "2.75" },
        { feetMph, "3:15", "1:05", "Highest altitude (ft)", "10000", "Highest speed (mph)", "100", "2:45" },
    };
    for (const Case& c : cases) {
        const std::vector<StatisticsTable> tables = statisticsTables(all, c.marks, kBritish);
        ASSERT_EQ(tables.size(), 4U);
        const std::vector<QStringList>& summary = tables[0].rows;
        EXPECT_EQ(summary[1][1], c.total);
        EXPECT_EQ(summary[2][1], c.average);
        EXPECT_EQ(summary[4], QStringList({ c.altitudeLabel, c.altitude }));
        EXPECT_EQ(summary[5], QStringList({ c.speedLabel, c.speed }));
        EXPECT_EQ(tables[3].rows[0], QStringList({ "A1", "2", c.instrumentTime }));
    }

    EXPECT_EQ(statisticsTabText(all, feetMph, kBritish).toStdString(),
        "All flights\n"
        "\n"
        "Summary\n"
        "Figure\tValue\n"
        "Flights\t3\n"
        "Total flight time\t3:15\n"
        "Average flight time\t1:05\n"
        "Longest flight time\t1:30\n"
        "Highest altitude (ft)\t10000\n"
        "Highest speed (mph)\t100\n"
        "First take-off\t05/01/2020\n"
        "Last take-off\t02/01/2025\n"
        "Flights without a take-off date\t0\n"
        "\n"
        "Recent flying, all flights up to 15/03/2026\n"
        "Period\tFlights\tFlight time\n"
        "Last 90 days\t0\t0:00\n"
        "Last 12 months\t0\t0:00\n"
        "Last 24 months\t2\t1:45\n"
        "\n"
        "Flights per year\n"
        "Year\tFlights\tFlight time\n"
        "2025\t1\t0:30\n"
        "2024\t1\t1:15\n"
        "2020\t1\t1:30\n"
        "\n"
        "Flights per instrument\n"
        "Instrument\tFlights\tFlight time\n"
        "A1\t2\t2:45\n"
        "B 2\t1\t0:30\n");

    // January 2020 to January 2025 is 61 months: one bar per year, empty years included.
    const ChartSeries years = flightTimeChart(all);
    EXPECT_TRUE(years.perYear);
    EXPECT_EQ(years.labels, QStringList({ "2020", "2021", "2022", "2023", "2024", "2025" }));
    EXPECT_EQ(years.hours, std::vector<double>({ 1.5, 0, 0, 0, 1.25, 0.5 }));

    const FlightStatistics sixty
        = computeFlightStatistics(table, { DatePeriod(QDate(2020, 1, 1), QDate(2024, 12, 31)), kToday });
    EXPECT_EQ(statisticsCaption(sixty, kBritish), "Flights from 01/01/2020 to 31/12/2024");
    const ChartSeries months = flightTimeChart(sixty);
    EXPECT_FALSE(months.perYear);
    ASSERT_EQ(months.labels.size(), 60);
    EXPECT_EQ(months.labels.front(), "2020-01");
    EXPECT_EQ(months.labels.back(), "2024-12");
    EXPECT_EQ(months.hours.front(), 1.5);
    EXPECT_EQ(months.hours.back(), 1.25);
    EXPECT_EQ(std::count(months.hours.begin(), months.hours.end(), 0.0), 58);
}
