#include "cli/log_commands.h"

#include "cli/program_folders.h"
#include "logstore/atomic_file.h"
#include "logstore/date_period.h"
#include "logstore/file_error.h"
#include "logstore/file_names.h"
#include "logstore/flight_log.h"
#include "logstore/instance_guard.h"
#include "logstore/log_maintenance.h"
#include "logstore/table_lock.h"
#include "logstore/unique_fd.h"
#include "output/report_layout.h"
#include "output/report_painter.h"
#include "output/text_export.h"
#include "presentation/statistics_texts.h"
#include "settings/settings.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QTemporaryDir>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <optional>
#include <stdexcept>

namespace cvlog
{

namespace
{

namespace fs = std::filesystem;

// The widest period the window's date pickers can be set to: a side the
// command line leaves open reaches as far.
const QDate kEarliestPickerDate(1752, 9, 14);
const QDate kLatestPickerDate(9999, 12, 31);

// How long a copy of the log waits for the window to finish writing it.
constexpr std::chrono::seconds kPatience(10);

void say(const QString& text)
{
    std::fprintf(stderr, "cvlog: %s\n", text.toUtf8().constData());
}

void say(const char* text)
{
    say(QString::fromUtf8(text));
}

// What the window shows in its error box.
void sayError(const char* text)
{
    say(errorText(QString::fromUtf8(text)));
}

class LogCommandRunner
{
public:
    // Paths are made absolute first, as the window's file dialogs give
    // them: "cvlog.DBF" in the data folder is the log by any route.
    LogCommandRunner(const CommandLine& commandLine, const fs::path& dataDirectory, fs::path programFile)
        : command_(commandLine)
        , file_(commandLine.file.empty() ? fs::path() : fs::absolute(commandLine.file))
        , dataDirectory_(fs::absolute(dataDirectory))
        , table_(findIgnoringCase(dataDirectory_ / kTableFileName))
        , programFile_(std::move(programFile))
    {
    }

    int run()
    {
        switch (command_.command) {
        case LogCommand::Export:
            return exportFlights();
        case LogCommand::Report:
            return writeReport();
        case LogCommand::Backup:
            return backup();
        case LogCommand::Restore:
            return restore();
        case LogCommand::Stats:
            return printStatistics();
        }
        return kExitUsage;
    }

private:
    bool tableExists() const
    {
        std::error_code ec;
        return fs::exists(table_, ec);
    }

    // The window refuses these targets in its file dialogs.
    bool refusesTarget() const
    {
        if (!isTheLogsOwnFile(file_, table_) && !namesTheSameFile(file_, programFile_))
            return false;
        say("File cannot be saved to itself, please choose a new name.");
        return true;
    }

    // The log for a command that only reads. The window may be writing it:
    // the command works on a private copy made while no write is under way.
    bool openForReading(FlightLog& log)
    {
        if (!tableExists()) {
            say(QStringLiteral("Your %1 file does not exist.").arg(QString::fromLatin1(kTableFileName)));
            return false;
        }
        const fs::path snapshot = privateCopy();
        log.setPath(snapshot);
        log.open(DbfTable::Access::ReadOnly);
        // As the window warns at its start; what can be read is still used.
        if (!log.damage().empty())
            say(QString::fromStdString(damagedFileText(table_, log.damage())));
        // The open view reads the copy through its own descriptor: without a
        // name, the copy goes with the command however it ends, even killed.
        snapshotFolder_.reset();
        return true;
    }

    // A copy of the log in a folder of the command's own. The window's
    // writes wait while the log is copied, so the copy is made on the
    // temporary folder's disk, never straight to a slow or stuck target.
    fs::path privateCopy()
    {
        snapshotFolder_.emplace();
        if (!snapshotFolder_->isValid())
            throw FileError(EACCES);
        const fs::path snapshot = fs::path(snapshotFolder_->path().toStdString()) / kTableFileName;
        copyWhole(table_, snapshot);
        return snapshot;
    }

    // The log as no write of the window's is half-way: the window lets a
    // copy in between its changes, at least five times a second.
    static void copyWhole(const fs::path& table, const fs::path& copy)
    {
        const TableReadLock lock(table, kPatience);
        if (lock.busy())
            throw std::runtime_error("The log is being written in the window. Try again");
        copyWholeFile(table, copy);
    }

    bool periodGiven() const { return command_.from.isValid() || command_.to.isValid(); }

    DatePeriod period() const
    {
        return { command_.from.isValid() ? command_.from : kEarliestPickerDate,
            command_.to.isValid() ? command_.to : kLatestPickerDate };
    }

    // The view narrowed as the window's date filter narrows it.
    void filterByPeriod(FlightLog& log, const DatePeriod& days) const
    {
        if (!periodGiven())
            return;
        log.setFilterPredicate([&log, days](const DbfRecord& row) {
            return days.contains(log.flight(row).dayNumber(kTakeoffDate));
        });
        log.setFiltered(true);
    }

    fs::path settingsPath() const { return findIgnoringCase(dataDirectory_ / kSettingsFileName); }

