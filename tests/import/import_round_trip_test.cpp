// A log exported with either export and imported into an empty log exports
// the same lines again: every exported field comes back.

#include "import/log_import.h"
#include "output/text_export.h"
#include "table_test_support.h"

#include <QFile>
#include <QLocale>

#include <gtest/gtest.h>

namespace cvlog
{
namespace
{

using testing::TableTest;

class ImportRoundTripTest : public TableTest
{
protected:
    struct Row {
        QDate date;
        const char* time;
        std::optional<int> flight, altitude, speed, student, hobbs;
        const char* instrument;
        const char* comment;
    };

    static void fill(FlightLog& log)
    {
        const std::vector<Row> rows {
            { QDate(2026, 3, 5), "9:05", 90, 3500, 110, 0, 18725, "F123", "thermals, then a long glide" },
            { QDate(2025, 12, 31), "23:59", 1, {}, {}, {}, 0, "", "" },
            { QDate(1999, 1, 2), "", {}, 0, 0, 7, {}, "K7", "  two  spaces and a trailing one " },
            { QDate(2026, 7, 13), "14:00", 6000, 12000, 250, 12, 999999, "B1",
                "Gr\xC3\xBC\xC3\x9F"
                "e aus M\xC3\xBCnchen, caf\xC3\xA9 \xC2\xBD" },
            { QDate(), "8:00", 30, 100, 50, {}, 60, "F9", "no date" },
            { QDate(2026, 3, 5), "9:05", 45, 300, 60, 1, 120, "F124", "a,b,,c,,," },
        };
        for (const Row& r : rows) {
            log.append();
            log.setDate(kTakeoffDate, r.date);
            log.setText(kTakeoffTime, QString::fromUtf8(r.time));
            for (const auto& [field, value] :
                { std::pair { kFlightTime, r.flight }, { kMaxAltitude, r.altitude }, { kMaxSpeed, r.speed },
                    { kStudent, r.student }, { kHobbs, r.hobbs } }) {
                if (value)
                    log.setInteger(field, *value);
            }
            log.setText(kInstrument, QString::fromUtf8(r.instrument));
            log.setText(kComment, QString::fromUtf8(r.comment));
            log.post();
        }
    }

    static QByteArray read(const std::filesystem::path& path)
    {
        QFile f(QString::fromStdString(path.string()));
        EXPECT_TRUE(f.open(QIODevice::ReadOnly));
        return f.readAll();
    }
};

TEST_F(ImportRoundTripTest, BothExportsImportedIntoAnEmptyLogExportAlike)
{
    FlightLog original;
    setUpMainView(original, file());
    original.create(logTableFields());
    original.open();
    fill(original);

    for (const QLocale& locale : { QLocale(QLocale::English, QLocale::UnitedStates),
             QLocale(QLocale::German, QLocale::Germany), QLocale(QLocale::Swedish, QLocale::Sweden) }) {
        for (const char separator : { kTextSeparator, kCommaSeparator }) {
            SCOPED_TRACE(locale.name().toStdString() + " '" + separator + "'");
            const auto exported = file("first.txt");
            exportVisibleRows(original, exported, separator, locale);
            const QByteArray bytes = read(exported);

            const DecodedText text = decodeImportText(bytes);
            const CsvFormat format = guessFormat(text.text);
            ASSERT_EQ(format.layout, FileLayout::OwnExport);
            const std::vector<CsvRecord> rows = splitRecords(text.text, format);
            const ImportMapping mapping = guessMapping(format.layout, {}, rows, locale);

            FlightLog imported;
            setUpMainView(imported, file("imported.dbf"));
            imported.create(logTableFields());
            imported.open();
            const ImportPlan plan = planImport(rows, mapping, imported, 2026);
            EXPECT_TRUE(plan.badRows.empty());
            // The two flights of 5 March 2026 at 9:05 differ in their instrument.
            EXPECT_EQ(plan.alreadyInLog + plan.twiceInFile, 0);
            EXPECT_EQ(appendFlights(imported, plan.flights).size(), original.recordCount());

            const auto again = file("again.txt");
            exportVisibleRows(imported, again, separator, locale);
            EXPECT_EQ(read(again).toStdString(), bytes.toStdString());
            imported.close();
            std::filesystem::remove(file("imported.dbf"));
        }
    }
}

} // namespace
} // namespace cvlog
