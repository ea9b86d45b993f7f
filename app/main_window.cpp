#include "app/main_window.h"

#include "app/cvlog_application.h"
#include "app/db_navigator.h"
#include "app/form_link_host.h"
#include "app/grid_flight_store.h"
#include "app/key_init_form.h"
#include "app/opening_totals_dialog.h"
#include "app/port_dialog.h"
#include "app/record_panel_grid.h"
#include "app/report_form.h"
#include "app/scripting/status_trace.h"
#include "app/statistics_window.h"
#include "app/status_form.h"
#include "app/wait_cursor.h"
#include "link/comm.h"
#include "link/link_driver.h"
#include "link/usb_bridge.h"
#include "logstore/atomic_file.h"
#include "logstore/conversions.h"
#include "logstore/file_names.h"
#include "logstore/log_history.h"
#include "output/text_export.h"
#include "presentation/field_text.h"
#include "settings/ini_file.h"
#include "settings/settings.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QDateEdit>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenuBar>
#include <QRegularExpression>
#include <QShowEvent>
#include <QStatusBar>
#include <QTimer>

#include <cstdio>
#include <system_error>

namespace cvlog
{

namespace
{

constexpr QPoint kDesignedPosition { 193, 160 };
constexpr QSize kDesignedSize { 697, 494 };
constexpr int kDesignedFontPoints = 8;
constexpr int kTimerInterval = 200; // ms: the link polls the device this often
constexpr int kStatusPanel0Width = 90;
constexpr int kStripGap = 3;
constexpr int kControlRow = 16;
constexpr int kLineEditPadding = 10; // frame and text margins

// One column of the top strip: a label above a control.
struct StripColumn {
    QLabel* label;
    int labelLeft;
    QWidget* control;
    int controlLeft;
    int controlWidth;
    int neededWidth; // what its text needs in the desktop's font
};

// Keeps the designed places, moving a column to the right only when the
// one before it had to grow to show its text in the desktop's font.
int arrangeStrip(const std::vector<StripColumn>& columns)
{
    int shift = 0;
    int right = 0;
    for (const StripColumn& c : columns) {
        const int designedLeft = c.label ? std::min(c.labelLeft, c.controlLeft) : c.controlLeft;
        shift = std::max(shift, right + kStripGap - designedLeft);
        const int controlWidth = std::max(c.controlWidth, c.neededWidth);
        c.control->setGeometry(
            c.controlLeft + shift, kControlRow, controlWidth, c.control->sizeHint().height());
        right = c.control->geometry().right() + 1;
        if (c.label) {
            c.label->setGeometry(
                c.labelLeft + shift, 0, c.label->sizeHint().width(), c.label->sizeHint().height());
            right = std::max(right, c.label->geometry().right() + 1);
        }
    }
    return right;
}

} // namespace

TForm1::TForm1(StartupOptions options, QWidget* parent)
    : QMainWindow(parent)
    , options_(std::move(options))
    , usb_(std::make_unique<UsbBridge>())
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QString::fromLatin1(kCaption));
    QFont designed = QApplication::font();
    designed.setPointSize(kDesignedFontPoints);
    setFont(designed);

    buildMenus();
    buildControls();
    move(kDesignedPosition);
    resize(kDesignedSize.expandedTo(minimumSizeHint()));

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(kTimerInterval);
    connect(Timer1, &QTimer::timeout, this, Guarded(this, &TForm1::Timer1Timer));

    // The record edits show and read the fields in the units of the check
    // marks, read afresh for every text and every key.
    for (LogField field : kLogFields)
        DBCtrlGrid1->setFieldBinding(field, fieldTextBinding(field, [this] { return displayMarks(); }));
    Dbf1.setListener([this](DbfTable::Change change) { DataSource1DataChange(change); });
    DBCtrlGrid1->setTable(&Dbf1);
    DBNavigator1->setTable(&Dbf1);
    DBNavigator1->setBeforeAction([this] { DBCtrlGrid1->handOverEdits(); });

    buildLink();
    FormCreate();
    Timer1->start();
}