    Settings settings() const { return readSettings(settingsPath(), dayNumberOf(QDate::currentDate())); }

    // The flights of the period for a command that writes them to a file;
    // false after saying why there are none to write.
    bool openForOutput(FlightLog& log, const DatePeriod& days)
    {
        if (refusesTarget() || !openForReading(log))
            return false;
        filterByPeriod(log, days);
        return true;
    }

    int exportFlights()
    {
        FlightLog log;
        const DatePeriod days = period();
        if (!openForOutput(log, days))
            return kExitFailed;
        exportVisibleRows(log, file_, command_.csv ? kCommaSeparator : kTextSeparator, QLocale::system());
        return kExitDone;
    }

    int writeReport()
    {
        FlightLog log;
        const DatePeriod days = period();
        if (!openForOutput(log, days))
            return kExitFailed;
        const Settings saved = settings();
        ReportSettings report;
        if (periodGiven()) {
            report.from = days.from();
            report.to = days.to();
        } else {
            // The pickers as the window opens with them: a day they cannot
            // show reads as today.
            auto pickerDate = [](std::int32_t dayNumber) {
                const QDate date = dateFromDayNumber(dayNumber);
                if (!date.isValid() || date < kEarliestPickerDate || date > kLatestPickerDate)
                    return QDate::currentDate();
                return date;
            };
            report.from = pickerDate(saved.fromDate);
            report.to = pickerDate(saved.toDate);
        }
        report.fraction = fractionMode(DisplayMarks::fromArray(saved.marks));
        report.printedAt = QDateTime::currentDateTime();
        report.locale = QLocale::system();
        report.pageTotals = readPageTotals(settingsPath());
        if (report.pageTotals) {
            report.broughtForward = reportBroughtForward(
                log, readOpeningTotals(settingsPath()), periodGiven() ? std::optional(days) : std::nullopt);
        }
        TableReportRows rows(log);
        const ReportLayout layout = layOutReport(rows, report);
        writeReportPdf(file_, [&](QPagedPaintDevice& pdf) { return paintReport(pdf, layout, rows); });
        return kExitDone;
    }

    int backup()
    {
        if (!tableExists()) {
            say(QStringLiteral("Your %1 file does not exist. Cannot backup.")
                    .arg(QString::fromLatin1(kTableFileName)));
            return kExitFailed;
        }
        if (refusesTarget())
            return kExitFailed;
        const UniqueFd copy = openPlainFileForReading(privateCopy());
        snapshotFolder_.reset();
        AtomicFile target(file_);
        target.writeFrom(copy.get());
        target.commit();
        return kExitDone;
    }

    int restore() const
    {
        if (isTheTableFile(file_, table_)) {
            say("File cannot be restored to itself, please choose a new name.");
            return kExitFailed;
        }
        // The window holds the data folder's lock while it runs; held here,
        // it also keeps a window from starting until the log is replaced.
        InstanceGuard guard;
        if (!guard.acquire(dataDirectory_)) {
            say("The log is open in the window. Close the window to restore the database.");
            return kExitFailed;
        }
        FlightLog log;
        log.setPath(table_);
        const bool newFolder = !tableExists();
        if (!newFolder)
            log.open();
        DbfTable source;
        try {
            restoreLog(log, source, file_);
        } catch (...) {
            // Nothing changed: a folder that had no log still has none,
            // rather than an empty one the restore would have replaced.
            if (newFolder) {
                log.close();
                std::error_code ec;
                fs::remove(findIgnoringCase(table_), ec);
            }
            throw;
        }
        return kExitDone;
    }

    int printStatistics()
    {
        FlightLog log;
        if (!openForReading(log))
            return kExitFailed;
        StatisticsParameters parameters;
        parameters.today = QDate::currentDate();
        parameters.currencyRules = readCurrencyRules(settingsPath());
        parameters.openingTotals = readOpeningTotals(settingsPath());
        if (periodGiven())
            parameters.period = period();
        const FlightStatistics statistics = computeFlightStatistics(log, parameters);
        const QString text = command_.json
            ? QString::fromUtf8(statisticsJson(statistics))
            : statisticsTabText(statistics, DisplayMarks::fromArray(settings().marks), QLocale::system());
        // Figures lost on a full disk or a closed pipe are a failure, not a success.
        if (std::fputs(text.toUtf8().constData(), stdout) < 0 || std::fflush(stdout) != 0)
            throw FileError(errno);
        return kExitDone;
    }

    static QByteArray statisticsJson(const FlightStatistics& statistics);

