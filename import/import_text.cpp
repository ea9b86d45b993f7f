#include "import/import_text.h"

#include <QByteArray>
#include <QRegularExpression>

#include <array>

namespace cvlog
{

namespace
{

constexpr int kOwnFieldCount = 9;
constexpr char16_t kQuote = u'"';

// Windows-1252 differs from Latin-1 in 0x80..0x9F; the five bytes it
// leaves unassigned are read as the control characters Latin-1 has there.
constexpr std::array<char16_t, 32> kWindows1252High { 0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020,
    0x2021, 0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C,
    0x201D, 0x2022, 0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178 };

// Whether the bytes are UTF-8; a sequence cut short by the end counts
// as valid when `head` says the file goes on.
bool isUtf8(const QByteArray& bytes, bool head)
{
    const auto n = static_cast<std::size_t>(bytes.size());
    const auto* b = reinterpret_cast<const unsigned char*>(bytes.constData());
    for (std::size_t i = 0; i < n;) {
        const unsigned char c = b[i];
        std::size_t more = 0;
        char32_t least = 0;
        if (c < 0x80) {
            ++i;
            continue;
        }
        if (c >= 0xC2 && c <= 0xDF) {
            more = 1;
            least = 0x80;
        } else if (c >= 0xE0 && c <= 0xEF) {
            more = 2;
            least = 0x800;
        } else if (c >= 0xF0 && c <= 0xF4) {
            more = 3;
            least = 0x10000;
        } else {
            return false;
        }
        char32_t value = c & (0x3F >> more);
        for (std::size_t k = 1; k <= more; ++k) {
            if (i + k >= n)
                return head;
            if ((b[i + k] & 0xC0) != 0x80)
                return false;
            value = (value << 6) | (b[i + k] & 0x3F);
        }
        if (value < least || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
            return false;
        i += more + 1;
    }
    return true;
}

QString fromWindows1252(const QByteArray& bytes)
{
    QString text(bytes.size(), Qt::Uninitialized);
    QChar* out = text.data();
    for (const char byte : bytes) {
        const auto c = static_cast<unsigned char>(byte);
        *out++ = c >= 0x80 && c < 0xA0 ? QChar(kWindows1252High[c - 0x80]) : QChar(c);
    }
    return text;
}

// A line of a text: where its line break starts, and where the next line
// starts. Lines end with LF, CRLF or, in files from old Macs, CR alone.
struct LineSpan {
    qsizetype end = 0;
    qsizetype next = 0;
};

LineSpan lineSpan(QStringView text, qsizetype from)
{
    const qsizetype size = text.size();
    for (qsizetype i = from; i < size; ++i) {
        if (text[i] == u'\n')
            return { i, i + 1 };
        if (text[i] == u'\r')
            return { i, i + 1 < size && text[i + 1] == u'\n' ? i + 2 : i + 1 };
    }
    return { size, size };
}

// How many lines a value held in quotes runs over.
int lineBreaksIn(QStringView part)
{
    int breaks = 0;
    for (qsizetype i = 0; i < part.size(); ++i) {
        if (part[i] == u'\n' || (part[i] == u'\r' && (i + 1 == part.size() || part[i + 1] != u'\n')))
            ++breaks;
    }
    return breaks;
}

QStringList ownFields(QStringView line, QChar separator)
{
    QStringList fields;
    qsizetype from = 0;
    while (fields.size() < kOwnFieldCount - 1) {
        const qsizetype at = line.indexOf(separator, from);
        if (at < 0)
            break;
        fields += line.sliced(from, at - from).toString();
        from = at + 1;
    }
    fields += line.sliced(from).toString();
    return fields;
}

// A line of the program's own export: the durations as H:MM and the
// numbers between them whole or empty.
bool isOwnExportLine(QStringView line, QChar separator)
{
    static const QRegularExpression duration(QStringLiteral("^-?\\d+:-?\\d\\d$"));
    static const QRegularExpression number(QStringLiteral("^(-?\\d+)?$"));
    const QStringList fields = ownFields(line, separator);
    if (fields.size() < kOwnFieldCount)
        return false;
    if (!duration.match(fields[2]).hasMatch() || !duration.match(fields[6]).hasMatch())
        return false;
    for (int i = 3; i <= 5; ++i) {
        if (!number.match(fields[i]).hasMatch())
            return false;
    }
    return true;
}

} // namespace

DecodedText decodeImportText(const QByteArray& bytes, bool head)
{
    static const QByteArray bom("\xEF\xBB\xBF");
    if (bytes.startsWith(bom)) {
        const QByteArray rest = bytes.sliced(bom.size());
        if (isUtf8(rest, head))
            return { QString::fromUtf8(rest), TextEncoding::Utf8WithBom };
    }
    if (isUtf8(bytes, head))
        return { QString::fromUtf8(bytes), TextEncoding::Utf8 };
    return { fromWindows1252(bytes), TextEncoding::Windows1252 };
}

QString encodingName(TextEncoding encoding)
{
    switch (encoding) {
    case TextEncoding::Utf8WithBom:
        return QStringLiteral("UTF-8 with byte-order mark");
    case TextEncoding::Windows1252:
        return QStringLiteral("Windows-1252 (not UTF-8)");
    case TextEncoding::Utf8:
        break;
    }
    return QStringLiteral("UTF-8");
}

CsvFormat guessFormat(QStringView head)
{
    qsizetype from = 0;
    QStringView first;
    while (from < head.size()) {
        const LineSpan span = lineSpan(head, from);
        first = head.sliced(from, span.end - from);
        from = span.next;
        if (!first.trimmed().isEmpty())
            break;
    }
    for (const QChar separator : { QChar(u','), QChar(u' ') }) {
        if (isOwnExportLine(first, separator))
            return { FileLayout::OwnExport, separator };
    }
    // The header row names the columns: the separator is the one it uses
    // most, outside quotes.
    std::array<int, 3> counts {};
    constexpr std::array<char16_t, 3> kSeparators { u'\t', u';', u',' };
    bool quoted = false;
    for (const QChar c : first) {
        if (c == kQuote)
            quoted = !quoted;
        for (std::size_t i = 0; i < kSeparators.size() && !quoted; ++i)
            counts[i] += c == kSeparators[i] ? 1 : 0;
    }
    std::size_t best = kSeparators.size() - 1;
    for (std::size_t i = 0; i < kSeparators.size(); ++i) {
        if (counts[i] > counts[best])
            best = i;
    }
    return { FileLayout::HeaderRow, QChar(kSeparators[best]) };
}

CsvSplitter::CsvSplitter(QStringView text, CsvFormat format)
    : text_(text)
    , format_(format)
{
}

bool CsvSplitter::next(CsvRecord& record)
{
    return format_.layout == FileLayout::OwnExport ? nextOwnLine(record) : nextQuoted(record);
}

bool CsvSplitter::nextOwnLine(CsvRecord& record)
{
    while (at_ < text_.size()) {
        const LineSpan span = lineSpan(text_, at_);
        const QStringView line = text_.sliced(at_, span.end - at_);
        const int number = line_++;
        at_ = span.next;
        if (line.trimmed().isEmpty())
            continue;
        record.line = number;
        record.fields = ownFields(line, format_.separator);
        return true;
    }
    return false;
}

bool CsvSplitter::endsValue(QChar c) const
{
    return c == format_.separator || c == u'\n' || c == u'\r';
}

bool CsvSplitter::nextQuoted(CsvRecord& record)
{
    // Blank lines between records are passed over.
    while (at_ < text_.size()) {
        const LineSpan span = lineSpan(text_, at_);
        if (!text_.sliced(at_, span.end - at_).trimmed().isEmpty())
            break;
        at_ = span.next;
        ++line_;
    }
    if (at_ >= text_.size())
        return false;
    record.line = line_;
    record.fields.clear();
    record.unclosedQuote = false;
    const qsizetype size = text_.size();
    for (;;) {
        QString field;
        if (at_ < size && text_[at_] == kQuote) {
            // A quoted value runs to the quote not doubled; what follows it
            // up to the separator is kept as it stands.
            ++at_;
            const qsizetype open = at_;
            const int openLine = line_;
            bool closed = false;
            for (;;) {
                const qsizetype quote = text_.indexOf(kQuote, at_);
                if (quote < 0)
                    break;
                const QStringView part = text_.sliced(at_, quote - at_);
                line_ += lineBreaksIn(part);
                field += part;
                at_ = quote + 1;
                if (at_ >= size || text_[at_] != kQuote) {
                    closed = true;
                    break;
                }
                field += kQuote;
                ++at_;
            }
            // A quote left open would swallow the rows after it: up to the
            // end of the text, or up to a quote of a later row, which then
            // has text after it where a separator or line break belongs.
            // The record ends with the line the quote opened on and is
            // refused, and the rows after it are read anew.
            if (!closed || (line_ != openLine && at_ < size && !endsValue(text_[at_]))) {
                const LineSpan span = lineSpan(text_, open);
                record.fields += text_.sliced(open, span.end - open).toString();
                record.unclosedQuote = true;
                at_ = span.next;
                line_ = openLine + 1;
                return true;
            }
        }
        qsizetype end = at_;
        while (end < size && !endsValue(text_[end]))
            ++end;
        field += text_.sliced(std::min(at_, size), std::max<qsizetype>(0, end - at_));
        record.fields += field;
        if (end >= size) {
            at_ = size;
            return true;
        }
        if (text_[end] == format_.separator) {
            at_ = end + 1;
            continue;
        }
        at_ = lineSpan(text_, end).next;
        ++line_;
        return true;
    }
}

std::vector<CsvRecord> splitRecords(QStringView text, CsvFormat format)
{
    std::vector<CsvRecord> records;
    CsvSplitter splitter(text, format);
    CsvRecord record;
    while (splitter.next(record))
        records.push_back(record);
    return records;
}

} // namespace cvlog