TForm1::~TForm1()
{
    // The link goes before the channel that feeds it.
    Comm1.onDataArrived = nullptr;
    Comm1.onReopened = nullptr;
    Comm1.close();
    Dbf1.setListener({});
    DBCtrlGrid1->setTable(nullptr);
    DBNavigator1->setTable(nullptr);
}

void TForm1::setForms(TStatus* status, TForm3* report, TForm4* port, TForm5* keyInit)
{
    status_ = status;
    form3_ = report;
    form4_ = port;
    form5_ = keyInit;
    if (form5_)
        connect(form5_->Edit1, &QLineEdit::textChanged, this, Guarded(this, &TForm1::Edit1Change));
}

void TForm1::buildLink()
{
    linkHost_ = std::make_unique<FormLinkHost>(*this);
    flightStore_ = std::make_unique<GridFlightStore>(Dbf1, history_.get());
    linkDriver_ = std::make_unique<LinkDriver>(link, *linkHost_, Comm1, *usb_, *flightStore_);

    // The device behind "COM<n>" is looked up in the settings at every
    // opening, so a [Ports] line edited while the program runs counts.
    Comm1.setDeviceResolver([this](const QString& name) {
        static const QRegularExpression comName(
            QStringLiteral("^COM([1-8])$"), QRegularExpression::CaseInsensitiveOption);
        const auto match = comName.match(name);
        if (!match.hasMatch())
            return SerialChannel::defaultDevicePath(name);
        return portDevicePath(settingsPath(), match.captured(1).toInt());
    });
    Comm1.onDataArrived = [this](SerialChannel*, int count) { linkDriver_->dataArrived(count); };
    Comm1.onReopened = [this](SerialChannel*) { Comm1Reopened(); };
}

void TForm1::buildMenus()
{
    auto item = [this](QMenu* menu, QAction*& action, const char* name, const char* caption, auto handler) {
        action = menu->addAction(QString::fromLatin1(caption));
        action->setObjectName(QString::fromLatin1(name));
        if (handler)
            connect(action, &QAction::triggered, this, Guarded(this, handler));
    };
    using Handler = void (TForm1::*)();

    File1 = menuBar()->addMenu(QStringLiteral("&File"));
    File1->setObjectName(QStringLiteral("File1"));
    item(File1, ImportFlights1, "ImportFlights1", "&Import flights...", &TForm1::ImportFlights1Click);
    ImportFlights1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_I));
    item(File1, SaveasTextfile1, "SaveasTextfile1", "&Save as Textfile", &TForm1::SaveasTextfile1Click);
    item(File1, Saveascommadelimitedtextfile1, "Saveascommadelimitedtextfile1",
        "Save as &comma delimited textfile", &TForm1::Saveascommadelimitedtextfile1Click);
    item(File1, Print1, "Print1", "&Print / print preview", &TForm1::Print1Click);
    File1->addSeparator();
    item(File1, Exit1, "Exit1", "&Exit", Handler(nullptr));
    // Closing runs the shutdown, as closing the window does.
    connect(Exit1, &QAction::triggered, this, &QWidget::close);

    buildEditMenu();

    Database1 = menuBar()->addMenu(QStringLiteral("&Database"));
    Database1->setObjectName(QStringLiteral("Database1"));
    item(Database1, Wipedatabase1, "Wipedatabase1", "&Wipe database", &TForm1::Wipedatabase1Click);
    item(Database1, Compactdatabse1, "Compactdatabse1", "&Compact database", &TForm1::Compactdatabse1Click);
    item(Database1, N1, "N1", "&Backup database", &TForm1::N1Click);
    item(
        Database1, Restoredatabase1, "Restoredatabase1", "&Restore database", &TForm1::Restoredatabase1Click);

    Setup1 = menuBar()->addMenu(QStringLiteral("&Setup"));
    Setup1->setObjectName(QStringLiteral("Setup1"));
    item(Setup1, Communicationsport1, "Communicationsport1", "&Communications port",
        &TForm1::Communicationsport1Click);
    item(Setup1, Metricunits1, "Metricunits1", "(&1) Units Meters,kmh", &TForm1::Metricunits1Click);
    item(Setup1, N2Unitsfeetmph1, "N2Unitsfeetmph1", "(&2) Units feet,mph", &TForm1::N2Unitsfeetmph1Click);
    item(Setup1, N3Unitsfeetnm1, "N3Unitsfeetnm1", "(&3) Units feet,knots", &TForm1::N3Unitsfeetnm1Click);
    item(Setup1, a1, "a1", "(&a) Hour fractions are minutes", &TForm1::a1Click);
    item(Setup1, bHourfractionsaredecimals1, "bHourfractionsaredecimals1", "(&b) Hour fractions are decimals",
        &TForm1::bHourfractionsaredecimals1Click);
    // Beyond the designed menus: the report's page totals and what they
    // bring forward from before the log.
    Setup1->addSeparator();
    item(Setup1, Pagetotals1, "Pagetotals1", "&Page totals in report", &TForm1::Pagetotals1Click);
    Pagetotals1->setCheckable(true);
    item(Setup1, Openingtotals1, "Openingtotals1", "&Opening totals...", &TForm1::Openingtotals1Click);
    Setup1->addSeparator();
    item(Setup1, Initializedownloadkey1, "Initializedownloadkey1", "&Initialize download key",
        &TForm1::Initializedownloadkey1Click);
    // Beyond the designed menus: a download that repairs a log with a gap.
    item(Setup1, Downloadallflights1, "Downloadallflights1", "&Download all flights",
        &TForm1::Downloadallflights1Click);

    // Beyond the designed menus: the statistics window.
    View1 = menuBar()->addMenu(QStringLiteral("&View"));
    View1->setObjectName(QStringLiteral("View1"));
    item(View1, Statistics1, "Statistics1", "&Statistics", &TForm1::Statistics1Click);
    Statistics1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_T));

    for (QAction* mark : markActions())
        mark->setCheckable(true);
    setDisplayMarks(DisplayMarks {});
}