    const CommandLine& command_;
    std::optional<QTemporaryDir> snapshotFolder_;
    fs::path file_;
    fs::path dataDirectory_;
    fs::path table_;
    fs::path programFile_;
};

QJsonValue dateValue(const QDate& date)
{
    return date.isValid() ? QJsonValue(date.toString(Qt::ISODate)) : QJsonValue();
}

QJsonObject tallyObject(const FlightTally& tally)
{
    return { { "flights", static_cast<qint64>(tally.flights) },
        { "minutes", static_cast<qint64>(tally.minutes) } };
}

// One object a tally, with the keys that name it.
template <typename Tallies, typename Name> QJsonArray tallyArray(const Tallies& tallies, Name name)
{
    QJsonArray array;
    for (const auto& tallied : tallies) {
        QJsonObject entry = tallyObject(tallied.tally);
        name(tallied, entry);
        array.append(entry);
    }
    return array;
}

QByteArray LogCommandRunner::statisticsJson(const FlightStatistics& statistics)
{
    QJsonObject root;
    root["today"] = dateValue(statistics.today);
    root["period"] = statistics.period
        ? QJsonValue(QJsonObject {
            { "from", dateValue(statistics.period->from()) }, { "to", dateValue(statistics.period->to()) } })
        : QJsonValue();
    const StatisticsSummary& s = statistics.summary;
    root["summary"] = QJsonObject {
        { "flights", static_cast<qint64>(s.flights) },
        { "totalMinutes", static_cast<qint64>(s.totalMinutes) },
        { "averageMinutes", static_cast<qint64>(s.averageMinutes) },
        { "longestMinutes", s.longestMinutes },
        { "highestFeet", s.highestFeet },
        { "highestMph", s.highestMph },
        { "firstDate", dateValue(s.firstDate) },
        { "lastDate", dateValue(s.lastDate) },
        { "undatedFlights", static_cast<qint64>(s.undatedFlights) },
    };
    root["recent"] = QJsonObject {
        { "last90Days", tallyObject(statistics.recent.last90Days) },
        { "last12Months", tallyObject(statistics.recent.last12Months) },
        { "last24Months", tallyObject(statistics.recent.last24Months) },
    };
    root["years"] = tallyArray(
        statistics.years, [](const YearTally& year, QJsonObject& entry) { entry["year"] = year.year; });
    root["months"] = tallyArray(statistics.months, [](const MonthTally& month, QJsonObject& entry) {
        entry["year"] = month.year;
        entry["month"] = month.month;
    });
    root["instruments"] = tallyArray(statistics.instruments,
        [](const InstrumentTally& instrument, QJsonObject& entry) { entry["name"] = instrument.name; });
    root["students"] = tallyArray(statistics.students,
        [](const StudentTally& student, QJsonObject& entry) { entry["student"] = student.student; });
    QJsonArray currency;
    for (std::size_t i = 0; i < statistics.currency.size() && i < statistics.currencyRules.size(); ++i) {
        const CurrencyRule& rule = statistics.currencyRules[i];
        const CurrencyStanding& standing = statistics.currency[i];
        currency.append(QJsonObject {
            { "rule",
                QJsonObject { { "flights", rule.flights }, { "minutes", static_cast<qint64>(rule.minutes) },
                    { "length", rule.length },
                    { "span", rule.span == CurrencyRule::Span::Months ? "months" : "days" },
                    { "instrument",
                        rule.instrument.isEmpty() ? QJsonValue() : QJsonValue(rule.instrument) } } },
            { "flights", static_cast<qint64>(standing.flights) },
            { "minutes", static_cast<qint64>(standing.minutes) },
            { "current", standing.current },
            { "lastDay", dateValue(standing.lastDay) },
            { "flightsNeeded", static_cast<qint64>(standing.flightsNeeded) },
            { "minutesNeeded", static_cast<qint64>(standing.minutesNeeded) },
        });
    }
    root["currency"] = currency;
    return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

// A command shows nothing, so it needs no display: the report's fonts and
// painting come from the offscreen platform, which draws the same report.
// A display named but out of reach (ssh without forwarding, a session that
// ended) must not abort a script. A platform the user chose stays.
void chooseHeadlessPlatform()
{
    const char* chosen = std::getenv("QT_QPA_PLATFORM");
    if (chosen == nullptr || *chosen == '\0')
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
}

// Qt notes on stderr when a session has no runtime folder (cron, su, a
// container), which scripts read as a fault; it changes nothing here.
QtMessageHandler qtMessages = nullptr;

void passQtMessage(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (message.startsWith(QLatin1String("QStandardPaths: XDG_RUNTIME_DIR not set")))
        return;
    qtMessages(type, context, message);
}

} // namespace

int runLogCommand(int argc, char** argv, const CommandLine& commandLine)
{
    chooseHeadlessPlatform();
    qtMessages = qInstallMessageHandler(passQtMessage);
    QGuiApplication app(argc, argv);
    const ProgramFolders folders = chooseProgramFolders(
        programDirectory().toStdString(), commandLine.dataDirectory, UserFolders::fromEnvironment());
    if (const std::string problem = prepareDataFolder(folders); !problem.empty()) {
        sayError(problem.c_str());
        return kExitFailed;
    }
    try {
        return LogCommandRunner(
            commandLine, folders.data, QCoreApplication::applicationFilePath().toStdString())
            .run();
    } catch (const std::exception& error) {
        sayError(error.what());
        return kExitFailed;
    }
}

} // namespace cvlog
