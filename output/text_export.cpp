#include "output/text_export.h"

#include "logstore/atomic_file.h"
#include "logstore/cp850.h"
#include "logstore/stored_values.h"

#include <charconv>
#include <cstring>

namespace cvlog
{

namespace
{

// Lines are gathered and written in blocks this large.
constexpr std::size_t kWriteBlock = 1 << 20;
constexpr std::int64_t kMinutesPerHour = 60;

// FormatHoursMinutes, without building a QString for every row.
void writeHoursMinutes(LineCursor& out, std::int64_t minutes)
{
    out.putNumber(minutes / kMinutesPerHour);
    out.put(':');
    const std::int64_t rest = minutes % kMinutesPerHour;
    if (rest >= 0 && rest < 10)
        out.put('0');
    out.putNumber(rest);
}

// An integer field's value, 0 when null.
std::int64_t integerValue(const DbfRecord& row, int field)
{
    if (const auto plain = PlainStoredInteger(TrimStored(row.raw(field))))
        return *plain;
    return row.integer(field);
}

// An integer field as its decimal number, nothing when null. A field that
// holds the number as its plain digits is copied as it stands.
void writeInteger(LineCursor& out, const DbfRecord& row, int field)
{
    const std::string_view s = TrimStored(row.raw(field));
    if (s.empty())
        return;
    const std::size_t digitsFrom = s.front() == '-' ? 1 : 0;
    const std::size_t digits = s.size() - digitsFrom;
    bool plain = digits > 0 && digits <= 9 && (s[digitsFrom] != '0' || digits == 1) && s != "-0";
    for (std::size_t i = digitsFrom; plain && i < s.size(); ++i)
        plain = s[i] >= '0' && s[i] <= '9';
    if (plain)
        out.put(s);
    else if (!row.isNull(field))
        out.putNumber(row.integer(field));
}

bool isAscii(std::string_view s)
{
    constexpr std::uint64_t kHighBits = 0x8080808080808080ULL;
    while (s.size() >= 8) {
        std::uint64_t word = 0;
        std::memcpy(&word, s.data(), 8);
        if (word & kHighBits)
            return false;
        s.remove_prefix(8);
    }
    for (char c : s) {
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    }
    return true;
}

void writeText(LineCursor& out, const DbfRecord& row, int field)
{
    const std::string_view s = TrimStored(row.raw(field));
    if (isAscii(s))
        out.put(s);
    else
        out.put(Cp850ToString(s).toStdString());
}

// A line's room besides its date: every other value at its longest (a
// CP850 character is at most three bytes of UTF-8).
constexpr std::size_t kLineRoom = 1024;

} // namespace

ShortDateWriter::ShortDateWriter(const QLocale& locale)
    : locale_(locale)
{
}

void ShortDateWriter::write(LineCursor& out, const DbfRecord& row, int field)
{
    const std::string_view raw = row.raw(field);
    auto textOf = [&] {
        const QDate date = row.date(field);
        return date.isValid() ? locale_.toString(date, QLocale::ShortFormat).toStdString() : std::string();
    };
    // A foreign date field of another width is not worth remembering.
    if (raw.size() != sizeof(std::uint64_t)) {
        const std::string text = textOf();
        longest_ = std::max(longest_, text.size());
        out.put(text);
        return;
    }
    std::uint64_t key = 0;
    std::memcpy(&key, raw.data(), sizeof key);
    auto it = texts_.find(key);
    if (it == texts_.end()) {
        it = texts_.emplace(key, textOf()).first;
        longest_ = std::max(longest_, it->second.size());
    }
    out.put(it->second);
}

void LineCursor::putNumber(std::int64_t value)
{
    at_ = std::to_chars(at_, at_ + 24, value).ptr;
}

ExportLineWriter::ExportLineWriter(const LogFieldMap& fields, char separator, const QLocale& locale)
    : fields_(fields)
    , separator_(separator)
    , dates_(locale)
{
}

void ExportLineWriter::append(const DbfRecord& row)
{
    // A date the locale writes longer than any before must fit too, so the
    // room is made before it is known: the longest date so far, or a new
    // one of any length, which is then written into a block of its own.
    const std::size_t room = kLineRoom + std::max<std::size_t>(dates_.longest(), 256);
    if (buffer_.size() < used_ + room)
        buffer_.resize(std::max(used_ + room, buffer_.size() * 2));
    LineCursor out(buffer_.data() + used_);
    dates_.write(out, row, fields_[kTakeoffDate]);
    out.put(separator_);
    writeText(out, row, fields_[kTakeoffTime]);
    out.put(separator_);
    writeHoursMinutes(out, integerValue(row, fields_[kFlightTime]));
    for (LogField field : { kMaxAltitude, kMaxSpeed, kStudent }) {
        out.put(separator_);
        writeInteger(out, row, fields_[field]);
    }
    out.put(separator_);
    writeHoursMinutes(out, integerValue(row, fields_[kHobbs]));
    out.put(separator_);
    writeText(out, row, fields_[kInstrument]);
    out.put(separator_);
    writeText(out, row, fields_[kComment]);
    out.put("\r\n");
    used_ = static_cast<std::size_t>(out.at() - buffer_.data());
}

std::uint32_t ExportVisibleRows(
    DbfTable& view, const std::filesystem::path& target, char separator, const QLocale& locale)
{
    ExportLineWriter lines(LogFieldMap::resolve(view), separator, locale);
    const auto suspended = SuspendDisplay(view);
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