std::array<QAction*, 5> TForm1::markActions() const
{
    return { Metricunits1, N2Unitsfeetmph1, N3Unitsfeetnm1, a1, bHourfractionsaredecimals1 };
}

void TForm1::buildControls()
{
    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("Client"));
    setCentralWidget(client);

    DBNavigator1 = new DBNavigator(client);
    DBNavigator1->setGeometry(8, 0, 234, 41);

    CheckBox1 = new QCheckBox(QStringLiteral("Filter dates"), client);
    CheckBox1->setObjectName(QStringLiteral("CheckBox1"));
    CheckBox1->setChecked(false);
    connect(CheckBox1, &QCheckBox::clicked, this, Guarded(this, &TForm1::CheckBox1Click));

    auto label = [client](const char* name, const char* caption) {
        auto* l = new QLabel(QString::fromLatin1(caption), client);
        l->setObjectName(QString::fromLatin1(name));
        return l;
    };
    LabelDateFrom = label("LabelDateFrom", "Filter date from");
    LabelDateTo = label("LabelDateTo", "Filter date to");
    LabelTimeTotal = label("LabelTimeTotal", "Time total");

    const QString shortFormat = QLocale::system().dateFormat(QLocale::ShortFormat);
    auto picker = [client, &shortFormat](const char* name) {
        auto* d = new QDateEdit(client);
        d->setObjectName(QString::fromLatin1(name));
        d->setCalendarPopup(true);
        d->setDisplayFormat(shortFormat);
        return d;
    };
    DateFrom = picker("DateFrom");
    DateTo = picker("DateTo");
    connect(DateFrom, &QDateEdit::dateChanged, this, Guarded(this, &TForm1::DateFromChange));
    connect(DateTo, &QDateEdit::dateChanged, this, Guarded(this, &TForm1::DateToChange));

    Edit1 = new QLineEdit(client);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    Edit1->setReadOnly(true);

    // A line edit's own size hint is a guess; the total needs room for a long time.
    const int totalWidth
        = Edit1->fontMetrics().horizontalAdvance(QStringLiteral("00000:00")) + kLineEditPadding;
    const int stripRight = arrangeStrip({
        { nullptr, 0, CheckBox1, 336, 80, CheckBox1->sizeHint().width() },
        { LabelDateFrom, 419, DateFrom, 416, 89, DateFrom->sizeHint().width() },
        { LabelDateTo, 512, DateTo, 512, 89, DateTo->sizeHint().width() },
        { LabelTimeTotal, 616, Edit1, 608, 57, totalWidth },
    });

    DBCtrlGrid1 = new RecordPanelGrid(client);
    DBCtrlGrid1->move(8, 40);

    client->setMinimumSize(
        std::max(stripRight, DBCtrlGrid1->geometry().right()) + 8, DBCtrlGrid1->geometry().bottom() + 1);

    StatusBar1 = new QStatusBar(this);
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    StatusBar1->setSizeGripEnabled(false);
    setStatusBar(StatusBar1);
    StatusPanel0 = new QLabel(QStringLiteral("Connect status:"), StatusBar1);
    StatusPanel0->setObjectName(QStringLiteral("StatusPanel0"));
    StatusPanel0->setMinimumWidth(std::max(kStatusPanel0Width, StatusPanel0->sizeHint().width()));
    StatusPanel1 = new QLabel(StatusBar1);
    StatusPanel1->setObjectName(QStringLiteral("StatusPanel1"));
    StatusBar1->addWidget(StatusPanel0);
    StatusBar1->addWidget(StatusPanel1, 1);
}

