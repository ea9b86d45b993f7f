#include "app/statistics_window.h"

#include "app/currency_rules_dialog.h"
#include "app/cvlog_application.h"
#include "app/scripting/status_trace.h"
#include "logstore/atomic_file.h"
#include "settings/settings.h"

#include <QAction>
#include <QApplication>
#include <QBarCategoryAxis>
#include <QBarSeries>
#include <QBarSet>
#include <QBuffer>
#include <QCategoryAxis>
#include <QChart>
#include <QChartView>
#include <QClipboard>
#include <QCursor>
#include <QFontMetricsF>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHash>
#include <QHeaderView>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QTableWidget>
#include <QTimer>
#include <QToolTip>
#include <QVBoxLayout>
#include <QValueAxis>

#include <algorithm>
#include <cmath>
#include <memory>

namespace cvlog
{

namespace
{

constexpr QSize kDesignedSize { 900, 820 };
constexpr int kChartHeight = 280;
constexpr int kRowPadding = 6;
constexpr double kMinutesPerHour = 60.0;
// The hours axis keeps two lines' height between its labels.
constexpr double kLinesPerHourLabel = 2.0;
constexpr int kMostHourIntervals = 10;
constexpr int kFirstHourIntervals = 5; // before the chart is laid out
// The tables whose every row shows: summary, recent flying, currency.
constexpr std::array<bool, 6> kShowsEveryRow { true, true, false, false, false, true };
constexpr int kMostFittedRows = 10;
// The bar axis keys its labels by their text; a zero-width space keeps the
// second "Jul" apart from the first.
constexpr char16_t kZeroWidthSpace = u'\u200B';

QTableWidget* makeTable(QWidget* parent)
{
    auto* table = new QTableWidget(parent);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionMode(QAbstractItemView::NoSelection);
    table->verticalHeader()->setVisible(false);
    table->verticalHeader()->setDefaultSectionSize(table->fontMetrics().height() + kRowPadding);
    table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    table->horizontalHeader()->setStretchLastSection(false);
    return table;
}

// A table as high as its header and rows, so no row hides behind a scroll
// bar; past kMostFittedRows rows (many currency rules) it scrolls rather
// than push the window off the screen.
void fitRows(QTableWidget& table)
{
    const int rows = std::min(table.rowCount(), kMostFittedRows);
    const QHeaderView& heads = *table.verticalHeader();
    const int rowsHeight = rows == 0 ? 0 : heads.sectionPosition(rows - 1) + heads.sectionSize(rows - 1);
    table.setFixedHeight(table.horizontalHeader()->sizeHint().height() + rowsHeight + 2 * table.frameWidth());
}

void fill(QTableWidget& table, const StatisticsTable& content)
{
    table.clear();
    table.setColumnCount(static_cast<int>(content.headings.size()));
    table.setHorizontalHeaderLabels(content.headings);
    table.setRowCount(static_cast<int>(content.rows.size()));
    // The first column names the row and takes the room left.
    if (table.columnCount() > 0)
        table.horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    for (int r = 0; r < static_cast<int>(content.rows.size()); ++r) {
        const QStringList& row = content.rows[static_cast<std::size_t>(r)];
        for (int c = 0; c < row.size(); ++c) {
            auto* item = new QTableWidgetItem(row[c]);
            if (c > 0)
                item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            table.setItem(r, c, item);
        }
    }
}

} // namespace

StatisticsWindow::StatisticsWindow(Source source, QWidget* parent)
    : QWidget(parent, Qt::Window)
    , source_(std::move(source))
{
    setObjectName(QStringLiteral("Statistics"));
    setWindowTitle(QString::fromLatin1(kCaption));
    setAttribute(Qt::WA_QuitOnClose, false);

    Caption = new QLabel(this);
    Caption->setObjectName(QStringLiteral("Caption"));
    QFont bold = Caption->font();
    bold.setBold(true);
    Caption->setFont(bold);
    Undated = new QLabel(this);
    Undated->setObjectName(QStringLiteral("Undated"));

    for (std::size_t i = 0; i < Tables.size(); ++i) {
        boxes_[i] = new QGroupBox(this);
        Tables[i] = makeTable(boxes_[i]);
        Tables[i]->setObjectName(QStringLiteral("Table%1").arg(i + 1));
        auto* inBox = new QVBoxLayout(boxes_[i]);
        inBox->addWidget(Tables[i]);
    }
    // The summary on the left; recent flying over the years; instruments
    // over students; the currency rules across the window, as their texts
    // are long.
    auto* tables = new QHBoxLayout;
    auto* middle = new QVBoxLayout;
    auto* right = new QVBoxLayout;
    tables->addWidget(boxes_[0], 4, Qt::AlignTop);
    middle->addWidget(boxes_[1]);
    middle->addWidget(boxes_[2], 1);
    right->addWidget(boxes_[3], 1);
    right->addWidget(boxes_[4], 1);
    tables->addLayout(middle, 3);
    tables->addLayout(right, 3);

    ChartView = new QChartView(new QChart, this);
    ChartView->setObjectName(QStringLiteral("ChartView"));
    ChartView->setRenderHint(QPainter::Antialiasing);
    ChartView->setMinimumHeight(kChartHeight);
    ChartView->chart()->legend()->hide();
    connect(ChartView->chart(), &QChart::plotAreaChanged, this, Guarded([this] { labelAxes(); }));

    SaveChart1 = new QAction(QStringLiteral("Save chart as image..."), this);
    SaveChart1->setObjectName(QStringLiteral("SaveChart1"));
    SaveChart1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
    Copy1 = new QAction(QStringLiteral("Copy tables"), this);
    Copy1->setObjectName(QStringLiteral("Copy1"));
    Copy1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_C));
    for (QAction* action : { SaveChart1, Copy1 }) {
        action->setShortcutContext(Qt::WindowShortcut);
        addAction(action);
    }
    connect(SaveChart1, &QAction::triggered, this, Guarded(this, &StatisticsWindow::SaveChart1Click));
    connect(Copy1, &QAction::triggered, this, Guarded(this, &StatisticsWindow::Copy1Click));
    CurrencyRules1 = new QAction(QStringLiteral("Currency rules..."), this);
    CurrencyRules1->setObjectName(QStringLiteral("CurrencyRules1"));
    connect(CurrencyRules1, &QAction::triggered, this, Guarded(this, &StatisticsWindow::CurrencyRules1Click));

    auto* buttons = new QHBoxLayout;
    auto* rulesButton = new QPushButton(CurrencyRules1->text(), this);
    connect(rulesButton, &QPushButton::clicked, CurrencyRules1, &QAction::trigger);
    buttons->addWidget(rulesButton);
    buttons->addStretch();
    for (QAction* action : { Copy1, SaveChart1 }) {
        auto* button = new QPushButton(action->text() + QStringLiteral(" (")
                + action->shortcut().toString(QKeySequence::NativeText) + u')',
            this);
        connect(button, &QPushButton::clicked, action, &QAction::trigger);
        buttons->addWidget(button);
    }

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Caption);
    layout->addWidget(Undated);
    layout->addLayout(tables);
    layout->addWidget(boxes_[5]);
    layout->addWidget(ChartView, 1);
    layout->addLayout(buttons);
    resize(kDesignedSize);
    if (!source_.settingsPath.empty())
        rules_ = readCurrencyRules(source_.settingsPath);
}

