#pragma once
// The printed log report, laid out before anything is painted.
//
// An A4 portrait page with 12.7 mm margins carries five kinds of band: the
// title (first page only), the column header (every page), one detail band
// per flight, the summary with the total (once, after the last flight) and
// the page footer (every page). Laying out walks the flights once to break
// them into pages and sum their flight times; a page remembers only where
// its flights begin, so the layout of a long log stays small, and its bands
// are placed, with every text and rule in millimetres from the paper's top
// left corner, when that page is drawn.
//
// With page totals on, the footer grows by three lines: the page's own
// flights, what was brought forward to it and the total to date.

#include "logstore/date_period.h"
#include "logstore/flight_log.h"
#include "logstore/flight_statistics.h"
#include "presentation/display_units.h"

#include <QDate>
#include <QDateTime>
#include <QLocale>
#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

namespace cvlog
{

inline constexpr double kReportPaperWidth = 210.0;
inline constexpr double kReportPaperHeight = 297.0;
inline constexpr double kReportMargin = 12.7;
inline constexpr const char* kReportTitle = "Corvane Log";

// One flight as the report prints it: stored units, null numbers kept apart.
struct ReportFlight {
    QDate takeoffDate; // invalid when there is none
    QString takeoffTime;
    std::optional<std::int32_t> flightTime;
    std::optional<std::int32_t> altitude;
    std::optional<std::int32_t> speed;
    std::optional<std::int32_t> student;
    std::optional<std::int32_t> hobbs;
    QString instrument;
    QString comment;
};

ReportFlight readReportFlight(const LoggedFlight& row);

// The flights to print, in order. A key names one flight (a record number
// for a table); 0 is none.
class ReportRows
{
public:
    virtual ~ReportRows() = default;
    // The flight after the given one; after 0, the first. 0 after the last.
    virtual std::uint32_t next(std::uint32_t after) = 0;
    virtual std::int32_t flightMinutes(std::uint32_t key) = 0; // a missing value counts as 0
    virtual ReportFlight flight(std::uint32_t key) = 0;
    // Read only for page totals; a missing value counts as 0.
    virtual std::int32_t hobbsMinutes(std::uint32_t key);
};

// The visible rows of the open log.
class TableReportRows : public ReportRows
{
public:
    explicit TableReportRows(const FlightLog& view);
    std::uint32_t next(std::uint32_t after) override;
    std::int32_t flightMinutes(std::uint32_t key) override;
    ReportFlight flight(std::uint32_t key) override;
    std::int32_t hobbsMinutes(std::uint32_t key) override;

private:
    const FlightLog& view_;
};

// A count of flights with their flight and Hobbs times, in minutes.
struct ReportTotals {
    std::int64_t flights = 0;
    std::int64_t minutes = 0;
    std::int64_t hobbsMinutes = 0;

    ReportTotals& operator+=(const ReportTotals& other)
    {
        flights += other.flights;
        minutes += other.minutes;
        hobbsMinutes += other.hobbsMinutes;
        return *this;
    }
    bool operator==(const ReportTotals&) const = default;
};

// What a generation of the report reads from the window at its moment.
struct ReportSettings {
    QDate from; // the pickers' period, named in every page footer
    QDate to;
    FractionMode fraction = FractionMode::Minutes;
    QDateTime printedAt;
    QLocale locale = QLocale::system();
    // Each page's footer carries its totals, brought forward and to date.
    bool pageTotals = false;
    // What the first page brings forward: the totals flown before the log
    // and, while the date filter applies, the flights before the period.
    ReportTotals broughtForward = {};
};

// What the first page brings forward: the opening totals, and with a period
// (the date filter on) the live flights before its first day, those without
// a date among them (they read as the earliest day). The view's filter
// switch plays no part.
ReportTotals reportBroughtForward(const FlightLog& log, const std::optional<OpeningTotals>& opening,
    const std::optional<DatePeriod>& period);

// Hours and the minutes (1:30) or the hundredths of an hour (1.50); the same
// text as the grid's flight time.
QString reportTimeText(std::int64_t minutes, FractionMode mode);

// The printing time: short date, a space and the long time, the time left
// out at exactly midnight.
QString reportPrintedAtText(const QDateTime& at, const QLocale& locale);

struct ReportPagePlan {
    std::uint32_t firstKey = 0; // of its first flight; 0 when it has none
    int details = 0;
    bool summary = false;
    // Gathered only with page totals on.
    ReportTotals broughtForward = {};
    ReportTotals pageTotals = {};
};

struct ReportLayout {
    ReportSettings settings;
    std::vector<ReportPagePlan> pages; // at least one
    std::uint32_t flights = 0;
    std::int64_t totalMinutes = 0; // reportTotal: the flight times printed
};

// Walks the flights once: page breaks and the total.
ReportLayout layOutReport(ReportRows& rows, const ReportSettings& settings);

enum class ReportBandKind { Title, ColumnHeader, Detail, Summary, PageFooter };
enum class ReportFont { Normal, Title }; // Arial 10 pt; Arial 12 pt bold

struct ReportText {
    QString text;
    double left = 0; // mm from the paper's left edge
    double top = 0; // mm from the paper's top edge, the top of the text
    ReportFont font = ReportFont::Normal;
    double alignRight = 0; // when not 0: right-aligned against this edge, left ignored
};

// A horizontal rule along the middle of a 2.4 mm strip.
struct ReportRule {
    double left = 0;
    double right = 0;
    double middle = 0;
    int penWidth = 1; // in 1/96 inch
};

struct ReportBand {
    ReportBandKind kind = ReportBandKind::Detail;
    double top = 0; // mm from the paper's top edge
    double height = 0;
    std::vector<ReportText> texts;
    std::vector<ReportRule> rules;
};

struct ReportPage {
    int number = 0; // from 1
    std::vector<ReportBand> bands; // top to bottom
};

// Places the bands of one page, reading that page's flights.
ReportPage placeReportPage(const ReportLayout& layout, int pageIndex, ReportRows& rows);

} // namespace cvlog