std::filesystem::path TForm1::tablePath() const
{
    return findIgnoringCase(options_.dataDirectory / kTableFileName);
}

std::filesystem::path TForm1::settingsPath() const
{
    return findIgnoringCase(options_.dataDirectory / kSettingsFileName);
}

void TForm1::FormCreate()
{
    // The steps depend on each other: after a failure the rest is skipped and
    // the window opens with what was done.
    try {
        firstShow = true;
        // What a command killed half-way left beside the log goes first.
        removeLeftoverTemporaries(tablePath().parent_path());
        SetLogTableFile(tablePath());
        createTableIfMissing();
        // A log that is a link gets its new versions beside the file it
        // names, in a folder of the user's: only the log's own go there.
        const std::filesystem::path linked = followLinks(tablePath());
        removeLeftoverTemporaries(linked.parent_path(), linked.filename().string());
        linkDriver_->resetReceiver();
        loadSettings();
        Dbf1.open();
        if (!Dbf1.writeRefusal().empty())
            ShowErrorMessage(QString::fromStdString(Dbf1.writeRefusal()), this);
        Comm1.setDeviceName(QStringLiteral("COM%1").arg(link.portNumber));
        link.deviceAddress = kSearchAddress;
        link.usbActive = false;
        usb_->load(options_.libraryDirectories);
        probeUsb(link, *usb_);
        showLinkStatus(0);
    } catch (const std::exception& error) {
        ReportError(error);
    }
}

void TForm1::createTableIfMissing()
{
    const std::filesystem::path path = tablePath();
    Dbf1.setPath(path);
    std::error_code ec;
    if (std::filesystem::exists(path, ec))
        return;
    Dbf1.create(logTableFields());
}

void TForm1::loadSettings()
{
    const Settings settings = readSettings(settingsPath(), dayNumberOf(options_.today));
    auto pickerDate = [this](std::int32_t dayNumber) {
        // A day the pickers cannot show is read as today.
        const QDate date = dateFromDayNumber(dayNumber);
        if (!date.isValid() || date < DateFrom->minimumDate() || date > DateFrom->maximumDate())
            return options_.today;
        return date;
    };
    DateFrom->setDate(pickerDate(settings.fromDate));
    DateTo->setDate(pickerDate(settings.toDate));
    link.portNumber
        = static_cast<std::uint8_t>(rangeOrDefault(settings.port, kFirstPort, kLastPort, kFirstPort));
    setDisplayMarks(DisplayMarks::fromArray(settings.marks));
    Pagetotals1->setChecked(readPageTotals(settingsPath()));
    openingTotals_ = readOpeningTotals(settingsPath());
}

void TForm1::saveSettings()
{
    Settings settings;
    settings.fromDate = dayNumberOf(DateFrom->date());
    settings.toDate = dayNumberOf(DateTo->date());
    settings.port = link.portNumber;
    settings.marks = marks_.toArray();
    writeSettings(settingsPath(), settings);
}

void TForm1::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    if (!event->spontaneous())
        FormShow();
}

