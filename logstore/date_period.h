#pragma once
// A period of take-off days, as the date filter, the printed report and the
// statistics choose the flights of a period.

#include "logstore/conversions.h"

#include <QDate>

#include <cstdint>

namespace cvlog
{

// From and To, both ends included, compared as calendar days. A To earlier
// than From is raised to it: the pickers cannot express an empty period.
class DatePeriod
{
public:
    DatePeriod() = default;
    DatePeriod(const QDate& from, const QDate& to)
        : from_(from)
        , to_(to)
        , fromDay_(dayNumberOf(from))
        , toDay_(dayNumberOf(to))
    {
        if (toDay_ < fromDay_) {
            to_ = from_;
            toDay_ = fromDay_;
        }
    }

    const QDate& from() const { return from_; }
    const QDate& to() const { return to_; } // as applied: never before From

    // Whether a take-off day (as dayNumberOf counts it) falls in the period. A row
    // without a date reads as day 0, 30 December 1899, and so falls only in
    // a period that reaches back to that day.
    bool contains(std::int32_t day) const { return fromDay_ <= day && day <= toDay_; }

    bool operator==(const DatePeriod& other) const { return from_ == other.from_ && to_ == other.to_; }

private:
    QDate from_;
    QDate to_;
    std::int32_t fromDay_ = 0;
    std::int32_t toDay_ = 0;
};

} // namespace cvlog
