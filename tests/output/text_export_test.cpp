// The text exports: the lines of known rows with both separators, the rows
// the filter lets through, and a failed export that leaves nothing behind.

#include "logstore/file_error.h"
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
        ExportVisibleRows(view, file("out.txt"), separator, kBritish);
        return readBytes(file("out.txt"));
    }

    DbfTable view;
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
        ExportVisibleRows(view, file("out.txt"), kCommaSeparator, locale);
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
    view.setFilterPredicate([](const DbfRecord& row) { return row.date(kTakeoffDate).day() >= 2; });
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
    DbfTable foreign;
    foreign.setPath(file());
    foreign.create(fields);
    foreign.open();
    foreign.append();
    foreign.setText(0, QStringLiteral("Jones"));
    foreign.setDate(foreign.fieldIndexOrThrow(QStringLiteral("TAKEOFFD")), QDate(2026, 3, 5));
    foreign.setInteger(foreign.fieldIndexOrThrow(QStringLiteral("FLIGHTTIME")), 90);
    foreign.setInteger(foreign.fieldIndexOrThrow(QStringLiteral("HOBBS")), 61);
    foreign.setText(foreign.fieldIndexOrThrow(QStringLiteral("INSTRUMENT")), QStringLiteral("EA15"));
    foreign.post();
    ExportVisibleRows(foreign, file("out.txt"), kCommaSeparator, kBritish);
    EXPECT_EQ(readBytes(file("out.txt")), "05/03/2026,,1:30,,,,1:01,EA15,\r\n");
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
        ExportVisibleRows(view, file("out.txt"), kCommaSeparator, kBritish);
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
        ExportVisibleRows(view, file("missing") / "out.txt", kCommaSeparator, kBritish);
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
        EXPECT_EQ(RunTimeErrorText(error), text) << error;
}

} // namespace
} // namespace cvlog::testing
