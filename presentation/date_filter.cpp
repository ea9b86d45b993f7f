#include "presentation/date_filter.h"

#include "presentation/display_units.h"

namespace cvlog
{

bool DateFilter::accepts(const LoggedFlight& row) const
{
    if (!on_) {
        emptyTotal();
        return true;
    }
    return period_.contains(row.dayNumber(kTakeoffDate));
}

DbfTable::Predicate DateFilter::predicate(const FlightLog& log) const
{
    return [this, &log](const DbfRecord& row) { return accepts(log.flight(row)); };
}

DateFilterView DateFilter::periodChanged(FlightLog& log, bool on, const QDate& from, const QDate& to)
{
    // The predicate reads the pickers as they stand, whether or not this
    // recomputation goes through.
    on_ = on;
    period_ = DatePeriod(from, to);
    if (!on_) {
        totalText_.clear();
        return { true, to, totalText_ };
    }
    if (!log.isOpen())
        return { false, to, totalText_ };

    // Switching the filter on already ends an edit and re-reads the view;
    // a second reading would only cost another pass over the file.
    if (log.isFiltered())
        log.refresh();
    else
        log.setFiltered(true);

    std::int64_t total = 0;
    {
        const auto suspended = displaySuspended(log);
        for (log.first(); !log.eof(); log.next())
            total += log.integer(kFlightTime);
    }
    totalMinutes_ = total;
    totalText_ = formatHoursMinutes(total);
    return { true, period_.to(), totalText_ };
}

DateFilterView DateFilter::setOn(FlightLog& log, bool on, const QDate& from, const QDate& to)
{
    if (on)
        return periodChanged(log, on, from, to);

    on_ = false;
    // The switch can only change on an open table; a closed one keeps it on,
    // and with the filter off every row passes once it is reopened.
    if (log.isOpen())
        log.setFiltered(false);
    log.refresh();
    totalText_.clear();
    return { true, to, totalText_ };
}

void DateFilter::emptyTotal() const
{
    if (totalText_.isEmpty())
        return;
    totalText_.clear();
    if (totalEmptied_)
        totalEmptied_();
}

} // namespace cvlog
