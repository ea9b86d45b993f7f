#pragma once
// The main window: owner of everything that lives for the whole run — the
// log table's views, the link state and its timer, the serial port, the date
// filter controls, the menus and the status bar. Its handlers gather what the
// widgets hold, call the logic and put the results back.

#include "link/comm.h"
#include "link/link_state.h"
#include "logstore/file_names.h"
#include "logstore/flight_log.h"
#include "logstore/flight_statistics.h"
#include "output/report_layout.h"
#include "presentation/date_filter.h"
#include "presentation/field_text.h"

#include "cvlog_version.h"

#include <QDate>
#include <QMainWindow>
#include <QString>

#include <array>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QAction;
class QCheckBox;
class QDateEdit;
class QLabel;
class QLineEdit;
class QMenu;
class QStatusBar;
class QTimer;

namespace cvlog
{

class DBNavigator;
class FormLinkHost;
class GridFlightStore;
class ImportDialog;
class LinkDriver;
class LogHistory;
class RecordPanelGrid;
class TForm3;
class TForm4;
class TForm5;
class StatisticsWindow;
class TStatus;
class UsbBridge;

// What the start-up takes from the world; tests give their own.
struct StartupOptions {
    // Where the log, the settings and the lock live.
    std::filesystem::path dataDirectory;
    QDate today;
    // Today as the statistics count back from it, asked each time.
    std::function<QDate()> clock = [] { return QDate::currentDate(); };
    // Looked in for the USB bridge library, in order, before the system's search.
    std::vector<std::filesystem::path> libraryDirectories;
};

class TForm1 : public QMainWindow
{
    Q_OBJECT
public:
    static constexpr const char* kCaption = "Varnok Zozivura Corvane Flight Log version " CVLOG_VERSION;
    static constexpr const char* kTableFileName = ::cvlog::kTableFileName;
    static constexpr const char* kSettingsFileName = ::cvlog::kSettingsFileName;

    explicit TForm1(StartupOptions options, QWidget* parent = nullptr);
    ~TForm1() override;

    // The secondary forms, created after this one.
    void setForms(TStatus* status, TForm3* report, TForm4* port, TForm5* keyInit);

    // Shutdown asked for by a signal: nobody is there to answer a message,
    // so a failure is written to stderr and the window closes anyway; a
    // typed edit is posted, or dropped with a line on stderr when a field
    // refuses it. Returns whether the log and the settings were written.
    bool closeForSignal();

    void showLinkStatus(int mode);
    void showStatusPopup(const QString& text);
    // Every text of the status bar's link panel goes through here.
    void setLinkText(const QString& text);
    TForm5* keyInitForm() const { return form5_; }

    std::filesystem::path tablePath() const;
    std::filesystem::path settingsPath() const;
    QString Comm1DeviceName() const { return Comm1.deviceName(); }
    bool firstShowPending() const { return firstShow; }

    // Components, by their design names.
    FlightLog Dbf1;
    DbfTable Dbf2;
    LinkState link;
    SerialChannel Comm1;
    QTimer* Timer1 = nullptr;
    DBNavigator* DBNavigator1 = nullptr;
    RecordPanelGrid* DBCtrlGrid1 = nullptr;
    QCheckBox* CheckBox1 = nullptr;
    QLabel* LabelDateFrom = nullptr;
    QLabel* LabelDateTo = nullptr;
    QLabel* LabelTimeTotal = nullptr;
    QDateEdit* DateFrom = nullptr;
    QDateEdit* DateTo = nullptr;
    QLineEdit* Edit1 = nullptr;
    QStatusBar* StatusBar1 = nullptr;
    QLabel* StatusPanel0 = nullptr;
    QLabel* StatusPanel1 = nullptr;

