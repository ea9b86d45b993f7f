#pragma once
// The text exports: one line per flight the main view shows, nine values
// joined by a space or a comma, each line ended by CR LF, no heading and no
// total. Values are in the stored units whatever the display modes, texts in
// UTF-8.

#include "logstore/dbf_table.h"
#include "logstore/log_fields.h"

#include <QLocale>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <unordered_map>
#include <vector>

namespace cvlog
{

inline constexpr char kTextSeparator = ' ';
inline constexpr char kCommaSeparator = ',';

// Where a line is written: a cursor into a buffer that has room for it.
class LineCursor
{
public:
    explicit LineCursor(char* at)
        : at_(at)
    {
    }
    void put(char c) { *at_++ = c; }
    void put(std::string_view s)
    {
        std::memcpy(at_, s.data(), s.size());
        at_ += s.size();
    }
    void putNumber(std::int64_t value);
    char* at() const { return at_; }

private:
    char* at_;
};

// A date in the locale's short format. A log holds few distinct days, so
// each day's text is asked of the locale once.
class ShortDateWriter
{
public:
    explicit ShortDateWriter(const QLocale& locale);
    // The text of a stored "yyyymmdd" date; nothing when there is none.
    void write(LineCursor& out, const DbfRecord& row, int field);
    // The longest text written so far.
    std::size_t longest() const { return longest_; }

private:
    QLocale locale_;
    std::size_t longest_ = 0;
    std::unordered_map<std::uint64_t, std::string> texts_;
};

// Builds export lines into a block of text.
class ExportLineWriter
{
public:
    ExportLineWriter(const LogFieldMap& fields, char separator, const QLocale& locale);

    // Adds the row's line, CR LF included.
    void append(const DbfRecord& row);
    std::string_view text() const { return { buffer_.data(), used_ }; }
    void clear() { used_ = 0; }

private:
    LogFieldMap fields_;
    char separator_;
    ShortDateWriter dates_;
    std::vector<char> buffer_;
    std::size_t used_ = 0;
};

// Writes the rows the view shows, from its first visible row, to the file;
// the view stands on its last visible row afterwards. The file appears only
// when complete: a failure (FileError, in the run-time library's words)
// leaves an earlier file of that name as it was. The grid's display is
// suspended meanwhile and resumed however the export ends. Returns the
// number of lines written.
std::uint32_t ExportVisibleRows(
    DbfTable& view, const std::filesystem::path& target, char separator, const QLocale& locale);

} // namespace cvlog