void StatisticsWindow::scheduleRefresh()
{
    if (!isVisible() || refreshPending_)
        return;
    refreshPending_ = true;
    QTimer::singleShot(0, this, Guarded([this] {
        refreshPending_ = false;
        refresh();
    }));
}

void StatisticsWindow::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    scheduleRefresh();
}

void StatisticsWindow::refresh()
{
    if (!isVisible())
        return;
    statistics_ = source_.compute(rules_);
    const QLocale locale = QLocale::system();
    Caption->setText(statisticsCaption(statistics_, locale));
    const std::int64_t undated = statistics_.summary.undatedFlights;
    Undated->setText(undated == 0
            ? QString()
            : QStringLiteral("Flights without a take-off date: %1 (counted in the totals "
                             "and per instrument, not per year or month)")
                  .arg(undated));
    Undated->setVisible(undated != 0);
    const std::vector<StatisticsTable> tables = statisticsTables(statistics_, source_.marks(), locale);
    for (std::size_t i = 0; i < Tables.size() && i < tables.size(); ++i) {
        boxes_[i]->setTitle(tables[i].title);
        fill(*Tables[i], tables[i]);
        if (kShowsEveryRow[i])
            fitRows(*Tables[i]);
        boxes_[i]->setVisible(tables[i].shown);
    }
    showChart(flightTimeChart(statistics_, locale));
    TraceStatistics(QStringLiteral("%1: flights=%2 minutes=%3")
                        .arg(Caption->text())
                        .arg(statistics_.summary.flights)
                        .arg(statistics_.summary.totalMinutes));
}