void TForm1::FormShow()
{
    if (!firstShow)
        return;
    firstShow = false;
    if (!link.usbActive) {
        try {
            openSerialPort();
        } catch (const SerialChannelError&) {
            // The dialog opens once the window is up, as from its menu command.
            QTimer::singleShot(0, this, Guarded(this, &TForm1::Communicationsport1Click));
            return;
        }
    }
    link.portReady = true;
    showLinkStatus(0);
    link.linkUp = false;
}

void TForm1::closeEvent(QCloseEvent* event)
{
    if (!FormCloseQuery()) {
        event->ignore();
        return;
    }
    Timer1->stop();
    // An open preview would keep the program alive after its window.
    if (form3_)
        form3_->LogPrint.closePreview();
    if (statistics_)
        statistics_->close();
    event->accept();
}

bool TForm1::FormCloseQuery()
{
    shutdownFailed_ = false;
    // What the user typed is kept before anything closes. A value refused at
    // an Exit keeps the window open with the edit in place, to be put right
    // or cancelled; a signal has nobody to ask, so the row is dropped.
    try {
        DBCtrlGrid1->finishEdit();
    } catch (const std::exception& error) {
        if (!unattendedClose_) {
            ReportError(error);
            return false;
        }
        std::fprintf(stderr, "The edit of the current row was dropped: %s\n",
            errorText(QString::fromUtf8(error.what())).toLocal8Bit().constData());
    }
    // Each step goes on after a failure of the one before: the settings do
    // not depend on the table, and the rows are on disk already.
    try {
        closeSerialPort();
    } catch (const std::exception& error) {
        reportShutdownError(error);
    }
    try {
        if (Dbf1.isOpen())
            Dbf1.close();
    } catch (const std::exception& error) {
        reportShutdownError(error);
    }
    // Settings that cannot be written are said once; the window closes all
    // the same, since the log is closed already and a second Exit could only
    // fail again.
    try {
        saveSettings();
    } catch (const std::exception& error) {
        reportShutdownError(error);
    }
    return true;
}

void TForm1::reportShutdownError(const std::exception& error)
{
    shutdownFailed_ = true;
    if (unattendedClose_) {
        std::fprintf(stderr, "%s\n", errorText(QString::fromUtf8(error.what())).toLocal8Bit().constData());
        return;
    }
    ReportError(error);
}

bool TForm1::closeForSignal()
{
    unattendedClose_ = true;
    close();
    unattendedClose_ = false;
    return !shutdownFailed_;
}

void TForm1::DataSource1DataChange(DbfTable::Change change)
{
    DBCtrlGrid1->tableChanged(change);
    DBNavigator1->updateButtons();
    // Rows written, deleted or read again (a download, an edit, the filter,
    // the modes) change the figures; moving and typing do not.
    if (statistics_ && change != DbfTable::Change::Moved && change != DbfTable::Change::Values)
        statistics_->scheduleRefresh();
}

void TForm1::Statistics1Click()
{
    if (!statistics_) {
        statistics_ = std::make_unique<StatisticsWindow>(StatisticsWindow::Source {
            [this](const std::vector<CurrencyRule>& rules) {
                // The rows the grid shows: the filter's period while it applies.
                StatisticsParameters parameters;
                parameters.today = options_.clock();
                parameters.currencyRules = rules;
                parameters.openingTotals = openingTotals_;
                if (dateFilter_.isOn() && Dbf1.isFiltered())
                    parameters.period = DatePeriod(DateFrom->date(), DateTo->date());
                return computeFlightStatistics(Dbf1, parameters);
            },
            [this] { return displayMarks(); },
            settingsPath(),
        });
    }
    statistics_->show();
    statistics_->raise();
    statistics_->activateWindow();
}

void TForm1::showLinkStatus(int mode)
{
    linkDriver_->showLinkStatus(mode);
}

void TForm1::setLinkText(const QString& text)
{
    StatusPanel1->setText(text);
    TraceLinkText(text);
}

void TForm1::showStatusPopup(const QString& text)
{
    TracePopupText(text);
    if (status_)
        status_->showStatusPopup(text);
}

void TForm1::openSerialPort()
{
    Comm1.open();
}

void TForm1::closeSerialPort()
{
    Comm1.close();
}

