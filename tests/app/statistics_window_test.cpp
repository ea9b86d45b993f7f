#include "app/currency_rules_dialog.h"
#include "app/statistics_window.h"
#include "app_test_support.h"
#include "settings/settings.h"
#include "statistics_test_log.h"

#include <QApplication>
#include <QPushButton>
#include <QScrollBar>
#include <QTableWidget>
#include <QTimer>

#include <gtest/gtest.h>

using namespace cvlog;
using cvlog::testing::Flight;
using cvlog::testing::kToday;
using cvlog::testing::programLayout;
using Span = CurrencyRule::Span;
using Column = CurrencyRulesDialog::Column;

namespace
{

// Three years of flights up to today, one every third day, on two instruments.
std::vector<Flight> threeYearsOfFlights()
{
    std::vector<Flight> flights;
    int i = 0;
    for (QDate day = kToday.addYears(-3).addDays(1); day <= kToday; day = day.addDays(3), ++i) {
        flights.push_back({ day, 30 + (i % 5) * 15, 3000 + i % 7 * 100, 90,
            i % 3 == 0 ? QStringLiteral("EB02") : QStringLiteral("EA15") });
    }
    return flights;
}

class StatisticsWindowTest : public cvlog::testing::Statistics
{
protected:
    void SetUp() override
    {
        Statistics::SetUp();
        ASSERT_TRUE(settings_.isValid());
    }

    std::filesystem::path iniPath() const
    {
        return std::filesystem::path(settings_.path().toStdString()) / "CVLog.ini";
    }

    std::unique_ptr<StatisticsWindow> openWindow(const FlightLog& table)
    {
        auto window = std::make_unique<StatisticsWindow>(StatisticsWindow::Source {
            [&table](const std::vector<CurrencyRule>& rules) {
                StatisticsParameters parameters;
                parameters.today = kToday;
                parameters.currencyRules = rules;
                return computeFlightStatistics(table, parameters);
            },
            [this] { return marks_; },
            iniPath(),
        });
        window->show();
        window->refresh();
        QApplication::processEvents();
        return window;
    }

    // Works the rules dialog that the window is about to open.
    static void inRulesDialog(const std::function<void(CurrencyRulesDialog&)>& work)
    {
        QTimer::singleShot(0, [work] {
            auto* dialog = qobject_cast<CurrencyRulesDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr);
            work(*dialog);
            if (dialog->isVisible())
                dialog->reject();
        });
    }

    static bool everyRowShows(const QTableWidget& table)
    {
        return table.isVisible() && !table.verticalScrollBar()->isVisible() && table.rowCount() > 0
            && table.visualItemRect(table.item(table.rowCount() - 1, 0)).bottom()
            < table.viewport()->height();
    }

    QTemporaryDir settings_;
    DisplayMarks marks_;
    test::MessageRecorder messages;
};

} // namespace

