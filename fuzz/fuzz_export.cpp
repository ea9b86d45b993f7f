// Tables of any shape the main view accepts, built from the input: the
// nine log fields of any type and width up to 255, in any order, among
// columns of another program, and rows of digits, dates, code-page text or
// any bytes. Each table is exported and laid out as the report; every
// exported line must be what the row's own readings make of it, and the
// stored values read a word at a time what they read a byte at a time.
#include "logstore/file_error.h"
#include "logstore/flight_log.h"
#include "logstore/stored_values.h"
#include "output/report_layout.h"
#include "output/text_export.h"
#include "presentation/field_text.h"

#include "file_bytes.h"
#include "scratch_directory.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <QLocale>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace
{

namespace fs = std::filesystem;

constexpr int kHeaderSize = 32;
constexpr int kDescriptorSize = 32;
constexpr int kMostRows = 40;
constexpr int kMostPlacedPages = 3;

struct Column {
    std::string name;
    char type; // 'C', 'N' or 'D'
    int width;
};

const fs::path& scratchDirectory()
{
    static const cvlog::fuzz::ScratchDirectory dir("fuzz_export");
    return dir.path();
}

std::vector<Column> columnsFrom(FuzzedDataProvider& in)
{
    std::vector<Column> columns;
    for (const cvlog::FieldDef& field : cvlog::logTableFields())
        columns.push_back({ field.name.toUpper().toStdString(), 'C', 1 });
    const int extras = in.ConsumeIntegralInRange(0, 3);
    for (int i = 0; i < extras; ++i)
        columns.push_back({ "OTHER" + std::to_string(i), 'C', 1 });
    for (Column& c : columns) {
        c.type = in.PickValueInArray({ 'C', 'N', 'D' });
        c.width = in.ConsumeIntegralInRange(1, 255);
    }
    // Any order: each column swapped with one after it.
    for (std::size_t i = 0; i + 1 < columns.size(); ++i)
        std::swap(columns[i], columns[in.ConsumeIntegralInRange(i, columns.size() - 1)]);
    return columns;
}

// One field's bytes: what writers store, or anything.
std::string fieldFrom(FuzzedDataProvider& in, int width)
{
    const auto w = static_cast<std::size_t>(width);
    std::string value;
    switch (in.ConsumeIntegralInRange(0, 5)) {
    case 0: { // a number: a sign or none, leading zeros, digits or stars
        value = std::string(in.PickValueInArray({ "", "", "-", "+", "*" }));
        value.append(in.ConsumeIntegralInRange<std::size_t>(0, 2), '0');
        const std::size_t digits = in.ConsumeIntegralInRange<std::size_t>(0, 12);
        for (std::size_t i = 0; i < digits; ++i)
            value += static_cast<char>('0' + in.ConsumeIntegralInRange(0, 9));
        break;
    }
    case 1: { // a date, real or not
        char date[16];
        std::snprintf(date, sizeof date, "%04d%02d%02d", in.ConsumeIntegralInRange(0, 9999),
            in.ConsumeIntegralInRange(0, 13), in.ConsumeIntegralInRange(0, 32));
        value = date;
        break;
    }
    case 2: // code-page text of many bytes in UTF-8
        value = std::string(in.ConsumeIntegralInRange<std::size_t>(0, w),
            static_cast<char>(in.ConsumeIntegralInRange(0x80, 0xFF)));
        break;
    case 3:
        value = in.ConsumeBytesAsString(w);
        break;
    default:
        value = in.ConsumeRandomLengthString(w);
        break;
    }
    value.resize(std::min(value.size(), w));
    const std::string padding(w - value.size(), in.ConsumeBool() ? ' ' : '\0');
    return in.ConsumeBool() ? padding + value : value + padding;
}

void writeTable(const fs::path& path, const std::vector<Column>& columns, FuzzedDataProvider& in)
{
    int rowLength = 1;
    for (const Column& c : columns)
        rowLength += c.width;
    const int headerLength = kHeaderSize + kDescriptorSize * static_cast<int>(columns.size()) + 1;
    std::string bytes(kHeaderSize, '\0');
    bytes[0] = 0x03;
    bytes[8] = static_cast<char>(headerLength & 0xFF);
    bytes[9] = static_cast<char>(headerLength >> 8);
    bytes[10] = static_cast<char>(rowLength & 0xFF);
    bytes[11] = static_cast<char>(rowLength >> 8);
    for (const Column& c : columns) {
        std::string descriptor(kDescriptorSize, '\0');
        descriptor.replace(0, c.name.size(), c.name);
        descriptor[11] = c.type;
        descriptor[16] = static_cast<char>(c.width);
        bytes += descriptor;
    }
    bytes += '\x0D';
    const int rows = in.ConsumeIntegralInRange(0, kMostRows);
    for (int r = 0; r < rows && in.remaining_bytes() > 0; ++r) {
        bytes += in.ConsumeIntegralInRange(0, 7) == 0 ? '*' : ' ';
        for (const Column& c : columns)
            bytes += fieldFrom(in, c.width);
    }
    cvlog::testing::writeBytes(path, bytes);
}

std::string hoursMinutes(std::int32_t minutes)
{
    const std::int32_t rest = minutes % 60;
    return std::to_string(minutes / 60) + ':' + (rest >= 0 && rest < 10 ? "0" : "") + std::to_string(rest);
}

// The line as the row reads its own fields, one value at a time.
std::string expectedLine(const cvlog::LoggedFlight& row, const QLocale& locale)
{
    using namespace cvlog;
    auto number = [&](LogField field) {
        return row.isNull(field) ? std::string() : std::to_string(row.integer(field));
    };
    auto text = [&](LogField field) { return row.text(field).toStdString(); };
    return shortDateText(row.date(kTakeoffDate), locale).toStdString() + ',' + text(kTakeoffTime) + ','
        + hoursMinutes(row.integer(kFlightTime)) + ',' + number(kMaxAltitude) + ',' + number(kMaxSpeed) + ','
        + number(kStudent) + ',' + hoursMinutes(row.integer(kHobbs)) + ',' + text(kInstrument) + ','
        + text(kComment) + "\r\n";
}

[[noreturn]] void fail(const char* what, std::string_view field)
{
    std::fprintf(
        stderr, "%s differs for the field \"%.*s\"\n", what, static_cast<int>(field.size()), field.data());
    std::abort();
}

// The readings a word at a time against the same readings a byte at a time.
void checkStoredReadings(std::string_view s)
{
    auto padding = [](char c) { return c == ' ' || c == '\0'; };
    std::size_t begin = 0;
    std::size_t end = s.size();
    while (end > 0 && padding(s[end - 1]))
        --end;
    while (begin < end && padding(s[begin]))
        ++begin;
    if (cvlog::trimStored(s) != s.substr(begin, end - begin))
        fail("TrimStored", s);

    std::size_t from = s.size();
    while (from > 0 && s[from - 1] >= '0' && s[from - 1] <= '9')
        --from;
    const std::size_t digits = s.size() - from;
    const bool plain
        = digits >= 1 && digits <= 9 && (s[from] != '0' || digits == 1) && s.find_first_not_of(' ') >= from;
    const auto number = cvlog::plainStoredNumber(s);
    if (number.has_value() != plain
        || (number
            && (number->digits != s.substr(from) || number->value != std::stoi(std::string(s.substr(from))))))
        fail("PlainStoredNumber", s);

    const auto date = cvlog::storedDateDigits(s);
    const bool eightDigits = s.size() == 8 && s.find_first_not_of("0123456789") == std::string_view::npos;
    if (date.has_value() != eightDigits
        || (date
            && (date->year != std::stoi(std::string(s.substr(0, 4)))
                || date->month != std::stoi(std::string(s.substr(4, 2)))
                || date->day != std::stoi(std::string(s.substr(6, 2))))))
        fail("StoredDateDigits", s);
}

void exportAndLayOut(cvlog::FlightLog& view)
{
    static const QLocale british(QLocale::English, QLocale::UnitedKingdom);
    std::string expected;
    for (view.first(); !view.eof(); view.next()) {
        expected += expectedLine(view.currentFlight(), british);
        for (int f = 0; f < view.fieldCount(); ++f)
            checkStoredReadings(view.current().raw(f));
    }

    const fs::path out = scratchDirectory() / "out.csv";
    cvlog::exportVisibleRows(view, out, cvlog::kCommaSeparator, british);
    const std::string written = cvlog::testing::readBytes(out);
    if (written != expected) {
        std::fprintf(stderr, "export:\n%s\nrows read:\n%s\n", written.c_str(), expected.c_str());
        std::abort();
    }

    cvlog::TableReportRows rows(view);
    cvlog::ReportSettings settings;
    settings.locale = british;
    const cvlog::ReportLayout layout = cvlog::layOutReport(rows, settings);
    const int pages = std::min(static_cast<int>(layout.pages.size()), kMostPlacedPages);
    for (int page = 0; page < pages; ++page)
        (void)cvlog::placeReportPage(layout, page, rows);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider in(data, size);
    const fs::path path = scratchDirectory() / "CVLog.dbf";
    writeTable(path, columnsFrom(in), in);
    cvlog::FlightLog view;
    view.setPath(path);
    try {
        view.open(cvlog::DbfTable::Access::ReadOnly);
        exportAndLayOut(view);
    } catch (const cvlog::DbfError&) {
    } catch (const cvlog::FileError&) {
    }
    return 0;
}
