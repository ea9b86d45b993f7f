#include "logstore/date_filter.h"

#include "logstore/conversions.h"
#include "logstore/field_presentation.h"

namespace cvlog
{

bool DateFilter::accepts(const DbfRecord& row) const
{
    if (!checked_) {
        emptyTotal();
        return true;
    }
    const std::int32_t day = row.dayNumber(row.boundField(kTakeoffDate));
    return fromDay_ <= day && day <= toDay_;
}

DbfTable::Predicate DateFilter::predicate() const
{
    return [this](const DbfRecord& row) { return accepts(row); };
}

DateFilterView DateFilter::DateFromToChangeFrom(
    DbfTable& table, bool checked, const QDate& from, const QDate& to)
{
    // The predicate reads the pickers as they stand, whether or not this
    // recomputation goes through.
    checked_ = checked;
    fromDay_ = DayNumber(from);
    toDay_ = DayNumber(to);
    if (!checked_) {
        totalText_.clear();
        return { true, to, totalText_ };
    }
    if (!table.isOpen())
        return { false, to, totalText_ };

    // The pickers cannot express an empty range.
    QDate shownTo = to;
    if (toDay_ < fromDay_) {
        shownTo = from;
        toDay_ = fromDay_;
    }

    // Switching the filter on already ends an edit and re-reads the view;
    // a second reading would only cost another pass over the file.
    if (table.isFiltered())
        table.refresh();
    else
        table.setFiltered(true);

    std::int64_t total = 0;
    {
        const auto suspended = SuspendDisplay(table);
        for (table.first(); !table.eof(); table.next())
            total += table.integer(table.boundField(kFlightTime));
    }
    totalMinutes_ = total;
    totalText_ = FormatHoursMinutes(total);
    return { true, shownTo, totalText_ };
}

DateFilterView DateFilter::CheckBox1Click(DbfTable& table, bool checked, const QDate& from, const QDate& to)
{
    if (checked)
        return DateFromToChangeFrom(table, checked, from, to);

    checked_ = false;
    // The switch can only change on an open table; a closed one keeps it on,
    // and the unchecked box then lets every row pass once it is reopened.
    if (table.isOpen())
        table.setFiltered(false);
    table.refresh();
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