// The pilot's path through the currency rules: the window shows the summary,
// recent flying and the rules whole at its default size, reads the rules
// once, and its dialog refuses what it cannot read, writes CVLog.ini and
// shows the rules as saved, down to no rule at all.
TEST_F(StatisticsWindowTest, TablesShowWholeAndTheRulesDialogKeepsTheRulesInTheSettings)
{
    writeCurrencyRules(
        iniPath(), { CurrencyRule {}, { 1, 60, 1, Span::Months, "EA15" }, { 0, 600, 12, Span::Months, {} } });
    const FlightLog& table = log(programLayout(), threeYearsOfFlights());
    const auto window = openWindow(table);
    for (const std::size_t i : { 0U, 1U, 5U })
        EXPECT_TRUE(everyRowShows(*window->Tables[i])) << "table " << i;
    EXPECT_EQ(window->Tables[5]->rowCount(), 3);

    // Read once: a change behind the window's back waits for the dialog.
    writeCurrencyRules(iniPath(), {});
    window->refresh();
    EXPECT_EQ(window->Tables[5]->rowCount(), 3);

    inRulesDialog([&](CurrencyRulesDialog& dialog) {
        QTableWidget& rules = *dialog.Rules;
        ASSERT_EQ(rules.rowCount(), 3);
        EXPECT_EQ(rules.item(1, Column::Hours)->text(), "1:00");
        rules.setCurrentCell(0, Column::Flights);
        dialog.RemoveRule1->click();
        dialog.AddRule1->click();
        ASSERT_EQ(rules.rowCount(), 3);
        rules.item(2, Column::Flights)->setText(" 5 ");
        rules.item(2, Column::Hours)->setText("1:3x");
        rules.item(2, Column::Length)->setText("30");
        rules.item(2, Column::Instrument)->setText("EB02 ");
        dialog.Ok->click();
        ASSERT_TRUE(dialog.isVisible()) << "refused";
        ASSERT_EQ(messages.shown.size(), 1U);
        EXPECT_EQ(messages.shown[0].text,
            "Rule 3: \"1:3x\" is not a flight time. Type hours and minutes, as 1:30.");
        rules.item(2, Column::Hours)->setText("2:30");
        rules.item(1, Column::Length)->setText("1201");
        dialog.Ok->click();
        ASSERT_EQ(messages.shown.size(), 2U);
        EXPECT_EQ(messages.shown[1].text, "Rule 2: The number of months must be from 1 to 1200.");
        rules.item(1, Column::Length)->setText("12");
        dialog.Ok->click();
        EXPECT_FALSE(dialog.isVisible());
    });
    window->CurrencyRules1->trigger();
    const std::vector<CurrencyRule> saved { { 1, 60, 1, Span::Months, "EA15" },
        { 0, 600, 12, Span::Months, {} }, { 5, 150, 30, Span::Days, "EB02" } };
    EXPECT_EQ(readCurrencyRules(iniPath()), saved);
    EXPECT_EQ(window->currencyRules(), saved);
    QApplication::processEvents();
    ASSERT_EQ(window->Tables[5]->rowCount(), 3);
    EXPECT_EQ(window->Tables[5]->item(2, 0)->text(), "5 flights and 2:30 in the last 30 days, EB02");
    EXPECT_TRUE(everyRowShows(*window->Tables[5]));

    // Hours read in the chosen fractions; Cancel changes nothing; removing
    // every rule keeps none, and the table goes.
    marks_ = selectDecimalFractions(marks_);
    inRulesDialog([](CurrencyRulesDialog& dialog) {
        EXPECT_EQ(dialog.Rules->item(2, Column::Hours)->text(), "2.50");
        dialog.Rules->setCurrentCell(0, Column::Flights);
        dialog.RemoveRule1->click();
        dialog.Cancel->click();
    });
    window->CurrencyRules1->trigger();
    EXPECT_EQ(readCurrencyRules(iniPath()), saved);
    inRulesDialog([](CurrencyRulesDialog& dialog) {
        while (dialog.Rules->rowCount() > 0) {
            dialog.Rules->setCurrentCell(0, Column::Flights);
            dialog.RemoveRule1->click();
        }
        dialog.Ok->click();
    });
    window->CurrencyRules1->trigger();
    EXPECT_TRUE(readCurrencyRules(iniPath()).empty());
    EXPECT_FALSE(window->Tables[5]->isVisible());
    EXPECT_EQ(messages.shown.size(), 2U);
}

// Not a check: with CVLOG_STATISTICS_SCREENSHOT=<file.png> the window over
// three years of flights is saved there, to be looked at.
TEST_F(StatisticsWindowTest, ScreenshotWhenAsked)
{
    const QString path = qEnvironmentVariable("CVLOG_STATISTICS_SCREENSHOT");
    if (path.isEmpty())
        GTEST_SKIP() << "CVLOG_STATISTICS_SCREENSHOT names no file";
    writeCurrencyRules(iniPath(), { CurrencyRule {}, { 1, 60, 1, Span::Months, "EA15" } });
    const auto window = openWindow(log(programLayout(), threeYearsOfFlights()));
    // The first drawing lays the chart out at its size, and its axes follow.
    window->grab();
    QApplication::processEvents();
    EXPECT_TRUE(window->grab().save(path));
}