// A window of figures closes from the keyboard as a dialog does: Escape,
// and Ctrl+W as a document window.
void StatisticsWindow::keyPressEvent(QKeyEvent* event)
{
    if (event->matches(QKeySequence::Cancel)
        || event->keyCombination() == QKeyCombination(Qt::CTRL, Qt::Key_W)) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

void StatisticsWindow::showChart(const ChartSeries& series)
{
    chart_ = series;
    timeAxis_ = nullptr;
    hoursAxis_ = nullptr;
    QChart* chart = ChartView->chart();
    chart->removeAllSeries(); // deletes them
    // Removing an axis hands it back rather than deleting it.
    for (QAbstractAxis* axis : chart->axes()) {
        chart->removeAxis(axis);
        const std::unique_ptr<QAbstractAxis> removed(axis);
    }
    timeLabels_.clear();
    hoursLabels_.clear();

    auto* bars = new QBarSet(QStringLiteral("Flight time"));
    highestHours_ = 0;
    for (double hours : series.hours) {
        *bars << hours;
        highestHours_ = std::max(highestHours_, hours);
    }
    auto* barSeries = new QBarSeries;
    barSeries->append(bars);
    chart->addSeries(barSeries);
    connect(barSeries, &QBarSeries::hovered, this,
        [this](bool entered, int index, QBarSet*) { barHovered(entered, index); });

    // Bar i stands at i; the labels are placed under the bars that carry one.
    timeAxis_ = new QCategoryAxis;
    const auto count = static_cast<double>(std::max<std::size_t>(series.hours.size(), 1));
    timeAxis_->setRange(-0.5, count - 0.5);
    timeAxis_->setStartValue(-0.5);
    timeAxis_->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
    timeAxis_->setGridLineVisible(false);
    timeAxis_->setTitleText(series.yearsPerBar > 0 ? QStringLiteral("Year") : QStringLiteral("Month"));
    chart->addAxis(timeAxis_, Qt::AlignBottom);
    barSeries->attachAxis(timeAxis_);

    hoursAxis_ = new QValueAxis;
    hoursAxis_->setTitleText(QStringLiteral("Flight time (hours)"));
    chart->addAxis(hoursAxis_, Qt::AlignLeft);
    barSeries->attachAxis(hoursAxis_);
    chart->setTitle(series.title);
    labelAxes();
}

// The labels depend on the plot's size: they are chosen again whenever it
// changes, and set only when they differ.
void StatisticsWindow::labelAxes()
{
    if (!timeAxis_ || !hoursAxis_ || labelling_)
        return;
    labelling_ = true;
    const QRectF plot = ChartView->chart()->plotArea();

    const QFontMetricsF hourMetrics(hoursAxis_->labelsFont());
    const int mostIntervals = plot.height() > 0
        ? std::clamp(static_cast<int>(plot.height() / (hourMetrics.height() * kLinesPerHourLabel)), 1,
            kMostHourIntervals)
        : kFirstHourIntervals;
    const ValueAxis hours = hoursAxis(highestHours_, mostIntervals);
    if (hours.labels != hoursLabels_) {
        hoursLabels_ = hours.labels;
        hoursAxis_->setRange(0, hours.top);
        hoursAxis_->setTickCount(hours.intervals + 1);
        hoursAxis_->setLabelFormat(QStringLiteral("%.%1f").arg(hours.decimals));
    }

    const QFontMetricsF timeMetrics(timeAxis_->labelsFont());
    const double barWidth = plot.width() / static_cast<double>(std::max<std::size_t>(chart_.hours.size(), 1));
    const std::vector<AxisLabel> labels = plot.width() > 0
        ? timeAxisLabels(
            chart_, barWidth, [&](const QString& text) { return timeMetrics.horizontalAdvance(text); },
            QLocale::system())
        : std::vector<AxisLabel> {};
    if (labels != timeLabels_) {
        timeLabels_ = labels;
        for (const QString& old : timeAxis_->categoriesLabels())
            timeAxis_->remove(old);
        QHash<QString, int> seen;
        for (const AxisLabel& label : labels) {
            const int repeats = seen[label.text]++;
            timeAxis_->append(label.text + QString(repeats, QChar(kZeroWidthSpace)), label.bar);
        }
    }
    labelling_ = false;
}

void StatisticsWindow::barHovered(bool entered, int index)
{
    if (!entered || index < 0 || index >= chart_.labels.size()) {
        QToolTip::hideText();
        return;
    }
    const auto minutes = static_cast<std::int64_t>(
        std::llround(chart_.hours[static_cast<std::size_t>(index)] * kMinutesPerHour));
    QToolTip::showText(QCursor::pos(),
        chart_.labels[index] + QStringLiteral(": ") + flightTimeText(minutes, fractionMode(source_.marks())),
        ChartView);
}

void StatisticsWindow::SaveChart1Click()
{
    const QString path
        = AskSaveFileName({ FileDialogRequest::Mode::Save, QString::fromLatin1(kSaveChartTitle),
                              QStringLiteral("PNG images (*.png)"), QStringLiteral("png") },
            this);
    if (path.isEmpty())
        return;
    QBuffer png;
    png.open(QIODevice::WriteOnly);
    ChartView->grab().save(&png, "PNG");
    // The image appears under its name only when it is whole.
    AtomicFile file(path.toStdString());
    file.write(std::string_view(png.data().constData(), static_cast<std::size_t>(png.data().size())));
    file.commit();
}

void StatisticsWindow::CurrencyRules1Click()
{
    CurrencyRulesDialog dialog(
        rules_, fractionMode(source_.marks()),
        [this](const std::vector<CurrencyRule>& rules) {
            if (!source_.settingsPath.empty())
                writeCurrencyRules(source_.settingsPath, rules);
        },
        this);
    if (ExecDialog(dialog) != QDialog::Accepted)
        return;
    rules_ = dialog.rules();
    refresh();
}

void StatisticsWindow::Copy1Click()
{
    QApplication::clipboard()->setText(statisticsTabText(statistics_, source_.marks(), QLocale::system()));
}

} // namespace cvlog
