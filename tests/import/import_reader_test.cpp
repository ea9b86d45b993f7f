// Files of flights read as the import dialog reads them with its guesses
// untouched: the layout, the encoding, the guessed date order and duration
// kinds, the rows stored, and the rows skipped or refused with their lines.

#include "import/log_import.h"
#include "table_test_support.h"

#include <QByteArray>
#include <QLocale>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace cvlog
{
namespace
{

using testing::TableTest;

constexpr int kReferenceYear = 2026;

struct ReaderCase {
    const char* name;
    QByteArray bytes;
    FileLayout layout;
    char separator;
    TextEncoding encoding;
    DateOrder dateOrder;
    DurationKind flightTimeKind;
    // Each stored flight as "date|time|flight|alt|speed|student|hobbs|instrument|comment",
    // numbers empty where the field stays empty.
    std::vector<QString> flights;
    std::vector<QString> badRows; // "line: reason"
    int alreadyInLog = 0;
    int twiceInFile = 0;
    // The data rows the guesses see, as the dialog's preview holds only the
    // file's head.
    std::size_t rowsGuessedFrom = SIZE_MAX;
};

QString opt(const std::optional<std::int32_t>& n)
{
    return n ? QString::number(*n) : QString();
}

QString describe(const ImportedFlight& f)
{
    return QStringList { f.date.toString(Qt::ISODate), f.takeoffTime, opt(f.flightTime), opt(f.maxAltitude),
        opt(f.maxSpeed), opt(f.student), opt(f.hobbs), f.instrument, f.comment }
        .join(u'|');
}

std::vector<std::string> texts(const std::vector<QString>& list)
{
    std::vector<std::string> out;
    for (const QString& s : list)
        out.push_back(s.toStdString());
    return out;
}

std::vector<ReaderCase> readerCases()
{
    const QByteArray bom("\xEF\xBB\xBF");
    return {
        { "own_space_export_with_spaces_and_non_ascii_in_comments",
            "04/03/2026 9:05 1:30 3500 110 0 312:05 F123 thermals over the ridge\r\n"
            "06/03/2026 14:00 0:45    0:00  Kaffee f\xC3\xBCr alle, danach Landung\r\n"
            "13/03/2026 9:05 2:00 800 90 3 0:00 F123 \r\n",
            FileLayout::OwnExport, ' ', TextEncoding::Utf8, DateOrder::DayMonthYear,
            DurationKind::HoursMinutes,
            { "2026-03-04|9:05|90|3500|110|0|18725|F123|thermals over the ridge",
                QString::fromUtf8("2026-03-06|14:00|45||||0||Kaffee f\xC3\xBCr alle, danach Landung"),
                "2026-03-13|9:05|120|800|90|3|0|F123|" },
            {} },
        { "own_comma_export_whose_comment_holds_commas",
            "3/14/26,9:05,1:30,3500,110,0,312:05,F123,one, two,  three\r\n"
            "3/15/26,10:00,0:05,,,,0:00,,\r\n",
            FileLayout::OwnExport, ',', TextEncoding::Utf8, DateOrder::MonthDayYear,
            DurationKind::HoursMinutes,
            { "2026-03-14|9:05|90|3500|110|0|18725|F123|one, two,  three", "2026-03-15|10:00|5||||0||" },
            {} },
        { "header_csv_with_commas_rfc4180_quotes_and_iso_dates",
            "Date,Takeoff time,Duration,Max altitude,Max speed,Student,Hobbs,Serial,Remarks\n"
            "2026-04-01,09:30,1:10,2000,95,,10:00,K7,\"said \"\"hello\"\", then left\"\n"
            "2026-04-02,10:00,0:20,,,,,K7,\"two\nlines\"\n"
            "2026-04-03,11:00,0:20,,,,,K7,plain\n",
            FileLayout::HeaderRow, ',', TextEncoding::Utf8, DateOrder::YearMonthDay,
            DurationKind::HoursMinutes,
            { "2026-04-01|09:30|70|2000|95||600|K7|said \"hello\", then left",
                "2026-04-02|10:00|20|||||K7|two lines", "2026-04-03|11:00|20|||||K7|plain" },
            {} },
        { "spreadsheet_semicolons_bom_decimal_commas_and_seconds",
            bom
                + "Datum;Departure;Flight time;Altitude;Speed;Pupil;Engine hours;Instrument;Comment\r\n"
                  "28.05.2026;08:15:00;1,5;1200;80;2;\"1234,25\";F9;\"a; b\"\r\n"
                  "29.05.2026;08:15:00;0.75;;;;;F9;\r\n",
            FileLayout::HeaderRow, ';', TextEncoding::Utf8WithBom, DateOrder::DayMonthYear,
            DurationKind::DecimalHours,
            { "2026-05-28|08:15|90|1200|80|2|74055|F9|a; b", "2026-05-29|08:15|45|||||F9|" }, {} },
        { "tab_separated_windows_1252_minutes_month_first",
            "date\ttime\tminutes\tinstrument\tnotes\r\n"
            "04/13/2026\t7:00\t95\tB1\tcaf\xE9 \x80 5\r\n",
            FileLayout::HeaderRow, '\t', TextEncoding::Windows1252, DateOrder::MonthDayYear,
            DurationKind::Minutes,
            // The euro sign is not in the table's code page: stored as a typed edit stores it.
            { QString::fromUtf8("2026-04-13|7:00|95|||||B1|caf\xC3\xA9 ? 5") }, {} },
        { "bad_rows_are_listed_with_their_lines_and_reasons",
            "Date,Time,Duration,Altitude,Instrument,Comment\n"
            "2026-06-01,9:00,1:00,100,F1,ok\n"
            "2026-02-30,9:00,1:00,100,F1,no such day\n"
            "\n"
            "2026-06-02,9:00,1:7x,100,F1,bad duration\n"
            "2026-06-03,9:00,1:00,high,F1,bad altitude\n"
            "2026-06-04,9:00,1:00,1234567890,F1,too high\n"
            "2026-06-05,9:00,1:00,100,F1234,instrument too long\n"
            "2026-06-06,9:00:30,1:00,100,F1,seconds that are not zero\n",
            FileLayout::HeaderRow, ',', TextEncoding::Utf8, DateOrder::YearMonthDay,
            DurationKind::HoursMinutes, { "2026-06-01|9:00|60|100||||F1|ok" },
            { "3: '2026-02-30' is not a valid date",
                "5: '1:7x' is not a valid duration for field 'FLIGHTTIME'",
                "6: 'high' is not a valid integer value for field 'MAXALT'",
                "7: Value is too long : 10 characters (it can't be more than 9).",
                "8: Value is too long : 5 characters (it can't be more than 4).",
                "9: Value is too long : 7 characters (it can't be more than 5)." } },
        { "rows_in_the_log_or_twice_in_the_file_are_skipped",
            "Date,Time,Duration,Instrument\n"
            "2026-03-05,9:05,1:00,F123\n" // live in the log
            "2026-03-06,10:00,1:00,F123\n" // in the log, but deleted there
            "2026-03-06,10:00,0:30,F123\n" // the row before, again
            "2026-03-05,9:05,1:00,F124\n", // another instrument
            FileLayout::HeaderRow, ',', TextEncoding::Utf8, DateOrder::YearMonthDay,
            DurationKind::HoursMinutes, { "2026-03-06|10:00|60|||||F123|", "2026-03-05|9:05|60|||||F124|" },
            {}, 1, 1 },
        { "blank_rows_are_no_flights_and_rows_of_unused_columns_are_refused",
            "Date;Time;Duration;Instrument;Extra\r\n"
            "2026-06-01;9:00;1:00;F1;x\r\n"
            ";;;;\r\n"
            " ; ;;;\r\n"
            ";;;;only here\r\n",
            FileLayout::HeaderRow, ';', TextEncoding::Utf8, DateOrder::YearMonthDay,
            DurationKind::HoursMinutes, { "2026-06-01|9:00|60|||||F1|" },
            { "5: The row holds none of the log's fields." } },
        { "old_mac_line_ends_split_own_exports_and_quoted_rows",
            "04/03/2026 9:05 1:30 3500 110 0 312:05 F123 first\r"
            "06/03/2026 14:00 0:45    0:00  second\r",
            FileLayout::OwnExport, ' ', TextEncoding::Utf8, DateOrder::DayMonthYear,
            DurationKind::HoursMinutes,
            { "2026-03-04|9:05|90|3500|110|0|18725|F123|first", "2026-03-06|14:00|45||||0||second" }, {} },
        { "old_mac_line_ends_in_a_header_file_keep_quoted_breaks_and_line_numbers",
            "Date,Time,Duration,Comment\r"
            "2026-07-01,9:00,1:00,\"two\rlines\"\r"
            "2026-07-02,9:00,1:7x,bad\r\r"
            "2026-07-03,9:00,0:10,last",
            FileLayout::HeaderRow, ',', TextEncoding::Utf8, DateOrder::YearMonthDay,
            DurationKind::HoursMinutes,
            { "2026-07-01|9:00|60||||||two lines", "2026-07-03|9:00|10||||||last" },
            { "4: '1:7x' is not a valid duration for field 'FLIGHTTIME'" } },
        { "a_quote_never_closed_refuses_its_row_and_spares_the_rows_after",
            "Date,Time,Duration,Comment\r\n"
            "2026-07-03,9:00,1:00,\"never closed\r\n"
            "2026-07-04,10:00,0:30,next\r\n"
            "2026-07-05,11:00,0:40,\"closed\"\r\n"
            "2026-07-06,12:00,0:50,\"open to the end\r\n"
            "2026-07-07,13:00,0:15,after\r\n",
            FileLayout::HeaderRow, ',', TextEncoding::Utf8, DateOrder::YearMonthDay,
            DurationKind::HoursMinutes,
            { "2026-07-04|10:00|30||||||next", "2026-07-05|11:00|40||||||closed",
                "2026-07-07|13:00|15||||||after" },
            { "2: A quoted value is not closed.", "5: A quoted value is not closed." } },
        { "iso_dates_read_whatever_order_a_head_without_rows_guessed",
            "Date;Duration\n2026-01-02;1:00\n2026-01-13;0:30\n", FileLayout::HeaderRow, ';',
            TextEncoding::Utf8, DateOrder::DayMonthYear, DurationKind::HoursMinutes,
            { "2026-01-02||60||||||", "2026-01-13||30||||||" }, {}, 0, 0, 0 },
    };
}

class ImportReaderTest : public TableTest
{
};

TEST_F(ImportReaderTest, ReadsEachKindOfFileWithItsGuesses)
{
    FlightLog log;
    setUpMainView(log, file());
    log.create(logTableFields());
    log.open();
    appendFlight(log, QDate(2026, 3, 5), QStringLiteral("9:05"), 60);
    log.edit();
    log.setText(kInstrument, QStringLiteral("F123"));
    log.post();
    appendFlight(log, QDate(2026, 3, 6), QStringLiteral("10:00"), 60);
    log.edit();
    log.setText(kInstrument, QStringLiteral("F123"));
    log.post();
    log.remove();

    const QLocale british(QLocale::English, QLocale::UnitedKingdom);
    for (const ReaderCase& c : readerCases()) {
        SCOPED_TRACE(c.name);
        const DecodedText decoded = decodeImportText(c.bytes);
        EXPECT_EQ(decoded.encoding, c.encoding);
        const CsvFormat format = guessFormat(decoded.text);
        EXPECT_EQ(format.layout, c.layout);
        EXPECT_EQ(format.separator, QChar(c.separator));
        std::vector<CsvRecord> rows = splitRecords(decoded.text, format);
        QStringList header;
        if (format.layout == FileLayout::HeaderRow) {
            header = rows.front().fields;
            rows.erase(rows.begin());
        }
        const std::vector<CsvRecord> head(rows.begin(),
            rows.begin() + static_cast<std::ptrdiff_t>(std::min(rows.size(), c.rowsGuessedFrom)));
        const ImportMapping mapping = guessMapping(format.layout, header, head, british);
        EXPECT_EQ(mapping.dateOrder, c.dateOrder);
        EXPECT_EQ(mapping.flightTimeKind, c.flightTimeKind);
        const ImportPlan plan = planImport(rows, mapping, log, kReferenceYear);
        std::vector<std::string> flights;
        for (const ImportedFlight& f : plan.flights)
            flights.push_back(describe(f).toStdString());
        EXPECT_EQ(flights, texts(c.flights));
        std::vector<std::string> bad;
        for (const BadRow& b : plan.badRows)
            bad.push_back(QStringLiteral("%1: %2").arg(b.line).arg(b.reason).toStdString());
        EXPECT_EQ(bad, texts(c.badRows));
        EXPECT_EQ(plan.alreadyInLog, c.alreadyInLog);
        EXPECT_EQ(plan.twiceInFile, c.twiceInFile);
    }
}

} // namespace
} // namespace cvlog
