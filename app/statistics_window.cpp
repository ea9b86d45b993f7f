#include "app/statistics_window.h"

#include "app/cvlog_application.h"
#include "app/scripting/status_trace.h"
#include "logstore/atomic_file.h"

#include <QAction>
#include <QApplication>
#include <QBarCategoryAxis>
#include <QBarSeries>
#include <QBarSet>
#include <QBuffer>
#include <QChart>
#include <QChartView>
#include <QClipboard>
#include <QCursor>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <QToolTip>
#include <QVBoxLayout>
#include <QValueAxis>

#include <cmath>
#include <memory>

namespace cvlog
{

namespace
{

constexpr QSize kDesignedSize { 860, 820 };
constexpr int kChartHeight = 280;
constexpr int kRowPadding = 6;
// More bars than this stand their labels on end.
constexpr int kLevelLabels = 8;
constexpr double kMinutesPerHour = 60.0;

QTableWidget* makeTable(QWidget* parent)
{
    auto* table = new QTableWidget(parent);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionMode(QAbstractItemView::NoSelection);
    table->verticalHeader()->setVisible(false);
    table->verticalHeader()->setDefaultSectionSize(table->fontMetrics().height() + kRowPadding);
    table->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    return table;
}

void fill(QTableWidget& table, const StatisticsTable& content)
{
    table.clear();
    table.setColumnCount(static_cast<int>(content.headings.size()));
    table.setHorizontalHeaderLabels(content.headings);
    table.setRowCount(static_cast<int>(content.rows.size()));
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

    auto* tables = new QHBoxLayout;
    auto* left = new QVBoxLayout;
    auto* right = new QVBoxLayout;
    for (std::size_t i = 0; i < Tables.size(); ++i) {
        boxes_[i] = new QGroupBox(this);
        Tables[i] = makeTable(boxes_[i]);
        Tables[i]->setObjectName(QStringLiteral("Table%1").arg(i + 1));
        auto* inBox = new QVBoxLayout(boxes_[i]);
        inBox->addWidget(Tables[i]);
        // Currency stands under recent flying, the tallies on the right.
        (i < 2 || i == 5 ? left : right)->addWidget(boxes_[i]);
    }
    // The summary has the most rows.
    left->setStretch(0, 3);
    left->setStretch(1, 2);
    tables->addLayout(left);
    tables->addLayout(right);

    ChartView = new QChartView(new QChart, this);
    ChartView->setObjectName(QStringLiteral("ChartView"));
    ChartView->setRenderHint(QPainter::Antialiasing);
    ChartView->setMinimumHeight(kChartHeight);
    ChartView->chart()->legend()->hide();

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

    auto* buttons = new QHBoxLayout;
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
    layout->addLayout(tables, 1);
    layout->addWidget(ChartView, 1);
    layout->addLayout(buttons);
    resize(kDesignedSize);
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
    statistics_ = source_.compute();
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
        boxes_[i]->setVisible(tables[i].shown);
    }
    showChart(flightTimeChart(statistics_));
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
    QChart* chart = ChartView->chart();
    chart->removeAllSeries(); // deletes them
    // Removing an axis hands it back rather than deleting it.
    for (QAbstractAxis* axis : chart->axes()) {
        chart->removeAxis(axis);
        const std::unique_ptr<QAbstractAxis> removed(axis);
    }

    auto* bars = new QBarSet(QStringLiteral("Flight time"));
    double highest = 0;
    for (double hours : series.hours) {
        *bars << hours;
        highest = std::max(highest, hours);
    }
    auto* barSeries = new QBarSeries;
    barSeries->append(bars);
    chart->addSeries(barSeries);
    connect(barSeries, &QBarSeries::hovered, this,
        [this](bool entered, int index, QBarSet*) { barHovered(entered, index); });

    auto* categories = new QBarCategoryAxis;
    categories->append(series.labels);
    categories->setTitleText(series.perYear ? QStringLiteral("Year") : QStringLiteral("Month"));
    if (series.labels.size() > kLevelLabels)
        categories->setLabelsAngle(-90);
    chart->addAxis(categories, Qt::AlignBottom);
    barSeries->attachAxis(categories);

    auto* hours = new QValueAxis;
    hours->setTitleText(QStringLiteral("Flight time (hours)"));
    hours->setRange(0, highest > 0 ? highest : 1);
    hours->applyNiceNumbers();
    hours->setLabelFormat(QStringLiteral("%.0f"));
    chart->addAxis(hours, Qt::AlignLeft);
    barSeries->attachAxis(hours);
    chart->setTitle(
        series.perYear ? QStringLiteral("Flight time per year") : QStringLiteral("Flight time per month"));
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

void StatisticsWindow::Copy1Click()
{
    QApplication::clipboard()->setText(statisticsTabText(statistics_, source_.marks(), QLocale::system()));
}

} // namespace cvlog
