// The record edits of the window in every unit and hour-fraction mode: what
// they show, what typed text stores, and what a mode switch does.

#include "display_test_support.h"

#include "app/db_navigator.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QTest>
#include <QToolButton>

#include <algorithm>

namespace cvlog::test
{
namespace
{

using Item = QAction* TForm1::*;

class ModesTest : public DisplayTest
{
protected:
    static void choose(TForm1& form, std::initializer_list<Item> items)
    {
        for (Item item : items)
            (form.*item)->trigger();
    }

    // Pasted text, as the separators cannot be typed.
    static void paste(TForm1& form, LogField field, const QString& text)
    {
        QLineEdit* e = currentEdit(form, field);
        e->setText(text);
        e->setModified(true);
        if (form.Dbf1.state() == DbfTable::State::Browse)
            form.Dbf1.edit();
    }

    // Key by key; a key beyond ASCII carries only its text, as from a keyboard layout.
    static void type(TForm1& form, LogField field, const QString& text)
    {
        QLineEdit* e = currentEdit(form, field);
        e->selectAll();
        for (QChar c : text) {
            if (c.unicode() < 0x80)
                QTest::keyClick(e, c.toLatin1());
            else
                QTest::sendKeyEvent(QTest::Click, e, Qt::Key_unknown, QString(c), Qt::NoModifier);
        }
    }

