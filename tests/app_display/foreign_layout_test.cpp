// A log table that another program rewrote: the nine fields in another
// order, and a column of the user's own in front. Every path through the
// window reads and writes each value in its own field, and the user's column
// keeps its values.

#include "display_test_support.h"

#include "app/db_navigator.h"
#include "app/log_report.h"
#include "app/report_form.h"
#include "link/dbf_flight_store.h"

#include <QCheckBox>
#include <QDateEdit>
#include <QProcess>
#include <QTest>
#include <QTimer>
#include <QToolButton>

namespace cvlog::test
{
namespace
{

using Nav = DBNavigator;

class ForeignLayoutTest : public DisplayTest
{
protected:
    void SetUp() override
    {
        DisplayTest::SetUp();
        std::vector<FieldDef> fields = logTableFields();
        std::reverse(fields.begin(), fields.end());
        fields.insert(fields.begin(), { QStringLiteral("Pilot"), FieldType::Text, 10 });
        FlightLog table;
        table.setPath(file("CVLog.dbf").toStdString());
        table.create(fields);
        table.open();
        const char* pilots[] = { "Jones", "Smith", "Brown" };
        for (int i = 0; i < 3; ++i) {
            table.append();
            static_cast<DbfTable&>(table).setText(0, QString::fromLatin1(pilots[i])); // the user's column
            table.setDate(kTakeoffDate, QDate(2026, 3, 1 + i));
            table.setText(kTakeoffTime, QStringLiteral("9:05"));
            table.setInteger(kFlightTime, 90 + i);
            table.setInteger(kMaxAltitude, 1200 + i);
            table.setInteger(kMaxSpeed, 85 + i);
            table.setInteger(kStudent, 3);
            table.setInteger(kHobbs, 600 + i);
            table.setText(kInstrument, QStringLiteral("EA15"));
            table.setText(kComment, QStringLiteral("flight"));
            table.post();
        }
        table.close();
        form = start();
        form->setForms(nullptr, &form3, nullptr, nullptr);
    }

    void type(LogField field, const QString& text)
    {
        QLineEdit* e = currentEdit(*form, field);
        e->setFocus();
        e->selectAll();
        QTest::keyClicks(e, text);
    }

