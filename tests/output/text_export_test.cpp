// The text exports: the lines of known rows with both separators, the rows
// the filter lets through, and a failed export that leaves nothing behind.

#include "logstore/file_error.h"
#include "output/report_layout.h"
#include "output/text_export.h"
#include "table_test_support.h"

#include <QLocale>

#include <cerrno>
#include <csignal>
#include <optional>
#include <sys/resource.h>

namespace cvlog::testing
{
namespace
{

const QLocale kBritish(QLocale::English, QLocale::UnitedKingdom); // dd/MM/yyyy

struct Flight {
    QDate date;
    const char* time;
    std::optional<int> minutes, altitude, speed, student, hobbs;
    const char* instrument;
    QString comment;
};

class TextExportTest : public TableTest
{
protected:
    void SetUp() override
    {
        TableTest::SetUp();
        createLog(file());
        setUpMainView(view, file());
        view.open();
    }

    void add(const Flight& f)
    {
        view.append();
        view.setDate(kTakeoffDate, f.date);
        view.setText(kTakeoffTime, QString::fromLatin1(f.time));
        const std::pair<LogField, std::optional<int>> numbers[]
            = { { kFlightTime, f.minutes }, { kMaxAltitude, f.altitude }, { kMaxSpeed, f.speed },
                  { kStudent, f.student }, { kHobbs, f.hobbs } };
        for (const auto& [field, value] : numbers) {
            if (value)
                view.setInteger(field, *value);
        }
        view.setText(kInstrument, QString::fromLatin1(f.instrument));
        view.setText(kComment, f.comment);
        view.post();
    }

    std::string exported(char separator)
    {
        exportVisibleRows(view, file("out.txt"), separator, kBritish);
        return readBytes(file("out.txt"));
    }