    static void press(TForm1& form, DBNavigator::Button button)
    {
        form.DBNavigator1->button(button)->click();
    }
};

TEST_F(ModesTest, EveryFieldIsShownAndAcceptedInEveryMode)
{
    struct Case {
        const char* name;
        Item units;
        Item fractions;
        const char* typed[4]; // flight time, Hobbs, altitude, speed
        std::int64_t stored[4];
        const char* shown[4];
    };
    const Case cases[] = {
        { "metric, minutes", &TForm1::Metricunits1, &TForm1::a1, { "2:15", "1:05", "1000", "100" },
            { 135, 65, 3280, 62 }, { "2:15", "1:05", "999", "99" } },
        { "feet and knots, decimals", &TForm1::N3Unitsfeetnm1, &TForm1::bHourfractionsaredecimals1,
            { "1.50", "2.5", "1000", "100" }, { 90, 150, 1000, 115 }, { "1.50", "2.5", "1000", "99" } },
        { "feet and mph, minutes", &TForm1::N2Unitsfeetmph1, &TForm1::a1, { "0:45", ":30", "500", "80" },
            { 45, 30, 500, 80 }, { "0:45", "0:30", "500", "80" } },
        { "feet and mph, decimals", &TForm1::N2Unitsfeetmph1, &TForm1::bHourfractionsaredecimals1,
            { "1.25", "0.9", "7", "60" }, { 75, 54, 7, 60 }, { "1.25", "0.9", "7", "60" } },
        { "metric, decimals", &TForm1::Metricunits1, &TForm1::bHourfractionsaredecimals1,
            { "0.10", "1.0", "304", "160" }, { 6, 60, 997, 99 }, { "0.10", "1.0", "303", "159" } },
    };
    const LogField fields[4] = { kFlightTime, kHobbs, kMaxAltitude, kMaxSpeed };
    auto form = start();
    const QDate day(2026, 2, 14);
    for (const Case& c : cases) {
        choose(*form, { c.units, c.fractions });
        press(*form, DBNavigator::Insert);
        for (LogField f : fields) { // a new row reads 0 in every mode
            const QString shown = currentEdit(*form, f)->text();
            EXPECT_TRUE(!shown.isEmpty()
                && std::all_of(shown.begin(), shown.end(),
                    [](QChar ch) { return ch == u'0' || ch == u':' || ch == u'.'; }))
                << c.name << ": " << shown.toStdString();
        }
        EXPECT_TRUE(currentEdit(*form, kStudent)->text().isEmpty());
        for (int i = 0; i < 4; ++i)
            paste(*form, fields[i], QString::fromLatin1(c.typed[i]));
        type(*form, kTakeoffDate, shortDateText(day));
        type(*form, kTakeoffTime, QStringLiteral("09:05"));
        type(*form, kStudent, QStringLiteral("3"));
        type(*form, kInstrument, QStringLiteral("K123"));
        type(*form, kComment, QStringLiteral("Local, 2 circuits"));
        press(*form, DBNavigator::Post);
        ASSERT_TRUE(messages.shown.empty()) << c.name << ": " << messages.shown[0].text.toStdString();

        for (int i = 0; i < 4; ++i) {
            EXPECT_EQ(form->Dbf1.integer(fields[i]), c.stored[i])
                << c.name << " field " << logTableField(fields[i]).name.toStdString();
            EXPECT_EQ(currentEdit(*form, fields[i])->text(), QString::fromLatin1(c.shown[i]))
                << c.name << " field " << logTableField(fields[i]).name.toStdString();
        }
        EXPECT_EQ(form->Dbf1.date(kTakeoffDate), day) << c.name;
        EXPECT_EQ(form->Dbf1.text(kTakeoffTime), QStringLiteral("09:05"));
        EXPECT_EQ(form->Dbf1.integer(kStudent), 3);
        EXPECT_EQ(form->Dbf1.text(kInstrument), QStringLiteral("K123"));
        EXPECT_EQ(form->Dbf1.text(kComment), QStringLiteral("Local, 2 circuits"));
        EXPECT_EQ(currentEdit(*form, kTakeoffDate)->text(), shortDateText(day));
    }
}

TEST_F(ModesTest, AModeSwitchRefreshesEveryPanel)
{
    std::vector<SeedRow> rows;
    for (int i = 1; i <= RecordPanelGrid::kPanelCount; ++i)
        rows.push_back({ QDate(2026, 3, i), 30 * i, 1, 1000 * i });
    seed(rows);
    auto form = start();
    form->Metricunits1->trigger();
    form->bHourfractionsaredecimals1->trigger();
    const char* altitudes[] = { "304", "609", "914", "1219", "1524" };
    const char* times[] = { "0.50", "1.00", "1.50", "2.00", "2.50" };
    for (int p = 0; p < RecordPanelGrid::kPanelCount; ++p) {
        EXPECT_EQ(form->DBCtrlGrid1->edit(p, kMaxAltitude)->text(), QString::fromLatin1(altitudes[p])) << p;
        EXPECT_EQ(form->DBCtrlGrid1->edit(p, kFlightTime)->text(), QString::fromLatin1(times[p])) << p;
    }
}

TEST_F(ModesTest, TheModesSurviveARestart)
{
    seed({ { QDate(2026, 3, 1), 90, 1, 1000 } });
    struct Case {
        Item units;
        Item fractions;
        std::array<bool, 5> marks;
        const char* altitude;
        const char* flightTime;
    };
    const Case cases[] = {
        { &TForm1::Metricunits1, &TForm1::bHourfractionsaredecimals1, { true, false, false, false, true },
            "304", "1.50" },
        { &TForm1::N3Unitsfeetnm1, &TForm1::a1, { false, false, true, true, false }, "1000", "1:30" },
        { &TForm1::N2Unitsfeetmph1, &TForm1::bHourfractionsaredecimals1, { false, true, false, false, true },
            "1000", "1.50" },
    };
    for (const Case& c : cases) {
        {
            auto form = start();
            choose(*form, { c.units, c.fractions });
            ASSERT_TRUE(form->close());
        }
        auto form = start();
        std::array<bool, 5> marks {};
        for (std::size_t i = 0; i < marks.size(); ++i)
            marks[i] = form->markActions()[i]->isChecked();
        EXPECT_EQ(marks, c.marks) << c.altitude << c.flightTime;
        EXPECT_EQ(currentEdit(*form, kMaxAltitude)->text(), QString::fromLatin1(c.altitude));
        EXPECT_EQ(currentEdit(*form, kFlightTime)->text(), QString::fromLatin1(c.flightTime));
    }
}

TEST_F(ModesTest, ATextNotYetHandedOverIsReadInTheModeItWasTypedIn)
{
    seed({ { QDate(2026, 3, 1), 60, 1, 500 } });
    struct Case {
        Item before;
        LogField field;
        const char* typed;
        Item after;
        std::int64_t stored;
        const char* shown;
    };
    const Case cases[] = {
        { &TForm1::N2Unitsfeetmph1, kMaxAltitude, "1000", &TForm1::Metricunits1, 1000, "304" },
        { &TForm1::Metricunits1, kMaxSpeed, "100", &TForm1::N2Unitsfeetmph1, 62, "62" },
        { &TForm1::a1, kFlightTime, "1:30", &TForm1::bHourfractionsaredecimals1, 90, "1.50" },
        { &TForm1::bHourfractionsaredecimals1, kHobbs, "1.5", &TForm1::a1, 90, "1:30" },
    };
    auto form = start();
    for (const Case& c : cases) {
        (form.get()->*c.before)->trigger();
        paste(*form, c.field, QString::fromLatin1(c.typed));
        (form.get()->*c.after)->trigger();
        EXPECT_EQ(form->Dbf1.integer(c.field), c.stored) << c.typed;
        EXPECT_EQ(currentEdit(*form, c.field)->text(), QString::fromLatin1(c.shown)) << c.typed;
    }
    EXPECT_TRUE(messages.shown.empty());
}

TEST_F(ModesTest, TheStudentEditIsHiddenOnlyOnRowsWhoseStudentIsZero)
{
    seed(
        { { QDate(2026, 3, 1), 10, 0 }, { QDate(2026, 3, 2), 10, 3 }, { QDate(2026, 3, 3), 10, std::nullopt },
            { QDate(2026, 3, 4), 10, 0 }, { QDate(2026, 3, 5), 10, 7 } });
    auto form = start();
    const bool hidden[] = { true, false, false, true, false };
    RecordPanelGrid& grid = *form->DBCtrlGrid1;
    for (int step = 0; step < 2; ++step) { // and again after moving through the rows
        for (int p = 0; p < RecordPanelGrid::kPanelCount; ++p) {
            EXPECT_EQ(grid.edit(p, kStudent)->isHidden(), hidden[p]) << p;
            EXPECT_EQ(grid.studentLabel(p)->isHidden(), hidden[p]) << p;
        }
        grid.step(4);
    }
}

// Keys typed over the selected text of an edit of the real grid, then the
// row posted: the separator of the mode is taken, other keys the field cannot
// hold are refused, and a text that is no value of the field is refused with
// its message, the edit keeping it selected and the field its value.
TEST_F(ModesTest, TypedKeysAreTakenOrRefusedByTheFieldTheyAreFor)
{
    seed({ { QDate(2026, 3, 1), 0, 1, 500 } });
    auto form = start();
    struct Case {
        Item fractions;
        LogField field;
        const char16_t* keys;
        const char16_t* shown; // the edit's text after the keys
        const char* stored; // as the field reads back; nullptr: refused
        const char* refusal = nullptr;
    };
    const Case cases[] = {
        { &TForm1::a1, kFlightTime, u"1:45", u"1:45", "105" },
        { &TForm1::bHourfractionsaredecimals1, kHobbs, u"2.5", u"2.5", "150" },
        { &TForm1::a1, kHobbs, u"1.5", u"15", "900" }, // "." is no separator in minutes
        { &TForm1::bHourfractionsaredecimals1, kFlightTime, u"1:5", u"15", "900" },
        { &TForm1::a1, kMaxAltitude, u"12a3:. ", u"123", "123" },
        { &TForm1::a1, kStudent, u"4x", u"4", "4" },
        { &TForm1::a1, kComment, u"Gr\u00fc\u00dfe \u20ac\u65e5 1:30", u"Gr\u00fc\u00dfe  1:30",
            "Gr\u00fc\u00dfe  1:30" },
        { &TForm1::a1, kFlightTime, u"1:30:00", u"1:30:00", nullptr,
            "'1:30:00' is not a valid duration for field 'FLIGHTTIME'" },
        { &TForm1::a1, kMaxSpeed, u"12-3", u"12-3", nullptr,
            "'12-3' is not a valid integer value for field 'MAXSPD'" },
        { &TForm1::bHourfractionsaredecimals1, kHobbs, u"+-", u"+-", nullptr,
            "'+-' is not a valid duration for field 'HOBBS'" },
    };
    for (const Case& c : cases) {
        const std::string what = QString::fromUtf16(c.keys).toStdString();
        (form.get()->*c.fractions)->trigger();
        messages.shown.clear();
        const QString before = currentEdit(*form, c.field)->text();
        type(*form, c.field, QString::fromUtf16(c.keys));
        QLineEdit* e = currentEdit(*form, c.field);
        EXPECT_EQ(e->text(), QString::fromUtf16(c.shown)) << what;
        press(*form, DBNavigator::Post);
        if (c.refusal == nullptr) {
            EXPECT_TRUE(messages.shown.empty()) << what;
            const QString stored = c.field == kComment ? form->Dbf1.text(c.field)
                                                       : QString::number(form->Dbf1.integer(c.field));
            EXPECT_EQ(stored, QString::fromUtf8(c.stored)) << what;
            continue;
        }
        ASSERT_EQ(messages.shown.size(), 1u) << what;
        EXPECT_EQ(messages.shown[0].kind, MessageKind::Error);
        EXPECT_EQ(messages.shown[0].text.toStdString(), c.refusal);
        EXPECT_EQ(e->selectedText(), QString::fromUtf16(c.shown)) << what;
        EXPECT_EQ(form->Dbf1.state(), DbfTable::State::Edit) << what;
        press(*form, DBNavigator::Cancel);
        EXPECT_EQ(currentEdit(*form, c.field)->text(), before) << what;
    }

    // A pasted text keeps its line and what the code page holds, and says
    // which characters it replaced.
    messages.shown.clear();
    QLineEdit* comment = currentEdit(*form, kComment);
    comment->selectAll();
    QApplication::clipboard()->setText(QStringLiteral("two\tcircuits\r\nat \u65e5\u672c \u20ac"));
    comment->paste();
    EXPECT_EQ(comment->text(), QStringLiteral("two circuits  at ?? ?"));
    EXPECT_TRUE(comment->isModified());
    ASSERT_TRUE(waitFor([&] { return !messages.shown.empty(); }));
    EXPECT_EQ(messages.shown[0].text.toStdString(),
        QStringLiteral(
            "These characters cannot be stored in the log and were replaced by \"?\": \u65e5 \u672c \u20ac")
            .toStdString());

    // A refused value at exit keeps the window open with the edit in place.
    form->show();
    form->a1->trigger();
    messages.shown.clear();
    type(*form, kFlightTime, QStringLiteral("1:30:00"));
    EXPECT_FALSE(form->close());
    EXPECT_TRUE(form->isVisible());
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(
        messages.shown[0].text.toStdString(), "'1:30:00' is not a valid duration for field 'FLIGHTTIME'");
    EXPECT_EQ(currentEdit(*form, kFlightTime)->selectedText(), QStringLiteral("1:30:00"));
    EXPECT_TRUE(form->Dbf1.isOpen());
    type(*form, kFlightTime, QStringLiteral("1:30"));
    EXPECT_TRUE(form->close());
    FlightLog log;
    log.setPath(file("CVLog.dbf").toStdString());
    log.open(DbfTable::Access::ReadOnly);
    EXPECT_EQ(log.integer(kFlightTime), 90);
    EXPECT_EQ(log.text(kComment), QStringLiteral("two circuits  at ?? ?"));
}

} // namespace
} // namespace cvlog::test
