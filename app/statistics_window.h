#pragma once
// The "Flight statistics" window: the totals of the flights the main window
// shows, recent flying over the whole log, flight time per year, per
// instrument and per student, the currency rules' standing, and a bar chart
// of flight time per month. It is not modal and lives for the run; while it
// is open it follows the log, while it is closed it reads nothing. The
// currency rules are read from the settings once, and again when its rules
// dialog has written them.

#include "presentation/statistics_chart.h"
#include "presentation/statistics_texts.h"

#include <QWidget>

#include <array>
#include <filesystem>
#include <functional>
#include <vector>

class QAction;
class QBarSeries;
class QCategoryAxis;
class QChart;
class QChartView;
class QGroupBox;
class QLabel;
class QPushButton;
class QTableWidget;
class QValueAxis;

namespace cvlog
{

class StatisticsWindow : public QWidget
{
    Q_OBJECT
public:
    static constexpr const char* kCaption = "Flight statistics";
    static constexpr const char* kSaveChartTitle = "Save chart as image";

    // Where the figures come from, asked at every refresh.
    struct Source {
        std::function<FlightStatistics(const std::vector<CurrencyRule>& rules)> compute;
        std::function<DisplayMarks()> marks;
        // CVLog.ini, which keeps the currency rules; empty: no rules.
        std::filesystem::path settingsPath = {};
    };

    explicit StatisticsWindow(Source source, QWidget* parent = nullptr);

    // The log changed: the figures are made again once the current event is
    // over (many changes in one go cost one pass), and only while shown.
    void scheduleRefresh();
    void refresh();

    const FlightStatistics& shown() const { return statistics_; }

    void SaveChart1Click(); // Ctrl+S: the chart as a PNG image
    void Copy1Click(); // Ctrl+C: the tables as tab-separated text
    void CurrencyRules1Click(); // the rules dialog; OK writes CVLog.ini

    const std::vector<CurrencyRule>& currencyRules() const { return rules_; }

    QLabel* Caption = nullptr;
    QLabel* Undated = nullptr;
    // summary, recent flying, per year, per instrument, per student, currency
    std::array<QTableWidget*, 6> Tables {};
    QChartView* ChartView = nullptr;
    QAction* SaveChart1 = nullptr;
    QAction* Copy1 = nullptr;
    QAction* CurrencyRules1 = nullptr;

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void showChart(const ChartSeries& series);
    void labelAxes();
    void barHovered(bool entered, int index);

    Source source_;
    std::vector<CurrencyRule> rules_;
    FlightStatistics statistics_;
    ChartSeries chart_;
    double highestHours_ = 0;
    QCategoryAxis* timeAxis_ = nullptr;
    QValueAxis* hoursAxis_ = nullptr;
    std::vector<AxisLabel> timeLabels_;
    QStringList hoursLabels_;
    bool labelling_ = false;
    std::array<QGroupBox*, 6> boxes_ {};
    bool refreshPending_ = false;
};

} // namespace cvlog
