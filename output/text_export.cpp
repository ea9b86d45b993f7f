#include "output/text_export.h"

#include "logstore/atomic_file.h"
#include "logstore/cp850.h"
#include "logstore/stored_values.h"
#include "presentation/display_units.h"
#include "presentation/short_date.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstring>
#include <fcntl.h>

namespace cvlog
{

namespace
{

// Lines are gathered and written in blocks this large.
constexpr std::size_t kWriteBlock = 1 << 20;
constexpr std::int32_t kMinutesPerHour = 60;
// The longest decimal number written: 64 bits with a sign.
constexpr std::size_t kNumberRoom = 20;
constexpr std::size_t kHoursMinutesRoom = 2 * kNumberRoom + 1;
// A code-page character becomes at most three bytes of UTF-8.
constexpr std::size_t kUtf8PerByte = 3;
constexpr std::string_view kLineEnd = "\r\n";
constexpr std::size_t kStoredDateWidth = 8; // "yyyymmdd"

// One code-page byte in UTF-8: one to three bytes.
struct Utf8Char {
    char bytes[kUtf8PerByte];
    unsigned char size;
};
using Utf8Table = std::array<Utf8Char, 256>;

const Utf8Table& utf8OfCodePage()
{
    static const Utf8Table table = [] {
        Utf8Table t {};
        for (std::size_t b = 0; b < t.size(); ++b) {
            const char c = static_cast<char>(b);
            const QByteArray utf8 = cp850ToString(std::string_view(&c, 1)).toUtf8();
            std::memcpy(t[b].bytes, utf8.constData(), static_cast<std::size_t>(utf8.size()));
            t[b].size = static_cast<unsigned char>(utf8.size());
        }
        return t;
    }();
    return table;
}

constexpr auto kTwoDigits = [] {
    std::array<char, 200> digits {};
    for (std::size_t i = 0; i < 100; ++i) {
        digits[2 * i] = static_cast<char>('0' + i / 10);
        digits[2 * i + 1] = static_cast<char>('0' + i % 10);
    }
    return digits;
}();

// The steps that write a line. Each writes at `at`, in a buffer with room
// enough, and returns where the next step writes: a pointer kept in a
// register, where a cursor object would be read again after every byte
// stored (a store through char may change any object).

// Copies a value of a line as a few overlapping words: the values are too
// short for a call to memcpy to pay. Returns the words ORed together, whose
// high bits tell whether any byte is beyond ASCII.
std::uint64_t copyValue(char* at, std::string_view s)
{
    const char* from = s.data();
    const std::size_t n = s.size();
    std::uint64_t seen = 0;
    auto move = [&](std::size_t offset, auto word) {
        std::memcpy(&word, from + offset, sizeof word);
        std::memcpy(at + offset, &word, sizeof word);
        seen |= word;
    };
    if (n >= kWordBytes) {
        for (std::size_t i = 0; i + kWordBytes <= n; i += kWordBytes)
            move(i, std::uint64_t {});
        move(n - kWordBytes, std::uint64_t {});
    } else if (n >= 4) {
        move(0, std::uint32_t {});
        move(n - 4, std::uint32_t {});
    } else if (n >= 2) {
        move(0, std::uint16_t {});
        move(n - 2, std::uint16_t {});
    } else if (n == 1) {
        move(0, std::uint8_t {});
    }
    return seen;
}

char* putBytes(char* at, std::string_view s)
{
    copyValue(at, s);
    return at + s.size();
}

// Three bytes of each character are copied and the pointer moves on by the
// character's size, so a text never takes more than three bytes a character.
[[gnu::noinline]] char* putCodePageText(char* at, std::string_view s)
{
    const Utf8Table& utf8 = utf8OfCodePage();
    for (const unsigned char c : s) {
        std::memcpy(at, utf8[c].bytes, kUtf8PerByte);
        at += utf8[c].size;
    }
    return at;
}

// A text field in UTF-8: as it stands when it is plain ASCII, as most are.
char* putText(char* at, std::string_view stored)
{
    const std::string_view s = trimStored(stored);
    if ((copyValue(at, s) & everyByte(0x80)) == 0)
        return at + s.size();
    return putCodePageText(at, s);
}

char* putTwoDigits(char* at, std::int32_t value)
{
    std::memcpy(at, kTwoDigits.data() + 2 * value, 2);
    return at + 2;
}

char* putUpTo99(char* at, std::int32_t value)
{
    if (value >= 10)
        return putTwoDigits(at, value);
    *at = static_cast<char>('0' + value);
    return at + 1;
}

char* putNumber(char* at, std::int64_t value)
{
    // The numbers of a log are mostly small: two digits at a time.
    if (value >= 0 && value < 100)
        return putUpTo99(at, static_cast<std::int32_t>(value));
    if (value >= 100 && value < 10000)
        return putTwoDigits(
            putUpTo99(at, static_cast<std::int32_t>(value / 100)), static_cast<std::int32_t>(value % 100));
    return std::to_chars(at, at + kNumberRoom, value).ptr;
}

// formatHoursMinutes, without building a QString for every row.
char* putHoursMinutes(char* at, std::int32_t minutes)
{
    at = putNumber(at, minutes / kMinutesPerHour);
    *at++ = ':';
    const std::int32_t rest = minutes % kMinutesPerHour;
    return rest >= 0 ? putTwoDigits(at, rest) : putNumber(at, rest);
}

// An integer field's value, 0 when null: what the row reads, the usual
// right-aligned digits read here at once. The slow readings take a copy of
// the row's look, so that the line's own stays where no store can reach it.
[[gnu::noinline]] std::int32_t otherIntegerValue(LoggedFlight row, LogField field)
{
    if (const auto plain = plainStoredInteger(trimStored(row.raw(field))))
        return *plain;
    return row.integer(field);
}

std::int32_t integerValue(const LoggedFlight& row, LogField field)
{
    if (const auto number = plainStoredNumber(row.raw(field)))
        return number->value;
    return otherIntegerValue(row, field);
}

// An integer field as its decimal number, nothing when null. A field that
// holds the number as its plain digits is copied as it stands.
[[gnu::noinline]] char* putOtherInteger(char* at, LoggedFlight row, LogField field)
{
    const std::string_view s = trimStored(row.raw(field));
    if (s.empty())
        return at;
    const std::size_t digitsFrom = s.front() == '-' ? 1 : 0;
    const std::size_t digits = s.size() - digitsFrom;
    bool plain = digits > 0 && digits <= 9 && (s[digitsFrom] != '0' || digits == 1) && s != "-0";
    for (std::size_t i = digitsFrom; plain && i < s.size(); ++i)
        plain = s[i] >= '0' && s[i] <= '9';
    if (plain)
        return putBytes(at, s);
    if (!row.isNull(field))
        return putNumber(at, row.integer(field));
    return at;
}

char* putInteger(char* at, const LoggedFlight& row, LogField field)
{
    if (const auto number = plainStoredNumber(row.raw(field)))
        return putBytes(at, number->digits);
    return putOtherInteger(at, row, field);
}

// The most a field's text can take in a line.
std::size_t textRoom(const FlightLog& log, LogField field)
{
    return kUtf8PerByte * static_cast<std::size_t>(log.field(field).width);
}

} // namespace

ShortDateTexts::ShortDateTexts(const QLocale& locale)
    : locale_(locale)
{
}

std::string_view ShortDateTexts::learn(std::string_view stored)
{
    // The program's own date field is read as it stands; a foreign one of
    // another width trimmed first.
    const std::string_view s = stored.size() == kStoredDateWidth ? stored : trimStored(stored);
    const auto digits = storedDateDigits(s);
    if (!digits || digits->month < 1 || digits->month > 12 || digits->day < 1 || digits->day > 31)
        return {};
    if ((digits->year < firstYear_ || digits->year >= endYear_) && !widen(digits->year))
        return textOf(s);
    Day& day = calendar_[static_cast<std::size_t>(
        (digits->year - firstYear_) * kDaysPerYear + (digits->month - 1) * 31 + digits->day - 1)];
    if (day.size == kUnknown) {
        const std::string_view text = textOf(s);
        day = { static_cast<std::uint32_t>(texts_.size()), static_cast<std::uint32_t>(text.size()) };
        texts_ += text;
    }
    return { texts_.data() + day.at, day.size };
}

bool ShortDateTexts::widen(int year)
{
    const bool empty = calendar_.empty();
    const int first = empty ? year : std::min(year, firstYear_);
    const int end = empty ? year + 1 : std::max(year + 1, endYear_);
    if (end - first > kMostYears)
        return false;
    std::vector<Day> wider(static_cast<std::size_t>((end - first) * kDaysPerYear));
    if (!empty) {
        std::copy(calendar_.begin(), calendar_.end(),
            wider.begin() + static_cast<std::ptrdiff_t>((firstYear_ - first) * kDaysPerYear));
    }
    calendar_.swap(wider);
    firstYear_ = first;
    endYear_ = end;
    return true;
}

std::string_view ShortDateTexts::textOf(std::string_view stored)
{
    const auto date = parseStoredDate(stored);
    unremembered_ = date ? shortDateText(QDate(date->year, date->month, date->day), locale_).toStdString()
                         : std::string();
    return unremembered_;
}

ExportLineWriter::ExportLineWriter(const FlightLog& log, char separator, const QLocale& locale)
    : log_(log)
    , separator_(separator)
    , dates_(locale)
{
    // Every value at its longest, the date aside: that is known once the
    // row is read. Integers read as 32 bits; their texts get the room of any
    // number.
    lineRoom_ = textRoom(log, kTakeoffTime) + 2 * kHoursMinutesRoom + 3 * kNumberRoom
        + textRoom(log, kInstrument) + textRoom(log, kComment) + kLogFieldCount - 1 + kLineEnd.size();
}

// Everything called here is inlined: a line is a few dozen small steps,
// each cheaper than a call. The slow readings of unusual values are kept
// out of line.
[[gnu::flatten]] void ExportLineWriter::append(const DbfRecord& row)
{
    const std::string_view date = dates_.text(log_.flight(row).raw(kTakeoffDate));
    const std::size_t room = lineRoom_ + date.size();
    if (buffer_.size() - used_ < room)
        buffer_.resize(std::max(used_ + room, buffer_.size() * 2));
    // The row copied into a local, which no store through char can change.
    const DbfRecord copy = row;
    const LoggedFlight r = log_.flight(copy);
    const char separator = separator_;
    char* at = putBytes(buffer_.data() + used_, date);
    *at++ = separator;
    at = putText(at, r.raw(kTakeoffTime));
    *at++ = separator;
    at = putHoursMinutes(at, integerValue(r, kFlightTime));
    for (LogField field : { kMaxAltitude, kMaxSpeed, kStudent }) {
        *at++ = separator;
        at = putInteger(at, r, field);
    }
    *at++ = separator;
    at = putHoursMinutes(at, integerValue(r, kHobbs));
    *at++ = separator;
    at = putText(at, r.raw(kInstrument));
    *at++ = separator;
    at = putText(at, r.raw(kComment));
    at = putBytes(at, kLineEnd);
    used_ = static_cast<std::size_t>(at - buffer_.data());
}

std::uint32_t exportVisibleRows(
    FlightLog& view, const std::filesystem::path& target, char separator, const QLocale& locale)
{
    ExportLineWriter lines(view, separator, locale);
    const auto suspended = displaySuspended(view);
    view.first();
    AtomicFile file(target);
    std::uint32_t count = 0;
    for (; !view.eof(); view.next()) {
        lines.append(view.current());
        ++count;
        if (lines.text().size() >= kWriteBlock) {
            file.write(lines.text());
            lines.clear();
        }
    }
    file.write(lines.text());
    file.commit();
    return count;
}

} // namespace cvlog