    // Every row as an independent reader sees it, "NAME=value" joined by "|".
    QStringList readBack() const
    {
        QProcess python;
        python.start(QStringLiteral(CVLOG_SYSTEM_PYTHON),
            { QStringLiteral("-c"),
                QStringLiteral("import sys, dbfread\n"
                               "for r in dbfread.DBF(sys.argv[1], encoding='cp850'):\n"
                               "    print('|'.join('%s=%s' % (k.upper(), v) for k, v in r.items()))\n"),
                file("CVLog.dbf") });
        python.waitForFinished(30000);
        return QString::fromUtf8(python.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
    }

    TForm3 form3;
    std::unique_ptr<TForm1> form;
};

TEST_F(ForeignLayoutTest, EveryValueStaysInItsOwnFieldAndTheUsersColumnSurvives)
{
    // The grid shows each value under its own label.
    const std::pair<LogField, const char*> shown[]
        = { { kTakeoffTime, "9:05" }, { kFlightTime, "1:30" }, { kMaxAltitude, "1200" }, { kMaxSpeed, "85" },
              { kStudent, "3" }, { kHobbs, "10:00" }, { kInstrument, "EA15" }, { kComment, "flight" } };
    for (const auto& [field, text] : shown)
        EXPECT_EQ(currentEdit(*form, field)->text(), QLatin1String(text))
            << logTableField(field).name.toStdString();
    EXPECT_EQ(currentEdit(*form, kTakeoffDate)->text(), shortDateText(QDate(2026, 3, 1)));

    // An edit changes only its field; an insert, a download and a compact
    // leave the user's column alone.
    type(kComment, QStringLiteral("edited"));
    form->DBNavigator1->button(Nav::Post)->click();
    form->DBNavigator1->button(Nav::Insert)->click();
    type(kTakeoffDate, shortDateText(QDate(2026, 3, 4)));
    type(kFlightTime, QStringLiteral("2"));
    form->DBNavigator1->button(Nav::Post)->click();
    FlightRow downloaded;
    downloaded.takeoffDate = QDate(2026, 3, 5);
    downloaded.takeoffTime = "14:30";
    downloaded.flightTime = 45;
    downloaded.hobbs = 700;
    downloaded.instrument = QStringLiteral("F942");
    DbfFlightStore(form->Dbf1).appendFlights({ downloaded });
    form->Dbf1.first();
    form->Dbf1.next();
    form->Dbf1.remove();

    form->Dbf1.compact();
    EXPECT_TRUE(messages.shown.empty());

    // The filter and its total read the take-off date and the flight time.
    form->DateFrom->setDate(QDate(2026, 3, 1));
    form->DateTo->setDate(QDate(2026, 3, 4));
    form->CheckBox1->click();
    EXPECT_EQ(form->Edit1->text(), QStringLiteral("5:02")); // 90 + 92 + 120

    // The export and the report print each value in its column.
    messages.fileAnswerer = [this](const FileDialogRequest&) { return file("flights.txt"); };
    form->Saveascommadelimitedtextfile1->trigger();
    messages.fileAnswerer = {};
    const QByteArray d1 = QLocale::system().toString(QDate(2026, 3, 1), QLocale::ShortFormat).toUtf8();
    EXPECT_TRUE(ReadAll(file("flights.txt")).startsWith(d1 + ",9:05,1:30,1200,85,3,10:00,EA15,edited\r\n"))
        << ReadAll(file("flights.txt")).toStdString();
    QTimer::singleShot(0, [this] {
        form3.LogPrint.writePdf(file("report.pdf"));
        form3.LogPrint.closePreview();
    });
    form->Print1->trigger();
    QProcess pdftotext;
    pdftotext.start(
        QStringLiteral("pdftotext"), { QStringLiteral("-layout"), file("report.pdf"), QStringLiteral("-") });
    pdftotext.waitForFinished(30000);
    const QString report = QString::fromUtf8(pdftotext.readAllStandardOutput());
    EXPECT_TRUE(report.contains(QRegularExpression(QStringLiteral("9:05 +1:30 +1200 +85 +10:00 +3 +EA15"))))
        << report.toStdString();
    EXPECT_TRUE(report.contains(QRegularExpression(QStringLiteral("Total time for period +5:02"))));

    ASSERT_TRUE(form->close());
    EXPECT_EQ(readBack().join(u'\n').toStdString(),
        (QStringList {
            "PILOT=Jones|COMMENT=edited|INSTRUMENT=EA15|HOBBS=600|STUDENT=3|MAXSPD=85|MAXALT=1200|FLIGHTTIME="
            "90|"
            "TAKEOFFT=9:05|TAKEOFFD=2026-03-01",
            "PILOT=Brown|COMMENT=flight|INSTRUMENT=EA15|HOBBS=602|STUDENT=3|MAXSPD=87|MAXALT=1202|FLIGHTTIME="
            "92|"
            "TAKEOFFT=9:05|TAKEOFFD=2026-03-03",
            "PILOT=|COMMENT=|INSTRUMENT=|HOBBS=None|STUDENT=None|MAXSPD=None|MAXALT=None|FLIGHTTIME=120|"
            "TAKEOFFT=|TAKEOFFD=2026-03-04",
            "PILOT=|COMMENT=|INSTRUMENT=F942|HOBBS=700|STUDENT=0|MAXSPD=0|MAXALT=0|FLIGHTTIME=45|"
            "TAKEOFFT=14:30|TAKEOFFD=2026-03-05",
        }
                .join(u'\n')
                .toStdString()));
}

// Another program's file whose text fields are wider than the program's
// own: the grid shows the whole texts, and an edit keeps them whole.
class WideTextFieldsTest : public DisplayTest
{
protected:
    std::unique_ptr<TForm1> form;
};

TEST_F(WideTextFieldsTest, TheGridShowsAndEditsTheWholeTexts)
{
    const std::pair<LogField, QString> texts[] = { { kTakeoffTime, QStringLiteral("09:05:30 local time") },
        { kInstrument, QStringLiteral("EA15 of the club, the second one") },
        { kComment, QString(150, u'x') + QStringLiteral(" the end") } };
    std::vector<FieldDef> fields = logTableFields();
    for (const auto& [field, text] : texts)
        fields[static_cast<std::size_t>(field)].width = 200;
    {
        FlightLog table;
        table.setPath(file("CVLog.dbf").toStdString());
        table.create(fields);
        table.open();
        table.append();
        table.setDate(kTakeoffDate, QDate(2026, 3, 1));
        for (const auto& [field, text] : texts)
            table.setText(field, text);
        table.post();
    }
    form = start();
    for (const auto& [field, text] : texts)
        EXPECT_EQ(currentEdit(*form, field)->text().toStdString(), text.toStdString());

    QLineEdit* comment = currentEdit(*form, kComment);
    comment->setFocus();
    comment->end(false);
    QTest::keyClicks(comment, QStringLiteral("!"));
    form->DBNavigator1->button(Nav::Post)->click();
    EXPECT_EQ(form->Dbf1.text(kComment).toStdString(), (texts[2].second + u'!').toStdString());
    EXPECT_EQ(form->Dbf1.text(kInstrument).toStdString(), texts[1].second.toStdString());
}

} // namespace
} // namespace cvlog::test
