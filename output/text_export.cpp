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

// A number of one or two digits without its leading zero.
void putUnpadded(LineCursor& out, const char* d)
{
    if (d[0] != '0')
        out.put(d[0]);
    out.put(d[1]);
}

} // namespace

ShortDateWriter::ShortDateWriter(const QLocale& locale)
    : locale_(locale)
{
    compiled_ = compile(locale_.dateFormat(QLocale::ShortFormat));
    // The compiled form must say what the locale says; otherwise ask it.
    for (const QDate& probe : { QDate(2026, 3, 5), QDate(1999, 12, 31), QDate(987, 10, 1), QDate(5, 1, 9) }) {
        if (!compiled_)
            break;
        char text[256];
        LineCursor out(text);
        writeCompiled(out, probe.toString(u"yyyyMMdd").toLatin1().constData());
        compiled_ = std::string_view(text, static_cast<std::size_t>(out.at() - text))
            == locale_.toString(probe, QLocale::ShortFormat).toStdString();
    }
}

bool ShortDateWriter::compile(const QString& format)
{
    for (qsizetype i = 0; i < format.size();) {
        const QChar c = format[i];
        qsizetype run = 1;
        while (i + run < format.size() && format[i + run] == c)
            ++run;
        if (c == u'\'') {
            return false; // quoted text: rare enough to leave to the locale
        } else if (c == u'd' && run <= 2) {
            tokens_.push_back({ run == 1 ? Part::Day : Part::Day2, {} });
        } else if (c == u'M' && run <= 2) {
            tokens_.push_back({ run == 1 ? Part::Month : Part::Month2, {} });
        } else if (c == u'y' && (run == 2 || run == 4)) {
            tokens_.push_back({ run == 2 ? Part::Year2 : Part::Year4, {} });
        } else if (c.isLetter()) {
            return false; // names of days or months, eras, ...
        } else {
            tokens_.push_back({ Part::Text, format.mid(i, run).toStdString() });
        }
        i += run;
    }
    for (const Token& token : tokens_)
        longest_ += token.part == Part::Text ? token.text.size() : 4;
    return longest_ < 256;
}

void ShortDateWriter::writeCompiled(LineCursor& out, const char* d) const
{
    for (const Token& token : tokens_) {
        switch (token.part) {
        case Part::Day:
            putUnpadded(out, d + 6);
            break;
        case Part::Day2:
            out.put(std::string_view(d + 6, 2));
            break;
        case Part::Month:
            putUnpadded(out, d + 4);
            break;
        case Part::Month2:
            out.put(std::string_view(d + 4, 2));
            break;
        case Part::Year2:
            out.put(std::string_view(d + 2, 2));
            break;
        case Part::Year4:
            out.put(std::string_view(d, 4));
            break;
        case Part::Text:
            out.put(token.text);
            break;
        }
    }
}

void ShortDateWriter::write(LineCursor& out, const DbfRecord& row, int field)
{
    const std::string_view raw = row.raw(field);
    if (compiled_) {
        const std::string_view s = TrimStored(raw);
        if (ParseStoredDate(s))
            writeCompiled(out, s.data());
        return;
    }
    std::uint64_t key = 0;
    std::memcpy(&key, raw.data(), std::min(raw.size(), sizeof key));
    auto it = texts_.find(key);
    if (it == texts_.end()) {
        const QDate date = row.date(field);
        const QString text = date.isValid() ? locale_.toString(date, QLocale::ShortFormat) : QString();
        it = texts_.emplace(key, text.toStdString()).first;
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