    FlightLog view;
};

TEST_F(TextExportTest, EachRowIsOneLineOfNineValuesInStoredUnits)
{
    const Flight flights[] = {
        { QDate(2026, 3, 5), "9:05", 90, 1200, 85, 0, 1234, "ABCD", {} },
        { QDate(2026, 3, 6), "14:30", 5, -5, 0, 7, 600, "EA15", QStringLiteral("over the hills, far away") },
        { QDate(), "", 6000, std::nullopt, std::nullopt, std::nullopt, std::nullopt, "", {} },
        { QDate(2026, 12, 31), "0:00", 600, 999999999, 1, 255, 65535, "F942", QStringLiteral("Café été") },
    };
    for (const Flight& f : flights)
        add(f);

    EXPECT_EQ(exported(kCommaSeparator),
        "05/03/2026,9:05,1:30,1200,85,0,20:34,ABCD,\r\n"
        "06/03/2026,14:30,0:05,-5,0,7,10:00,EA15,over the hills, far away\r\n"
        ",,100:00,,,,0:00,,\r\n"
        "31/12/2026,0:00,10:00,999999999,1,255,1092:15,F942,Caf\xC3\xA9 \xC3\xA9t\xC3\xA9\r\n");
    EXPECT_EQ(exported(kTextSeparator),
        "05/03/2026 9:05 1:30 1200 85 0 20:34 ABCD \r\n"
        "06/03/2026 14:30 0:05 -5 0 7 10:00 EA15 over the hills, far away\r\n"
        "  100:00    0:00  \r\n"
        "31/12/2026 0:00 10:00 999999999 1 255 1092:15 F942 Caf\xC3\xA9 \xC3\xA9t\xC3\xA9\r\n");
    // The view stands on the last row it wrote.
    EXPECT_EQ(view.recordNumber(), 4u);
}

TEST_F(TextExportTest, DatesAreInTheLocalesShortFormat)
{
    add({ QDate(2026, 3, 5), "9:05", 90, 1200, 85, 0, 1234, "ABCD", {} });
    add({ QDate(987, 10, 1), "9:05", 90, 1200, 85, 0, 1234, "ABCD", {} });
    const std::pair<QLocale, const char*> cases[] = {
        { QLocale(QLocale::English, QLocale::UnitedStates), "3/5/26|10/1/87" },
        { QLocale(QLocale::German, QLocale::Germany), "05.03.26|01.10.87" },
        { QLocale(QLocale::Swedish, QLocale::Sweden), "2026-03-05|0987-10-01" },
        { QLocale::c(), "5 Mar 2026|1 Oct 0987" }, // month names: asked of the locale
    };
    for (const auto& [locale, dates] : cases) {
        exportVisibleRows(view, file("out.txt"), kCommaSeparator, locale);
        QStringList shown;
        for (const QString& line :
            QString::fromStdString(readBytes(file("out.txt"))).split(u'\n', Qt::SkipEmptyParts))
            shown << line.section(u',', 0, 0);
        EXPECT_EQ(shown.join(u'|'), QLatin1String(dates)) << locale.name().toStdString();
    }
}

TEST_F(TextExportTest, OnlyTheRowsTheViewShowsAreWritten)
{
    for (int day = 1; day <= 5; ++day)
        add({ QDate(2026, 3, day), "9:05", 60 + day, 1000, 80, 0, 100, "ABCD", {} });
    view.first();
    view.next();
    view.remove(); // 2 March is gone
    view.setFilterPredicate(
        [this](const DbfRecord& row) { return view.flight(row).date(kTakeoffDate).day() >= 2; });
    view.setFiltered(true);
    const std::string lines = exported(kCommaSeparator);
    EXPECT_EQ(lines,
        "03/03/2026,9:05,1:03,1000,80,0,1:40,ABCD,\r\n"
        "04/03/2026,9:05,1:04,1000,80,0,1:40,ABCD,\r\n"
        "05/03/2026,9:05,1:05,1000,80,0,1:40,ABCD,\r\n");

    view.setFilterPredicate([](const DbfRecord&) { return false; });
    view.refresh();
    EXPECT_EQ(exported(kCommaSeparator), "");
}

TEST_F(TextExportTest, ColumnsAreFoundByNameInAForeignFile)
{
    view.close();
    // Another program rewrote the table: its own column first, the log's
    // fields in another order.
    std::vector<FieldDef> fields = logTableFields();
    std::reverse(fields.begin(), fields.end());
    fields.insert(fields.begin(), FieldDef { QStringLiteral("PILOT"), FieldType::Text, 10 });
    FlightLog foreign;
    foreign.setPath(file());
    foreign.create(fields);
    foreign.open();
    foreign.append();
    static_cast<DbfTable&>(foreign).setText(0, QStringLiteral("Jones"));
    foreign.setDate(kTakeoffDate, QDate(2026, 3, 5));
    foreign.setInteger(kFlightTime, 90);
    foreign.setInteger(kHobbs, 61);
    foreign.setText(kInstrument, QStringLiteral("EA15"));
    foreign.post();
    exportVisibleRows(foreign, file("out.txt"), kCommaSeparator, kBritish);
    EXPECT_EQ(readBytes(file("out.txt")), "05/03/2026,,1:30,,,,1:01,EA15,\r\n");
}

// A table another program wrote: text fields up to 254 wide full of
// characters that take three bytes in UTF-8, numbers and dates in text
// fields of other widths, and columns of its own. Every line comes out
// whole, and the report reads the same texts.
TEST_F(TextExportTest, ATableOfWideForeignFieldsExportsWhole)
{
    view.close();
    const std::vector<FieldDef> fields = { { QStringLiteral("PILOT"), FieldType::Text, 254 },
        { QStringLiteral("TAKEOFFD"), FieldType::Text, 12 },
        { QStringLiteral("TAKEOFFT"), FieldType::Text, 200 },
        { QStringLiteral("FLIGHTTIME"), FieldType::Text, 16 },
        { QStringLiteral("MAXALT"), FieldType::Text, 12 },
        { QStringLiteral("MAXSPD"), FieldType::Integer, 9 },
        { QStringLiteral("STUDENT"), FieldType::Integer, 9 },
        { QStringLiteral("HOBBS"), FieldType::Integer, 9 },
        { QStringLiteral("INSTRUMENT"), FieldType::Text, 254 },
        { QStringLiteral("COMMENT"), FieldType::Text, 254 },
        { QStringLiteral("RATING"), FieldType::Integer, 5 } };
    // Code page 850 and what it means: 0xB0 light shade, 0xDB full block,
    // 0xCD double line, 0x82 e acute, 0xD5 dotless i.
    const QChar shade(0x2591), block(0x2588), line(0x2550), eAcute(0xE9), dotless(0x131);
    auto utf8 = [](const QString& s) { return s.toStdString(); };
    struct Row {
        QString date, time, minutes, altitude;
        std::optional<int> speed, student, hobbs;
        QString instrument, comment;
        std::string expected; // the line after the date and time, before the instrument
    };
    const QString wide = QString(254, shade);
    const QString mixed
        = QString(100, block) + QStringLiteral(" a ") + QString(100, eAcute) + QString(51, dotless);
    const Row rows[] = {
        { QStringLiteral("20260305"), QString(200, line), QStringLiteral("90"), QStringLiteral("1200"), 85, 0,
            1234, wide, wide, "1:30,1200,85,0,20:34" },
        { QStringLiteral("  20261231"), QStringLiteral("  ") + QString(150, block) + QStringLiteral("  "),
            QStringLiteral("        12345678"), QStringLiteral("   -5"), 999999999, 255, 65535, mixed,
            QStringLiteral("  ") + mixed.left(252), "205761:18,-5,999999999,255,1092:15" },
        { QStringLiteral("20260230"), {}, QStringLiteral("             123"), QStringLiteral("007"), {}, {},
            {}, QStringLiteral("          EA15"), {}, "2:03,7,,,0:00" },
        { QStringLiteral("2026030:"), QStringLiteral("9:05"), QStringLiteral("-65"),
            QStringLiteral("12345678901"), 7, 1, 59, QStringLiteral("A1"), QStringLiteral("x"),
            "-1:-5,0,7,1,0:59" },
        { QStringLiteral("2026-03-05"), {}, QStringLiteral("0090"), QStringLiteral("+5"), {}, {}, {}, {}, {},
            "1:30,5,,,0:00" },
        { {}, {}, QStringLiteral("1 2"), QStringLiteral("***"), {}, {}, {}, {}, {}, "0:00,0,,,0:00" },
    };
    const QString dates[] = { QStringLiteral("05/03/2026"), QStringLiteral("31/12/2026"), {}, {}, {}, {} };

    FlightLog foreign;
    setUpMainView(foreign, file());
    foreign.create(fields);
    foreign.open();
    // The columns of the other program's own, where the log's fields are none.
    DbfTable& table = foreign;
    const int pilot = table.fieldIndexOrThrow(QStringLiteral("PILOT"));
    const int rating = table.fieldIndexOrThrow(QStringLiteral("RATING"));
    std::string expected;
    for (std::size_t i = 0; i < std::size(rows); ++i) {
        const Row& r = rows[i];
        foreign.append();
        table.setText(pilot, wide);
        foreign.setText(kTakeoffDate, r.date);
        foreign.setText(kTakeoffTime, r.time);
        foreign.setText(kFlightTime, r.minutes);
        foreign.setText(kMaxAltitude, r.altitude);
        const std::pair<LogField, std::optional<int>> numbers[]
            = { { kMaxSpeed, r.speed }, { kStudent, r.student }, { kHobbs, r.hobbs } };
        for (const auto& [field, value] : numbers) {
            if (value)
                foreign.setInteger(field, *value);
        }
        foreign.setText(kInstrument, r.instrument);
        foreign.setText(kComment, r.comment);
        table.setInteger(rating, 99999);
        foreign.post();
        const std::string line = utf8(dates[i]) + ',' + utf8(r.time.trimmed()) + ',' + r.expected + ','
            + utf8(r.instrument.trimmed()) + ',' + utf8(r.comment.trimmed()) + "\r\n";
        if (i == 0) {
            ASSERT_GT(line.size(), 2000u); // far longer than any line of the program's own table
        }
        expected += line;
    }

    EXPECT_EQ(exportVisibleRows(foreign, file("out.txt"), kCommaSeparator, kBritish), std::size(rows));
    EXPECT_EQ(readBytes(file("out.txt")), expected);

    TableReportRows report(foreign);
    std::size_t i = 0;
    for (std::uint32_t key = report.next(0); key != 0; key = report.next(key), ++i) {
        const ReportFlight flight = report.flight(key);
        EXPECT_EQ(flight.takeoffTime, rows[i].time.trimmed()) << i;
        EXPECT_EQ(flight.instrument, rows[i].instrument.trimmed()) << i;
        EXPECT_EQ(flight.comment, rows[i].comment.trimmed()) << i;
    }
    EXPECT_EQ(i, std::size(rows));
}

TEST_F(TextExportTest, AFailedExportLeavesTheEarlierFileAndNothingElse)
{
    add({ QDate(2026, 3, 5), "9:05", 90, 1200, 85, 0, 1234, "ABCD", QString(64, u'x') });
    for (int i = 0; i < 2000; ++i)
        add({ QDate(2026, 3, 5), "9:05", 90, 1200, 85, 0, 1234, "ABCD", QString(64, u'x') });
    writeBytes(file("out.txt"), "an earlier export\r\n");

    // The file system refuses more than 64 KiB, as a full disk would.
    rlimit saved {};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 64 * 1024;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    std::string message;
    try {
        exportVisibleRows(view, file("out.txt"), kCommaSeparator, kBritish);
    } catch (const FileError& error) {
        message = error.what();
    }
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);
    EXPECT_EQ(message, "Disk full");

    EXPECT_FALSE(view.controlsDisabled());
    EXPECT_EQ(readBytes(file("out.txt")), "an earlier export\r\n");
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(file().parent_path()))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string> { "CVLog.dbf", "out.txt" }));

    // A folder that is not there.
    try {
        exportVisibleRows(view, file("missing") / "out.txt", kCommaSeparator, kBritish);
        ADD_FAILURE() << "no error";
    } catch (const FileError& error) {
        EXPECT_STREQ(error.what(), "File not found");
    }
}

TEST(RunTimeErrorText, NamesTheFileErrorsAsTheUserKnowsThem)
{
    const std::pair<int, const char*> cases[] = { { ENOENT, "File not found" }, { ENOTDIR, "File not found" },
        { EACCES, "File access denied" }, { EROFS, "File access denied" }, { ENOSPC, "Disk full" },
        { EDQUOT, "Disk full" }, { EMFILE, "Too many open files" }, { ENAMETOOLONG, "Invalid filename" },
        { EIO, "I/O error 5" }, { EXDEV, "I/O error 18" } };
    for (const auto& [error, text] : cases)
        EXPECT_EQ(runTimeErrorText(error), text) << error;
}

} // namespace
} // namespace cvlog::testing
