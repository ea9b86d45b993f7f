// The report laid out without a printer: page breaks, the total, the texts
// of every band and where they stand on the paper.

#include "output/report_layout.h"

#include <gtest/gtest.h>

#include <map>
#include <vector>

namespace cvlog
{
namespace
{

const QLocale kBritish(QLocale::English, QLocale::UnitedKingdom);

class ListRows : public ReportRows
{
public:
    explicit ListRows(std::vector<ReportFlight> flights)
        : flights_(std::move(flights))
    {
    }
    std::uint32_t next(std::uint32_t after) override { return after < flights_.size() ? after + 1 : 0; }
    std::int32_t flightMinutes(std::uint32_t key) override { return flight(key).flightTime.value_or(0); }
    ReportFlight flight(std::uint32_t key) override { return flights_.at(key - 1); }

private:
    std::vector<ReportFlight> flights_;
};

ReportFlight hour(int day = 5)
{
    return { QDate(2026, 3, day), QStringLiteral("9:05"), 60, 1200, 85, 0, 1234, QStringLiteral("ABCD"), {} };
}

ReportSettings settings(FractionMode mode = FractionMode::Minutes)
{
    return { QDate(2026, 1, 1), QDate(2026, 3, 31), mode, QDateTime(QDate(2026, 3, 5), QTime(14, 30, 5)),
        kBritish };
}

// The texts of one band by their position relative to the band: "left,top text".
std::vector<std::string> placed(const ReportBand& band)
{
    std::vector<std::string> out;
    for (const ReportText& t : band.texts) {
        const double left = (t.alignRight != 0 ? t.alignRight : t.left) - kReportMargin;
        out.push_back(QStringLiteral("%1%2,%3 %4")
                          .arg(t.alignRight != 0 ? QStringLiteral("right ") : QString())
                          .arg(left, 0, 'f', 1)
                          .arg(t.top - band.top, 0, 'f', 1)
                          .arg(t.text)
                          .toStdString());
    }
    return out;
}

TEST(ReportLayout, FlightsBreakIntoPagesOfTwentyOneThenTwentyTwo)
{
    struct Case {
        int flights;
        std::vector<int> details; // per page
        int summaryPage; // 0: none
    };
    const Case cases[] = {
        { 0, { 0 }, 0 },
        { 1, { 1 }, 1 },
        { 20, { 20 }, 1 },
        { 21, { 21 }, 2 }, // no room for the summary under the 21st
        { 22, { 21, 1 }, 2 },
        { 43, { 21, 22 }, 3 }, // a full second page leaves no room for it
        { 45, { 21, 22, 2 }, 3 },
        { 65, { 21, 22, 22 }, 4 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.flights);
        ListRows rows(std::vector<ReportFlight>(static_cast<std::size_t>(c.flights), hour()));
        const ReportLayout layout = layOutReport(rows, settings());
        std::vector<int> details;
        int summaryPage = 0;
        for (std::size_t i = 0; i < layout.pages.size(); ++i) {
            details.push_back(layout.pages[i].details);
            if (layout.pages[i].summary)
                summaryPage = static_cast<int>(i) + 1;
        }
        if (details.size() > c.details.size() && details.back() == 0)
            details.pop_back(); // the summary's own page
        EXPECT_EQ(details, c.details);
        EXPECT_EQ(summaryPage, c.summaryPage);
        EXPECT_EQ(layout.totalMinutes, 60 * c.flights);

        // Every page: the header, its details, the footer last at the foot.
        for (int p = 0; p < static_cast<int>(layout.pages.size()); ++p) {
            const ReportPage page = placeReportPage(layout, p, rows);
            ASSERT_GE(page.bands.size(), 2u);
            EXPECT_EQ(page.bands[p == 0 ? 1 : 0].kind, ReportBandKind::ColumnHeader);
            EXPECT_EQ(page.bands.back().kind, ReportBandKind::PageFooter);
            EXPECT_DOUBLE_EQ(page.bands.back().top, 297.0 - 12.7 - 10.6);
            EXPECT_EQ(page.bands.back().texts.back().text, QString::number(p + 1));
            for (std::size_t b = 1; b < page.bands.size(); ++b)
                EXPECT_LE(page.bands[b - 1].top + page.bands[b - 1].height, page.bands[b].top + 1e-9);
        }
    }
}

TEST(ReportLayout, TheTotalAndTheTimesFollowTheFractionMode)
{
    ListRows rows(std::vector<ReportFlight>(45, hour()));
    for (const auto& [mode, total] :
        { std::pair { FractionMode::Minutes, "45:00" }, std::pair { FractionMode::Decimals, "45.00" } }) {
        const ReportLayout layout = layOutReport(rows, settings(mode));
        ASSERT_EQ(layout.pages.size(), 3u);
        const ReportPage last = placeReportPage(layout, 2, rows);
        const ReportBand& summary = last.bands[last.bands.size() - 2];
        ASSERT_EQ(summary.kind, ReportBandKind::Summary);
        EXPECT_EQ(placed(summary),
            (std::vector<std::string> {
                "14.8,0.3 Total time for period", std::string("46.6,0.3 ") + total }));
    }

    const std::tuple<int, const char*, const char*> times[]
        = { { 90, "1:30", "1.50" }, { 3, "0:03", "0.05" }, { 125, "2:05", "2.08" }, { 0, "0:00", "0.00" },
              { 119, "1:59", "1.98" }, { 600000, "10000:00", "10000.00" } };
    for (const auto& [minutes, asMinutes, asDecimals] : times) {
        EXPECT_EQ(reportTimeText(minutes, FractionMode::Minutes), QLatin1String(asMinutes));
        EXPECT_EQ(reportTimeText(minutes, FractionMode::Decimals), QLatin1String(asDecimals));
    }
}

TEST(ReportLayout, EveryBandPlacesItsTextsAndRulesWhereTheFormHasThem)
{
    ReportFlight withComment = hour();
    withComment.flightTime = 3;
    withComment.hobbs = 90;
    withComment.student = 1;
    withComment.comment = QStringLiteral("first solo");
    ReportFlight bare;
    bare.flightTime = std::nullopt;
    ListRows rows({ withComment, bare, hour() });
    const ReportLayout layout = layOutReport(rows, settings(FractionMode::Decimals));
    const ReportPage page = placeReportPage(layout, 0, rows);
    ASSERT_EQ(page.bands.size(), 7u); // title, header, three details, summary, footer

    const ReportBand& title = page.bands[0];
    EXPECT_DOUBLE_EQ(title.top, 12.7);
    ASSERT_EQ(title.texts.size(), 2u);
    EXPECT_EQ(placed(title)[0], "2.1,2.1 Varnok Zozivura - Corvane Log");
    // The long time format may name the time zone after the time.
    EXPECT_EQ(placed(title)[1].rfind("right 183.1,3.2 05/03/2026 14:30:05", 0), 0u) << placed(title)[1];
    EXPECT_EQ(title.texts[0].font, ReportFont::Title);
    ASSERT_EQ(title.rules.size(), 1u);
    EXPECT_DOUBLE_EQ(title.rules[0].middle - title.top, 8.6);
    EXPECT_EQ(title.rules[0].penWidth, 3);
    EXPECT_DOUBLE_EQ(title.rules[0].left, 12.7 + 2.1);
    EXPECT_DOUBLE_EQ(title.rules[0].right, 12.7 + 182.3);

    const ReportBand& header = page.bands[1];
    EXPECT_DOUBLE_EQ(header.top, 12.7 + 10.6);
    EXPECT_EQ(placed(header),
        (std::vector<std::string> { "0.0,4.2 Take off date", "23.3,4.2 Take off time", "46.6,4.2 Flight time",
            "69.8,4.2 Altitude", "86.8,4.2 Speed", "103.7,4.2 Hobbs", "118.5,4.2 Student",
            "137.6,4.2 Instrument" }));
    EXPECT_DOUBLE_EQ(header.rules.at(0).middle - header.top, 9.9);
    EXPECT_EQ(header.rules.at(0).penWidth, 1);

    const ReportBand& first = page.bands[2];
    EXPECT_DOUBLE_EQ(first.top, 12.7 + 21.2);
    EXPECT_DOUBLE_EQ(first.height, 11.1);
    EXPECT_EQ(placed(first),
        (std::vector<std::string> { "0.0,0.0 05/03/2026", "23.3,0.0 9:05", "46.6,0.0 0.05", "69.8,0.0 1200",
            "86.8,0.0 85", "103.7,0.0 1.50", "118.5,0.0 1", "137.6,0.0 ABCD", "46.6,4.2 first solo" }));
    EXPECT_DOUBLE_EQ(first.rules.at(0).middle - first.top, 9.9);
    // Empty fields: no date, the times count as 0, no numbers, student left out.
    EXPECT_EQ(placed(page.bands[3]),
        (std::vector<std::string> { "0.0,0.0 ", "23.3,0.0 ", "46.6,0.0 0.00", "69.8,0.0 ", "86.8,0.0 ",
            "103.7,0.0 0.00", "118.5,0.0 ", "137.6,0.0 ", "46.6,4.2 " }));
    EXPECT_EQ(placed(page.bands[4])[6], "118.5,0.0 "); // student 0 prints nothing
    EXPECT_DOUBLE_EQ(page.bands[5].top, 12.7 + 21.2 + 3 * 11.1);
    EXPECT_EQ(placed(page.bands[5])[1], "46.6,0.3 1.05"); // 3 + 0 + 60 minutes

    const ReportBand& footer = page.bands[6];
    EXPECT_EQ(placed(footer),
        (std::vector<std::string> { "4.2,4.5 This report is for the period of 01/01/2026 to 31/03/2026",
            "160.9,4.2 Page", "169.3,4.2 1" }));
    EXPECT_DOUBLE_EQ(footer.rules.at(0).middle - footer.top, 2.25);
    EXPECT_EQ(footer.rules.at(0).penWidth, 3);
}

// Each page's footer: its totals, what earlier pages and the opening totals
// bring forward, and the sum of both; the footer grows by three lines, so
// fewer flights fit a page.
TEST(ReportLayout, PageTotalsCarryForwardFromPageToPage)
{
    using Lines = std::vector<std::string>; // the footer's lines above the period
    struct Case {
        int flights; // each an hour, with 30 Hobbs minutes but every tenth with none
        ReportTotals opening;
        FractionMode mode;
        std::vector<int> details; // per page, the summary's own page included
        std::vector<Lines> footers;
    };
    const Case cases[] = {
        { 45, { 100, 6000, 7000 }, FractionMode::Minutes, { 20, 21, 4 },
            {
                { "Page total|20:00|20 flights|Hobbs 9:00", "Brought forward|100:00|100 flights|Hobbs 116:40",
                    "Total to date|120:00|120 flights|Hobbs 125:40" },
                { "Page total|21:00|21 flights|Hobbs 9:30", "Brought forward|120:00|120 flights|Hobbs 125:40",
                    "Total to date|141:00|141 flights|Hobbs 135:10" },
                { "Page total|4:00|4 flights|Hobbs 2:00", "Brought forward|141:00|141 flights|Hobbs 135:10",
                    "Total to date|145:00|145 flights|Hobbs 137:10" },
            } },
        // The flight time stays hours and minutes; the Hobbs time reads as the grid's, in tenths.
        { 45, { 100, 6000, 7000 }, FractionMode::Decimals, { 20, 21, 4 },
            {
                { "Page total|20:00|20 flights|Hobbs 9.0", "Brought forward|100:00|100 flights|Hobbs 116.6",
                    "Total to date|120:00|120 flights|Hobbs 125.6" },
                { "Page total|21:00|21 flights|Hobbs 9.5", "Brought forward|120:00|120 flights|Hobbs 125.6",
                    "Total to date|141:00|141 flights|Hobbs 135.1" },
                { "Page total|4:00|4 flights|Hobbs 2.0", "Brought forward|141:00|141 flights|Hobbs 135.1",
                    "Total to date|145:00|145 flights|Hobbs 137.1" },
            } },
        // A full first page sends the summary to a page of its own, which still adds up.
        { 20, {}, FractionMode::Minutes, { 20, 0 },
            {
                { "Page total|20:00|20 flights|Hobbs 9:00", "Brought forward|0:00|0 flights|Hobbs 0:00",
                    "Total to date|20:00|20 flights|Hobbs 9:00" },
                { "Page total|0:00|0 flights|Hobbs 0:00", "Brought forward|20:00|20 flights|Hobbs 9:00",
                    "Total to date|20:00|20 flights|Hobbs 9:00" },
            } },
        { 0, { 1, 90, 95 }, FractionMode::Minutes, { 0 },
            { { "Page total|0:00|0 flights|Hobbs 0:00", "Brought forward|1:30|1 flight|Hobbs 1:35",
                "Total to date|1:30|1 flight|Hobbs 1:35" } } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.flights << " flights, mode " << static_cast<int>(c.mode));
        std::vector<ReportFlight> flights;
        for (int i = 1; i <= c.flights; ++i) {
            flights.push_back(hour());
            flights.back().hobbs = i % 10 == 0 ? std::nullopt : std::optional(30);
        }
        ListRows rows(flights);
        ReportSettings withTotals = settings(c.mode);
        withTotals.pageTotals = true;
        withTotals.broughtForward = c.opening;
        const ReportLayout layout = layOutReport(rows, withTotals);
        ASSERT_EQ(layout.pages.size(), c.details.size());
        for (int p = 0; p < static_cast<int>(layout.pages.size()); ++p) {
            SCOPED_TRACE(p + 1);
            EXPECT_EQ(
                layout.pages[static_cast<std::size_t>(p)].details, c.details[static_cast<std::size_t>(p)]);
            const ReportPage page = placeReportPage(layout, p, rows);
            const ReportBand& footer = page.bands.back();
            ASSERT_EQ(footer.kind, ReportBandKind::PageFooter);
            EXPECT_DOUBLE_EQ(footer.top, 297.0 - 12.7 - 24.1);
            const ReportBand& above = page.bands[page.bands.size() - 2];
            EXPECT_LE(above.top + above.height, footer.top + 1e-9);
            std::map<double, std::vector<QString>> rowsByTop;
            for (const ReportText& t : footer.texts)
                rowsByTop[t.top].push_back(t.text);
            Lines lines;
            for (const auto& [top, texts] : rowsByTop) {
                if (texts.size() == 4)
                    lines.push_back(QStringList(texts.begin(), texts.end()).join(u'|').toStdString());
            }
            EXPECT_EQ(lines, c.footers[static_cast<std::size_t>(p)]);
        }
    }

    // Where the lines stand: the times under the flight time, the counts
    // under the altitude, the Hobbs under the Hobbs column, the period below.
    ListRows one({ hour() });
    ReportSettings withTotals = settings();
    withTotals.pageTotals = true;
    const ReportPage page = placeReportPage(layOutReport(one, withTotals), 0, one);
    EXPECT_EQ(placed(page.bands.back()),
        (std::vector<std::string> { "4.2,4.2 Page total", "46.6,4.2 1:00", "69.8,4.2 1 flight",
            "103.7,4.2 Hobbs 20:34", "4.2,8.7 Brought forward", "46.6,8.7 0:00", "69.8,8.7 0 flights",
            "103.7,8.7 Hobbs 0:00", "4.2,13.2 Total to date", "46.6,13.2 1:00", "69.8,13.2 1 flight",
            "103.7,13.2 Hobbs 20:34", "4.2,18.0 This report is for the period of 01/01/2026 to 31/03/2026",
            "160.9,17.7 Page", "169.3,17.7 1" }));
}

TEST(ReportLayout, ThePrintingTimeLeavesOutMidnight)
{
    EXPECT_EQ(reportPrintedAtText(QDateTime(QDate(2026, 3, 5), QTime(0, 0)), kBritish), "05/03/2026");
    EXPECT_TRUE(reportPrintedAtText(QDateTime(QDate(2026, 3, 5), QTime(0, 0, 1)), kBritish)
                    .startsWith(QStringLiteral("05/03/2026 00:00:01")));
}

} // namespace
} // namespace cvlog