void TForm1::Comm1Reopened()
{
    linkDriver_->portReopened();
}

void TForm1::Edit1Change(const QString& text)
{
    linkDriver_->keyTextChanged(text);
}

void TForm1::Timer1Timer()
{
    linkDriver_->tick();
    // Between events no change is half-written: a command copying the log
    // beside the window may go on.
    Dbf1.releaseWriteLock();
}

void TForm1::SaveasTextfile1Click()
{
    exportText(kTextSeparator);
}

void TForm1::Saveascommadelimitedtextfile1Click()
{
    exportText(kCommaSeparator);
}

void TForm1::exportText(char separator)
{
    DBCtrlGrid1->finishEdit();
    const QString path
        = AskSaveFileName({ FileDialogRequest::Mode::Save, QStringLiteral("Enter name of file to save to"),
                              QStringLiteral("text files (*.txt)"), QStringLiteral("txt") },
            this);
    if (path.isEmpty())
        return;
    const auto wait = ShowWaitCursor();
    exportVisibleRows(Dbf1, path.toStdString(), separator, QLocale::system());
}

void TForm1::Print1Click()
{
    if (!form3_)
        return;
    // The report reads the file: what the grid shows, typed texts included.
    DBCtrlGrid1->finishEdit();
    form3_->Print({ Dbf1.path(), Dbf1.isFiltered(), [this] { return CheckBox1->isChecked(); },
                      [this] { return reportSettings(); }, [this] { return openingTotals_; } },
        this);
}

ReportSettings TForm1::reportSettings() const
{
    return { DateFrom->date(), DateTo->date(), fractionMode(marks_), QDateTime::currentDateTime(),
        QLocale::system(), Pagetotals1->isChecked() };
}

void TForm1::Pagetotals1Click()
{
    // Kept at once: the command line's report reads it from the settings too.
    const bool on = Pagetotals1->isChecked();
    try {
        writePageTotals(settingsPath(), on);
    } catch (...) {
        Pagetotals1->setChecked(!on);
        throw;
    }
}

void TForm1::Openingtotals1Click()
{
    DBCtrlGrid1->finishEdit();
    StatisticsParameters whole;
    // The dialog shows what the file holds now, whoever wrote it.
    openingTotals_ = readOpeningTotals(settingsPath());
    OpeningTotalsDialog dialog({ fractionMode(marks_), options_.clock(),
                                   computeFlightStatistics(Dbf1, whole).summary.firstDate, openingTotals_ },
        this);
    if (ExecDialog(dialog) != QDialog::Accepted)
        return;
    writeOpeningTotals(settingsPath(), dialog.totals());
    openingTotals_ = dialog.totals();
    if (statistics_)
        statistics_->scheduleRefresh();
}
void TForm1::Initializedownloadkey1Click()
{
    if (form5_)
        form5_->show();
}

void TForm1::Downloadallflights1Click()
{
    linkDriver_->downloadAllFlights();
}

DisplayMarks TForm1::displayMarks() const
{
    return marks_;
}

void TForm1::setDisplayMarks(const DisplayMarks& marks)
{
    marks_ = marks;
    const std::array<bool, 5> on = marks_.toArray();
    for (std::size_t i = 0; i < on.size(); ++i)
        markActions()[i]->setChecked(on[i]);
}

void TForm1::selectMarks(DisplayMarks (*select)(DisplayMarks))
{
    // The item has already toggled its own mark; the marks change only below,
    // after a text typed in the old units has been read in them.
    setDisplayMarks(marks_);
    DBCtrlGrid1->finishEdit();
    setDisplayMarks(select(marks_));
    Dbf1.refresh();
}

void TForm1::Metricunits1Click()
{
    selectMarks(selectMetricUnits);
}
void TForm1::N2Unitsfeetmph1Click()
{
    selectMarks(selectFeetMph);
}
void TForm1::N3Unitsfeetnm1Click()
{
    selectMarks(selectFeetKnots);
}
void TForm1::a1Click()
{
    selectMarks(selectMinuteFractions);
}
void TForm1::bHourfractionsaredecimals1Click()
{
    selectMarks(selectDecimalFractions);
}

} // namespace cvlog
