#pragma once
// The take-off date filter of the main view and the total flight time of the
// rows it lets through.
//
// The window keeps the widgets (the "Filter dates" box, the two pickers and
// the total box); this keeps what the table's predicate needs to see while
// the view is read, and the total of the last recomputation.

#include "logstore/date_period.h"
#include "logstore/flight_log.h"

#include <QDate>
#include <QString>

#include <cstdint>
#include <functional>

namespace cvlog
{

// What the window shows after a filter command. When nothing changed (the
// table is closed) it leaves the pickers and the total box as they are.
struct DateFilterView {
    bool changed = false;
    QDate to; // the period's last day: raised to its first day when it was earlier
    QString totalText; // the total box; an empty text empties it
};

class DateFilter
{
public:
    // With the filter on, the rows whose take-off day falls in the pickers'
    // period. With it off every row passes.
    bool accepts(const LoggedFlight& row) const;
    // The predicate for the log's setFilterPredicate; it refers to this
    // filter and the log, which must stay alive as long as the log may read
    // rows.
    DbfTable::Predicate predicate(const FlightLog& log) const;

    // For a change of either picker, or the filter being switched on:
    // re-reads the view with the filter and sums the flight times of the rows
    // that pass. The last row that passed is current afterwards.
    DateFilterView periodChanged(FlightLog& log, bool on, const QDate& from, const QDate& to);
    // Switching on recomputes; switching off shows every row again and
    // empties the total. Switching off with the table closed throws the
    // table's error and leaves the total as it was.
    DateFilterView setOn(FlightLog& log, bool on, const QDate& from, const QDate& to);

    bool isOn() const { return on_; }
    std::int64_t totalMinutes() const { return totalMinutes_; }
    const QString& totalText() const { return totalText_; }

    // Told when a re-reading of the view, with the filter off but the
    // table's filter switch still on (it could not be switched off while the table
    // was closed), empties the total box.
    void setTotalEmptied(std::function<void()> hook) { totalEmptied_ = std::move(hook); }

private:
    void emptyTotal() const;

    bool on_ = false;
    DatePeriod period_;
    std::int64_t totalMinutes_ = 0;
    // Mutable: the predicate empties the total when it finds the filter off.
    mutable QString totalText_;
    std::function<void()> totalEmptied_;
};

} // namespace cvlog