    QMenu* File1 = nullptr;
    QMenu* Edit2 = nullptr; // Edit1 is the total box
    QMenu* Database1 = nullptr;
    QMenu* Setup1 = nullptr;
    QMenu* View1 = nullptr;
    QAction* ImportFlights1 = nullptr;
    QAction* SaveasTextfile1 = nullptr;
    QAction* Saveascommadelimitedtextfile1 = nullptr;
    QAction* Print1 = nullptr;
    QAction* Exit1 = nullptr;
    QAction* Undo1 = nullptr;
    QAction* Redo1 = nullptr;
    QAction* Wipedatabase1 = nullptr;
    QAction* Compactdatabse1 = nullptr;
    QAction* N1 = nullptr;
    QAction* Restoredatabase1 = nullptr;
    QAction* Communicationsport1 = nullptr;
    QAction* Metricunits1 = nullptr;
    QAction* N2Unitsfeetmph1 = nullptr;
    QAction* N3Unitsfeetnm1 = nullptr;
    QAction* a1 = nullptr;
    QAction* bHourfractionsaredecimals1 = nullptr;
    QAction* Pagetotals1 = nullptr;
    QAction* Openingtotals1 = nullptr;
    QAction* Initializedownloadkey1 = nullptr;
    QAction* Downloadallflights1 = nullptr;
    QAction* Statistics1 = nullptr;
    // The steps of this run that Undo and Redo take back and bring again.
    LogHistory& history() const { return *history_; }
    // Made when first opened, then kept for the run.
    StatisticsWindow* statisticsForm() const { return statistics_.get(); }

    // The five check marks x1..x5, in settings order.
    std::array<QAction*, 5> markActions() const;
    // The display modes; the items' check marks show them.
    DisplayMarks displayMarks() const;
    void setDisplayMarks(const DisplayMarks& marks);

public slots:
    void ImportFlights1Click();
    void SaveasTextfile1Click();
    void Saveascommadelimitedtextfile1Click();
    void Print1Click();
    void Undo1Click();
    void Redo1Click();
    void Wipedatabase1Click();
    void Compactdatabse1Click();
    void N1Click();
    void Restoredatabase1Click();
    void Communicationsport1Click();
    void Metricunits1Click();
    void N2Unitsfeetmph1Click();
    void N3Unitsfeetnm1Click();
    void a1Click();
    void bHourfractionsaredecimals1Click();
    void Pagetotals1Click();
    void Openingtotals1Click();
    void Initializedownloadkey1Click();
    void Downloadallflights1Click();
    void Statistics1Click();
    void CheckBox1Click();
    void DateFromChange();
    void DateToChange();
    void Timer1Timer();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void buildMenus();
    void buildEditMenu();
    // The Edit menu's items name the step they would take back or bring again.
    void showHistory();
    void takeHistoryStep(QString (LogHistory::*step)());
    void buildControls();
    void FormCreate();
    void FormShow();
    // Shutdown: the typed edit, port, table, settings. false when a typed
    // value is refused, which keeps the window open with the edit in place.
    bool FormCloseQuery();
    void DataSource1DataChange(DbfTable::Change change);
    void createTableIfMissing();
    void loadSettings();
    void saveSettings();
    void reportShutdownError(const std::exception& error);
    void selectMarks(DisplayMarks (*select)(DisplayMarks));
    // The date filter: its predicate on Dbf1, and its result on the pickers and the total box.
    bool installDateFilter();
    void showDateFilter(const DateFilterView& view);

    void exportText(char separator);
    // Stores the rows the import dialog accepted, as one step.
    void importFlights(ImportDialog& dialog);
    // What the printed report reads from the window at each generation.
    ReportSettings reportSettings() const;

    void buildLink();
    // Opens Comm1 on the device its name stands for in the settings.
    void openSerialPort();
    void closeSerialPort();
    void Comm1Reopened();
    void Edit1Change(const QString& text);

    StartupOptions options_;
    // What was flown before the log, read with the settings and kept here
    // when the dialog changes them: the report and the statistics read them.
    std::optional<OpeningTotals> openingTotals_;
    std::unique_ptr<UsbBridge> usb_;
    // Made with the Edit menu; outlives the link, which tells it of downloads.
    std::unique_ptr<LogHistory> history_;
    // The link's surroundings, made before FormCreate and gone before Comm1 and Dbf1.
    std::unique_ptr<FormLinkHost> linkHost_;
    std::unique_ptr<GridFlightStore> flightStore_;
    std::unique_ptr<LinkDriver> linkDriver_;
    bool firstShow = false;
    DisplayMarks marks_;
    DateFilter dateFilter_;
    // Set while the members are made, so Dbf1 never reads a row without the predicate.
    bool dateFilterInstalled_ = installDateFilter();
    bool unattendedClose_ = false;
    bool shutdownFailed_ = false;

    std::unique_ptr<StatisticsWindow> statistics_;
    TStatus* status_ = nullptr;
    TForm3* form3_ = nullptr;
    TForm4* form4_ = nullptr;
    TForm5* form5_ = nullptr;
};

} // namespace cvlog
