// Reading the fields of one row straight from its bytes: the walk over a
// large table reads dates and numbers here, so nothing on this path builds
// a QString unless text is asked for.
#include "logstore/conversions.h"
#include "logstore/cp850.h"
#include "logstore/dbf_layout.h"
#include "logstore/dbf_table.h"
#include "logstore/stored_values.h"

#include <limits>

namespace cvlog
{

namespace
{

bool allStars(std::string_view s)
{
    return !s.empty() && s.find_first_not_of('*') == std::string_view::npos;
}

// Days since 1 March of year 0 shifted to the civil calendar (proleptic Gregorian).
std::int64_t daysFromCivil(int y, int m, int d)
{
    y -= m <= 2;
    const int era = (y >= 0 ? y : y - 399) / 400;
    const int yoe = y - era * 400;
    const int doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return std::int64_t { era } * 146097 + doe - 719468; // days since 1970-01-01
}

constexpr std::int64_t kDayZeroFromEpoch = -25569; // 30 December 1899

} // namespace

DbfRecord::DbfRecord(const std::vector<FieldDef>* fields, const std::vector<int>* offsets, const char* bytes,
    std::uint32_t recordNumber)
    : fields_(fields)
    , offsets_(offsets)
    , bytes_(bytes)
    , recordNumber_(recordNumber)
{
}

bool DbfRecord::isDeleted() const
{
    return bytes_ != nullptr && bytes_[0] != kDbfLiveFlag;
}

bool DbfRecord::isNull(int field) const
{
    const std::string_view s = trimStored(raw(field));
    // Some writers mark a missing number with stars.
    return s.empty() || ((*fields_)[field].type == FieldType::Integer && allStars(s));
}

QDate DbfRecord::date(int field) const
{
    const auto ymd = parseStoredDate(trimStored(raw(field)));
    return ymd ? QDate(ymd->year, ymd->month, ymd->day) : QDate();
}

std::int32_t DbfRecord::dayNumber(int field) const
{
    const auto ymd = parseStoredDate(trimStored(raw(field)));
    if (!ymd)
        return 0;
    return static_cast<std::int32_t>(daysFromCivil(ymd->year, ymd->month, ymd->day) - kDayZeroFromEpoch);
}

QString DbfRecord::text(int field) const
{
    return cp850ToString(trimStored(raw(field)));
}

std::int32_t DbfRecord::integer(int field) const
{
    std::string_view s = trimStored(raw(field));
    bool negative = false;
    if (!s.empty() && (s.front() == '-' || s.front() == '+')) {
        negative = s.front() == '-';
        s.remove_prefix(1);
    }
    if (s.empty())
        return 0;
    const std::int64_t limit = std::int64_t { std::numeric_limits<std::int32_t>::max() } + negative;
    std::int64_t value = 0;
    for (char c : s) {
        if (c < '0' || c > '9')
            return 0;
        value = value * 10 + (c - '0');
        if (value > limit)
            return 0;
    }
    return static_cast<std::int32_t>(negative ? -value : value);
}

} // namespace cvlog
