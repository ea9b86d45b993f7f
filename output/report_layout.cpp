#include "output/report_layout.h"

namespace cvlog
{

namespace
{

// Band heights and the page, in hundredths of a millimetre, so that the
// question whether a band still fits has an exact answer.
constexpr int kTitleHeight = 1060;
constexpr int kHeaderHeight = 1060;
constexpr int kDetailHeight = 1110;
constexpr int kSummaryHeight = 1060;
constexpr int kFooterHeight = 1060;
// Each line of page totals the footer grows by.
constexpr int kTotalsLineHeight = 450;
constexpr int kTotalsLines = 3;
constexpr int kPrintableHeight = 27160; // 297 - 2 x 12.7

int footerHeight(const ReportSettings& settings)
{
    return kFooterHeight + (settings.pageTotals ? kTotalsLines * kTotalsLineHeight : 0);
}

// Where the page footer begins, from the top margin.
int footerTop(const ReportSettings& settings)
{
    return kPrintableHeight - footerHeight(settings);
}

constexpr double mm(int hundredths)
{
    return hundredths / 100.0;
}

constexpr const char* kHeading = "Varnok Zozivura - Corvane Log";
constexpr const char* kTotalLabel = "Total time for period";
constexpr const char* kPeriodText = "This report is for the period of ";

// Positions within a band, in millimetres from the left margin and from the
// top of the band.
constexpr double kRuleLeft = 2.1;
constexpr double kRuleRight = 182.3;
constexpr int kThickPen = 3;
constexpr int kThinPen = 1;

struct Column {
    double left;
    const char* caption;
};
constexpr Column kDateColumn { 0.0, "Take off date" };
constexpr Column kTimeColumn { 23.3, "Take off time" };
constexpr Column kFlightColumn { 46.6, "Flight time" };
constexpr Column kAltitudeColumn { 69.8, "Altitude" };
constexpr Column kSpeedColumn { 86.8, "Speed" };
constexpr Column kHobbsColumn { 103.7, "Hobbs" };
constexpr Column kStudentColumn { 118.5, "Student" };
constexpr Column kInstrumentColumn { 137.6, "Instrument" };
constexpr Column kColumns[] = { kDateColumn, kTimeColumn, kFlightColumn, kAltitudeColumn, kSpeedColumn,
    kHobbsColumn, kStudentColumn, kInstrumentColumn };

QString shortDate(const QDate& date, const QLocale& locale)
{
    return date.isValid() ? locale.toString(date, QLocale::ShortFormat) : QString();
}

QString numberText(const std::optional<std::int32_t>& value)
{
    return value ? QString::number(*value) : QString();
}

// The student column leaves a 0 out; any other text, an empty one too, is
// printed as it stands.
QString studentText(const std::optional<std::int32_t>& value)
{
    const QString text = numberText(value);
    return text == u"0" ? QString() : text;
}

class BandBuilder
{
public:
    BandBuilder(ReportBandKind kind, int top, int height)
    {
        band_.kind = kind;
        band_.top = kReportMargin + mm(top);
        band_.height = mm(height);
    }

    BandBuilder& text(double left, double top, QString text, ReportFont font = ReportFont::Normal)
    {
        band_.texts.push_back({ std::move(text), kReportMargin + left, band_.top + top, font, 0 });
        return *this;
    }

    BandBuilder& rightAligned(double right, double top, QString text)
    {
        band_.texts.push_back(
            { std::move(text), 0, band_.top + top, ReportFont::Normal, kReportMargin + right });
        return *this;
    }

    BandBuilder& rule(double middle, int penWidth)
    {
        band_.rules.push_back(
            { kReportMargin + kRuleLeft, kReportMargin + kRuleRight, band_.top + middle, penWidth });
        return *this;
    }

