// Our files read by an independent reader (python3-dbfread), and a file of
// another writer (python3-pyshp) read by our table.
#include "table_test_support.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

namespace cvlog::testing
{
namespace
{

QByteArray runScript(const QString& mode, const std::filesystem::path& path)
{
    QProcess p;
    p.start(QStringLiteral(CVLOG_PYTHON),
        { QStringLiteral(INTEROP_SCRIPT), mode, QString::fromStdString(path.string()) });
    EXPECT_TRUE(p.waitForFinished(30000));
    EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    return p.readAllStandardOutput();
}

QJsonObject dump(const std::filesystem::path& path)
{
    return QJsonDocument::fromJson(runScript(QStringLiteral("dump"), path)).object();
}

QJsonArray row(std::initializer_list<QJsonValue> values)
{
    return QJsonArray(values);
}

using InteropTest = TableTest;

TEST_F(InteropTest, DbfreadReadsWhatTheTableWrites)
{
    createLog(file());
    {
        FlightLog t;
        setUpMainView(t, file());
        t.open();
        t.append();
        t.setDate(kTakeoffDate, QDate(2026, 3, 5));
        t.setText(kTakeoffTime, QStringLiteral("9:05"));
        t.setInteger(kFlightTime, 90);
        t.setInteger(kMaxAltitude, -99999999);
        t.setInteger(kMaxSpeed, 999999999);
        t.setInteger(kStudent, 255);
        t.setText(kInstrument, QStringLiteral("AB12X"));
        t.setText(kComment, QStringLiteral("Zürich é ß"));
        t.post();
        appendFlight(t, QDate(2026, 3, 6), QStringLiteral("10:00"), 5, QStringLiteral("deleted"));
        t.remove();
        t.append(); // a row left blank
        t.post();
    }
    const QJsonObject before = dump(file());
    const QJsonArray names = before[QStringLiteral("fields")].toArray();
    ASSERT_EQ(names.size(), kLogFieldCount);
    EXPECT_EQ(names[0].toArray()[0].toString(), QStringLiteral("TakeoffD"));
    EXPECT_EQ(names[8].toArray(), row({ QStringLiteral("Comment"), QStringLiteral("C"), 64 }));
    const QJsonArray expectedRows {
        row({ QStringLiteral("2026-03-05"), QStringLiteral("9:05"), 90, -99999999, 999999999, 255,
            QJsonValue(), QStringLiteral("AB12"), QStringLiteral("Zürich é ß") }),
        row({ QJsonValue(), QString(), QJsonValue(), QJsonValue(), QJsonValue(), QJsonValue(), QJsonValue(),
            QString(), QString() }),
    };
    EXPECT_EQ(before[QStringLiteral("rows")].toArray(), expectedRows);

    FlightLog t;
    setUpMainView(t, file());
    t.compact();
    t.close();
    const QJsonObject after = dump(file());
    EXPECT_EQ(
        after[QStringLiteral("fields")].toArray()[0].toArray()[0].toString(), QStringLiteral("TAKEOFFD"));
    EXPECT_EQ(after[QStringLiteral("rows")].toArray(), expectedRows);
}

TEST_F(InteropTest, PyshpFileOpensInAPlainView)
{
    runScript(QStringLiteral("pyshp"), file("foreign.dbf"));
    const std::string bytes = readBytes(file("foreign.dbf"));
    ASSERT_FALSE(bytes.empty());
    EXPECT_NE(bytes.back(), '\x1A');

    DbfTable t;
    t.setPath(file("foreign.dbf"));
    t.open();
    ASSERT_EQ(t.fieldCount(), 5);
    EXPECT_EQ(t.field(4).name, QStringLiteral("COMMENT"));
    EXPECT_EQ(t.field(4).width, 20);

    EXPECT_EQ(t.date(0), QDate(2025, 7, 14));
    EXPECT_EQ(t.text(1), QStringLiteral("8:15"));
    EXPECT_EQ(t.integer(2), 42);
    EXPECT_EQ(t.integer(3), 3500);
    EXPECT_EQ(t.text(4), QStringLiteral("Genève"));
    t.next();
    EXPECT_FALSE(t.date(0).isValid());
    EXPECT_TRUE(t.isNull(1));
    EXPECT_TRUE(t.isNull(2));
    EXPECT_EQ(t.integer(2), 0);
    EXPECT_EQ(t.integer(3), -12);
    t.next();
    EXPECT_EQ(t.date(0), QDate(2026, 1, 31));
    EXPECT_EQ(t.integer(2), 999999999);
    EXPECT_EQ(t.text(4), QStringLiteral("last row"));
    t.next();
    EXPECT_TRUE(t.eof());
    EXPECT_EQ(t.recordNumber(), 3u);

    // A row added here is read back by the other side.
    t.append();
    t.setText(4, QStringLiteral("added"));
    t.setInteger(2, 7);
    t.post();
    t.close();
    const QJsonArray rows = dump(file("foreign.dbf"))[QStringLiteral("rows")].toArray();
    ASSERT_EQ(rows.size(), 4);
    EXPECT_EQ(rows[3].toArray(), row({ QJsonValue(), QString(), 7, QJsonValue(), QStringLiteral("added") }));

    FlightLog main;
    main.setPath(file("foreign.dbf"));
    EXPECT_THROW(main.open(), DbfError);
}

} // namespace
} // namespace cvlog::testing
