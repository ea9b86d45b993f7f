#pragma once
// The main window: owner of everything that lives for the whole run — the
// log table's views, the link state and its timer, the serial port, the date
// filter controls, the menus and the status bar. Its handlers gather what the
// widgets hold, call the logic and put the results back.

#include "link/link_state.h"
#include "logstore/dbf_table.h"
#include "logstore/field_presentation.h"

#include <QDate>
#include <QMainWindow>
#include <QString>

#include <array>
#include <filesystem>
#include <memory>

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
class RecordPanelGrid;
class TForm3;
class TForm4;
class TForm5;
class TStatus;
class UsbBridge;

// What the start-up takes from the world; tests give their own.
struct StartupOptions {
    QString programDirectory; // ends in "/"
    QDate today;
};

class TForm1 : public QMainWindow
{
    Q_OBJECT
public:
    static constexpr const char* kCaption = "Varnok Zozivura Corvane Flight Log version 1.5";
    static constexpr const char* kTableFileName = "CVLog.dbf";
    static constexpr const char* kSettingsFileName = "CVLog.ini";

    explicit TForm1(StartupOptions options, QWidget* parent = nullptr);
    ~TForm1() override;

    // The secondary forms, created after this one.
    void setForms(TStatus* status, TForm3* report, TForm4* port, TForm5* keyInit);

    // Shutdown asked for by a signal: nobody is there to answer a message,
    // so a failure is written to stderr and the window closes anyway.
    // Returns whether everything was written.
    bool closeForSignal();

    void ShowLinkStatus(int mode);
    void ShowStatusPopup(const QString& text);

    std::filesystem::path tablePath() const;
    std::filesystem::path settingsPath() const;
    const QString& Comm1DeviceName() const { return comm1DeviceName_; }
    bool firstShowPending() const { return firstShow; }

    // Components, by their design names.
    DbfTable Dbf1;
    DbfTable Dbf2;
    LinkState link;
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
    QMenu* Database1 = nullptr;
    QMenu* Setup1 = nullptr;
    QAction* SaveasTextfile1 = nullptr;
    QAction* Saveascommadelimitedtextfile1 = nullptr;
    QAction* Print1 = nullptr;
    QAction* Exit1 = nullptr;
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
    QAction* Initializedownloadkey1 = nullptr;

    // The five check marks x1..x5, in settings order.
    std::array<QAction*, 5> markActions() const;
    // The display modes; the items' check marks show them.
    DisplayMarks displayMarks() const;
    void setDisplayMarks(const DisplayMarks& marks);

public slots:
    void SaveasTextfile1Click();
    void Saveascommadelimitedtextfile1Click();
    void Print1Click();
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
    void Initializedownloadkey1Click();
    void CheckBox1Click();
    void DateFromChange();
    void DateToChange();
    void Timer1Timer();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void buildMenus();
    void buildControls();
    void FormCreate();
    void FormShow();
    // Shutdown: port, table, settings. false when the settings could not be
    // written, which keeps the window open.
    bool FormCloseQuery();
    void DataSource1DataChange(DbfTable::Change change);
    void createTableIfMissing();
    void loadSettings();
    void saveSettings();
    void reportShutdownError(const std::exception& error);
    void selectMarks(DisplayMarks (*select)(DisplayMarks));

    // The serial channel's seams until it is wired in: opening succeeds.
    void openSerialPort();
    void closeSerialPort();

    StartupOptions options_;
    std::unique_ptr<UsbBridge> usb_;
    QString comm1DeviceName_ = QStringLiteral("Com1");
    bool firstShow = false;
    DisplayMarks marks_;
    bool unattendedClose_ = false;
    bool shutdownFailed_ = false;

    TStatus* status_ = nullptr;
    TForm3* form3_ = nullptr;
    TForm4* form4_ = nullptr;
    TForm5* form5_ = nullptr;
};

} // namespace cvlog
