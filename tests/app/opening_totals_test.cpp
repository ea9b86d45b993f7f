// The Setup menu's page totals and opening totals worked through the window:
// what is typed reaches CVLog.ini, a refusal keeps the dialog open.

#include "display_test_support.h"

#include "app/opening_totals_dialog.h"
#include "presentation/short_date.h"
#include "settings/ini_file.h"
#include "settings/settings.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include <functional>

namespace cvlog::test
{
namespace
{

class OpeningTotalsTest : public DisplayTest
{
protected:
    // Opens the dialog from the menu and runs `inside` while it is up; what
    // is still up after it is cancelled. False when it never came up.
    static bool whileShown(TForm1& form, const std::function<void(OpeningTotalsDialog&)>& inside)
    {
        bool ran = false;
        QTimer poll;
        poll.setInterval(5);
        QObject::connect(&poll, &QTimer::timeout, [&] {
            auto* dialog = form.findChild<OpeningTotalsDialog*>();
            if (ran || !dialog || !dialog->isVisible())
                return;
            ran = true;
            inside(*dialog);
            if (dialog->isVisible())
                dialog->CancelButton->click();
        });
        poll.start();
        form.Openingtotals1->trigger();
        return ran;
    }

    static void fill(OpeningTotalsDialog& dialog, const char* flights, const char* time, const char* hobbs,
        const QString& date)
    {
        dialog.FlightsEdit->setText(QString::fromLatin1(flights));
        dialog.FlightTimeEdit->setText(QString::fromLatin1(time));
        dialog.HobbsEdit->setText(QString::fromLatin1(hobbs));
        dialog.DateEdit->setText(date);
    }

    std::filesystem::path ini() const { return file("CVLog.ini").toStdString(); }
};

TEST_F(OpeningTotalsTest, TheSetupMenuKeepsPageTotalsAndTheTypedOpeningTotals)
{
    seed({ { QDate(2026, 1, 10), 60 } });
    auto form = start();
    EXPECT_FALSE(form->Pagetotals1->isChecked());
    form->Pagetotals1->trigger();
    EXPECT_TRUE(readPageTotals(ini()));

    // Typed in decimals; a date after the log's first flight is refused and
    // the dialog stays for the pilot to mend it.
    form->bHourfractionsaredecimals1->trigger();
    ASSERT_TRUE(whileShown(*form, [&](OpeningTotalsDialog& dialog) {
        fill(dialog, "120", "95.5", "101.1", shortDateText(QDate(2026, 1, 11)));
        dialog.OkButton->click();
        EXPECT_TRUE(dialog.isVisible());
        ASSERT_EQ(messages.shown.size(), 1u);
        EXPECT_TRUE(messages.shown[0].text.contains(QStringLiteral("first flight")));
        dialog.DateEdit->setText(shortDateText(QDate(2025, 12, 31)));
        dialog.OkButton->click();
        EXPECT_FALSE(dialog.isVisible());
    }));
    EXPECT_EQ(readOpeningTotals(ini()), (OpeningTotals { 120, 5730, 6066, QDate(2025, 12, 31) }));

    // A Hobbs time the dialog shows cut to the tenth keeps its minutes when
    // left as shown; emptied, the totals are taken away.
    IniFile(ini()).writeString(
        QStringLiteral("OpeningTotals"), QStringLiteral("HobbsMinutes"), QStringLiteral("6067"));
    ASSERT_TRUE(whileShown(*form, [&](OpeningTotalsDialog& dialog) {
        EXPECT_EQ(dialog.HobbsEdit->text(), QStringLiteral("101.1"));
        EXPECT_EQ(dialog.FlightTimeEdit->text(), QStringLiteral("95.50"));
        dialog.FlightsEdit->setText(QStringLiteral("121"));
        dialog.OkButton->click();
    }));
    EXPECT_EQ(readOpeningTotals(ini()), (OpeningTotals { 121, 5730, 6067, QDate(2025, 12, 31) }));
    ASSERT_TRUE(whileShown(*form, [&](OpeningTotalsDialog& dialog) {
        fill(dialog, "", "", "", QString());
        dialog.OkButton->click();
    }));
    EXPECT_EQ(readOpeningTotals(ini()), std::nullopt);
    EXPECT_EQ(messages.shown.size(), 1u);
}

} // namespace
} // namespace cvlog::test