    ReportBand take() { return std::move(band_); }

private:
    ReportBand band_;
};

ReportBand titleBand(const ReportSettings& settings, int top)
{
    return BandBuilder(ReportBandKind::Title, top, kTitleHeight)
        .text(2.1, 2.1, QString::fromLatin1(kHeading), ReportFont::Title)
        .rightAligned(183.1, 3.2, reportPrintedAtText(settings.printedAt, settings.locale))
        .rule(8.6, kThickPen)
        .take();
}

ReportBand headerBand(int top)
{
    BandBuilder band(ReportBandKind::ColumnHeader, top, kHeaderHeight);
    for (const Column& column : kColumns)
        band.text(column.left, 4.2, QString::fromLatin1(column.caption));
    return band.rule(9.9, kThinPen).take();
}

ReportBand detailBand(const ReportFlight& flight, const ReportSettings& settings, int top)
{
    return BandBuilder(ReportBandKind::Detail, top, kDetailHeight)
        .text(kDateColumn.left, 0.0, shortDate(flight.takeoffDate, settings.locale))
        .text(kTimeColumn.left, 0.0, flight.takeoffTime)
        .text(kFlightColumn.left, 0.0, reportTimeText(flight.flightTime.value_or(0), settings.fraction))
        .text(kAltitudeColumn.left, 0.0, numberText(flight.altitude))
        .text(kSpeedColumn.left, 0.0, numberText(flight.speed))
        .text(kHobbsColumn.left, 0.0, reportTimeText(flight.hobbs.value_or(0), settings.fraction))
        .text(kStudentColumn.left, 0.0, studentText(flight.student))
        .text(kInstrumentColumn.left, 0.0, flight.instrument)
        .text(kFlightColumn.left, 4.2, flight.comment)
        .rule(9.9, kThinPen)
        .take();
}

ReportBand summaryBand(const ReportLayout& layout, int top)
{
    return BandBuilder(ReportBandKind::Summary, top, kSummaryHeight)
        .text(14.8, 0.3, QString::fromLatin1(kTotalLabel))
        .text(kFlightColumn.left, 0.3, reportTimeText(layout.totalMinutes, layout.settings.fraction))
        .take();
}

QString flightCountText(std::int64_t flights)
{
    return flights == 1 ? QStringLiteral("1 flight") : QStringLiteral("%1 flights").arg(flights);
}

// The footer's totals lines stand between its rule and the period line,
// which moves down under them.
ReportBand footerBand(const ReportSettings& settings, const ReportPagePlan& plan, int pageNumber)
{
    BandBuilder band(ReportBandKind::PageFooter, footerTop(settings), footerHeight(settings));
    band.rule(2.25, kThickPen);
    double shift = 0;
    if (settings.pageTotals) {
        ReportTotals toDate = plan.broughtForward;
        toDate += plan.pageTotals;
        const std::pair<const char*, const ReportTotals*> lines[] = { { "Page total", &plan.pageTotals },
            { "Brought forward", &plan.broughtForward }, { "Total to date", &toDate } };
        for (const auto& [label, totals] : lines) {
            const double top = 4.2 + shift;
            band.text(4.2, top, QString::fromLatin1(label))
                .text(kFlightColumn.left, top, formatHoursMinutes(totals->minutes))
                .text(kAltitudeColumn.left, top, flightCountText(totals->flights))
                .text(kHobbsColumn.left, top,
                    QStringLiteral("Hobbs ") + hobbsText(totals->hobbsMinutes, settings.fraction));
            shift += mm(kTotalsLineHeight);
        }
    }
    return band
        .text(4.2, 4.5 + shift,
            QString::fromLatin1(kPeriodText) + shortDate(settings.from, settings.locale)
                + QStringLiteral(" to ") + shortDate(settings.to, settings.locale))
        .text(160.9, 4.2 + shift, QStringLiteral("Page"))
        .text(169.3, 4.2 + shift, QString::number(pageNumber))
        .take();
}

int firstDetailTop(int pageIndex)
{
    return (pageIndex == 0 ? kTitleHeight : 0) + kHeaderHeight;
}

} // namespace

ReportFlight readReportFlight(const LoggedFlight& row)
{
    auto number = [&](LogField field) -> std::optional<std::int32_t> {
        if (row.isNull(field))
            return std::nullopt;
        return row.integer(field);
    };
    ReportFlight flight;
    flight.takeoffDate = row.date(kTakeoffDate);
    flight.takeoffTime = row.text(kTakeoffTime);
    flight.flightTime = number(kFlightTime);
    flight.altitude = number(kMaxAltitude);
    flight.speed = number(kMaxSpeed);
    flight.student = number(kStudent);
    flight.hobbs = number(kHobbs);
    flight.instrument = row.text(kInstrument);
    flight.comment = row.text(kComment);
    return flight;
}

TableReportRows::TableReportRows(const FlightLog& view)
    : view_(view)
{
}

std::uint32_t TableReportRows::next(std::uint32_t after)
{
    return view_.nextVisible(after);
}

std::int32_t TableReportRows::flightMinutes(std::uint32_t key)
{
    const DbfRecord row = view_.peek(key);
    return view_.flight(row).integer(kFlightTime);
}

ReportFlight TableReportRows::flight(std::uint32_t key)
{
    const DbfRecord row = view_.peek(key);
    return readReportFlight(view_.flight(row));
}

std::int32_t TableReportRows::hobbsMinutes(std::uint32_t key)
{
    const DbfRecord row = view_.peek(key);
    return view_.flight(row).integer(kHobbs);
}

std::int32_t ReportRows::hobbsMinutes(std::uint32_t key)
{
    return flight(key).hobbs.value_or(0);
}

ReportTotals reportBroughtForward(const FlightLog& log, const std::optional<OpeningTotals>& opening,
    const std::optional<DatePeriod>& period)
{
    ReportTotals totals;
    if (opening)
        totals = { opening->flights, opening->minutes, opening->hobbsMinutes };
    if (!period)
        return totals;
    const std::int32_t firstDay = dayNumberOf(period->from());
    log.findLive([&](const DbfRecord& row) {
        const LoggedFlight flight = log.flight(row);
        if (flight.dayNumber(kTakeoffDate) < firstDay) {
            ++totals.flights;
            totals.minutes += flight.integer(kFlightTime);
            totals.hobbsMinutes += flight.integer(kHobbs);
        }
        return false;
    });
    return totals;
}

QString reportTimeText(std::int64_t minutes, FractionMode mode)
{
    return flightTimeText(minutes, mode);
}

QString reportPrintedAtText(const QDateTime& at, const QLocale& locale)
{
    const QString date = locale.toString(at.date(), QLocale::ShortFormat);
    if (at.time() == QTime(0, 0))
        return date;
    return date + u' ' + locale.toString(at.time(), QLocale::LongFormat);
}

ReportLayout layOutReport(ReportRows& rows, const ReportSettings& settings)
{
    ReportLayout layout;
    layout.settings = settings;
    const int detailsEnd = footerTop(settings);
    ReportPagePlan page;
    page.broughtForward = settings.broughtForward;
    // The page is done: the next one brings forward everything up to it.
    auto startPage = [&] {
        layout.pages.push_back(page);
        ReportTotals forward = page.broughtForward;
        forward += page.pageTotals;
        page = ReportPagePlan {};
        page.broughtForward = forward;
    };
    int y = firstDetailTop(0);
    for (std::uint32_t key = rows.next(0); key != 0; key = rows.next(key)) {
        if (y + kDetailHeight > detailsEnd) {
            startPage();
            y = firstDetailTop(static_cast<int>(layout.pages.size()));
        }
        if (page.details == 0)
            page.firstKey = key;
        ++page.details;
        y += kDetailHeight;
        const std::int32_t minutes = rows.flightMinutes(key);
        layout.totalMinutes += minutes;
        ++layout.flights;
        if (settings.pageTotals)
            page.pageTotals += { 1, minutes, rows.hobbsMinutes(key) };
    }
    // Without flights there is neither a detail nor a summary: one page
    // with the title, the column header and the footer.
    if (layout.flights > 0) {
        if (y + kSummaryHeight > detailsEnd)
            startPage();
        page.summary = true;
    }
    layout.pages.push_back(page);
    return layout;
}

ReportPage placeReportPage(const ReportLayout& layout, int pageIndex, ReportRows& rows)
{
    const ReportPagePlan& plan = layout.pages.at(static_cast<std::size_t>(pageIndex));
    ReportPage page;
    page.number = pageIndex + 1;
    int y = 0;
    if (pageIndex == 0) {
        page.bands.push_back(titleBand(layout.settings, y));
        y += kTitleHeight;
    }
    page.bands.push_back(headerBand(y));
    y += kHeaderHeight;
    std::uint32_t key = plan.firstKey;
    for (int i = 0; i < plan.details && key != 0; ++i, key = rows.next(key)) {
        page.bands.push_back(detailBand(rows.flight(key), layout.settings, y));
        y += kDetailHeight;
    }
    if (plan.summary)
        page.bands.push_back(summaryBand(layout, y));
    page.bands.push_back(footerBand(layout.settings, plan, page.number));
    return page;
}

} // namespace cvlog
