#pragma once
// The "Flight statistics" window: the totals of the flights the main window
// shows, recent flying over the whole log, flight time per year and per
// instrument, and a bar chart of flight time per month. It is not modal and
// lives for the run; while it is open it follows the log, while it is closed
// it reads nothing.

#include "presentation/statistics_chart.h"
#include "presentation/statistics_texts.h"

#include <QWidget>

#include <array>
#include <functional>

class QAction;
class QBarSeries;
class QChart;
class QChartView;
class QGroupBox;
class QLabel;
class QPushButton;
class QTableWidget;

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
        std::function<FlightStatistics()> compute;
        std::function<DisplayMarks()> marks;
    };

    explicit StatisticsWindow(Source source, QWidget* parent = nullptr);

    // The log changed: the figures are made again once the current event is
    // over (many changes in one go cost one pass), and only while shown.
    void scheduleRefresh();
    void refresh();

    const FlightStatistics& shown() const { return statistics_; }

    void SaveChart1Click(); // Ctrl+S: the chart as a PNG image
    void Copy1Click(); // Ctrl+C: the tables as tab-separated text

    QLabel* Caption = nullptr;
    QLabel* Undated = nullptr;
    // summary, recent flying, per year, per instrument, per student, currency
    std::array<QTableWidget*, 6> Tables {};
    QChartView* ChartView = nullptr;
    QAction* SaveChart1 = nullptr;
    QAction* Copy1 = nullptr;

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void showChart(const ChartSeries& series);
    void barHovered(bool entered, int index);

    Source source_;
    FlightStatistics statistics_;
    ChartSeries chart_;
    std::array<QGroupBox*, 6> boxes_ {};
    bool refreshPending_ = false;
};

} // namespace cvlog
