// Every file command of the window meets a full disk, a quota or a failing
// device at each of its write steps: each says why in the run-time library's
// words, leaves the log and its target exactly as they were and no temporary
// file behind, and the window goes on with the log open.

#include "display_test_support.h"

#include "app/db_navigator.h"
#include "app/log_report.h"
#include "app/report_form.h"
#include "app/statistics_window.h"
#include "logstore/file_error.h"
#include "logstore/file_faults.h"

#include <QDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <cerrno>
#include <functional>

namespace cvlog::test
{
namespace
{

class FileFaultTest : public DisplayTest
{
protected:
    void TearDown() override { setFileFaultHook({}); }

    // A fresh start: three flights, the second deleted, and older files of the user's.
    void restart()
    {
        form.reset();
        for (const QString& name : QDir(dir.path()).entryList(QDir::Files | QDir::Hidden))
            QFile::remove(file(name.toLatin1().constData()));
        seed({ { QDate(2026, 3, 1), 90 }, { QDate(2026, 3, 2), 65 }, { QDate(2026, 3, 3), 5 } });
        for (const char* name : { "out.txt", "backup.dbf", "report.pdf", "chart.png" })
            WriteAll(file(name), QByteArray("the user's older ") + name);
        writeSource();
        form = start();
        form->setForms(nullptr, &form3, nullptr, nullptr);
        form->Dbf1.first();
        form->Dbf1.next();
        form->Dbf1.remove();
        messages.fileAnswerer = [this](const FileDialogRequest&) { return answer; };
    }

    void writeSource()
    {
        FlightLog source;
        source.setPath(file("source.dbf").toStdString());
        source.create(logTableFields());
        source.open();
        source.append();
        source.setInteger(kFlightTime, 42);
        source.post();
        source.close();
    }

    // What is in the folder: every file and its bytes.
    std::map<std::string, std::string> folder() const
    {
        std::map<std::string, std::string> files;
        for (const QString& name : QDir(dir.path()).entryList(QDir::Files | QDir::Hidden))
            files[name.toStdString()] = ReadAll(dir.path() + QLatin1Char('/') + name).toStdString();
        return files;
    }

    void preview(const std::function<void()> whileOpen)
    {
        QTimer::singleShot(0, [&] {
            whileOpen();
            form3.LogPrint.closePreview();
        });
        form->Print1->trigger();
    }

    TForm3 form3;
    std::unique_ptr<TForm1> form;
    QString answer;
};

struct Command {
    const char* name;
    const char* file; // the steps that fail are those on files of this name
    std::function<void()> run;
};

TEST_F(FileFaultTest, EachWriteStepThatFailsLeavesEverythingAsItWas)
{
    const Command commands[] = {
        { "text export", "outxt",
            [this] {
                answer = file("outxt");
                form->SaveasTextfile1->trigger();
            } },
        { "comma export", "outxt",
            [this] {
                answer = file("outxt");
                form->Saveascommadelimitedtextfile1->trigger();
            } },
        { "report as PDF", "reporpdf",
            [this] {
                answer = file("reporpdf");
                preview([this] { form3.LogPrint.savePdfAction()->trigger(); });
            } },
        { "chart as image", "charpng",
            [this] {
                answer = file("charpng");
                form->Statistics1->trigger();
                form->statisticsForm()->SaveChart1->trigger();
                form->statisticsForm()->close();
            } },
        { "backup", "backup.dbf",
            [this] {
                answer = file("backup.dbf");
                form->N1->trigger();
            } },
        { "restore", "CVLog.dbf",
            [this] {
                answer = file("source.dbf");
                form->Restoredatabase1->trigger();
            } },
        { "wipe", "CVLog.dbf",
            [this] {
                messages.answers = { true, true };
                form->Wipedatabase1->trigger();
            } },
        { "wipe, its safety copy", "CVLog-",
            [this] {
                messages.answers = { true, true };
                form->Wipedatabase1->trigger();
            } },
        { "compact", "CVLog.dbf", [this] { form->Compactdatabse1->trigger(); } },
        { "posted edit", "CVLog.dbf",
            [this] {
                QTest::keyClicks(currentEdit(*form, kComment), QStringLiteral("edited"));
                form->DBNavigator1->button(DBNavigator::Post)->click();
            } },
        { "posted new row", "CVLog.dbf",
            [this] {
                form->DBNavigator1->button(DBNavigator::Insert)->click();
                QTest::keyClicks(currentEdit(*form, kComment), QStringLiteral("new"));
                form->DBNavigator1->button(DBNavigator::Post)->click();
            } },
        { "settings at exit", "CVLog.ini", [this] { form->close(); } },
    };
    const FileStep steps[] = { FileStep::Create, FileStep::Write, FileStep::Flush, FileStep::Rename };
    const int errorNumbers[] = { ENOSPC, EIO, EDQUOT };

    int failures = 0;
    for (const Command& command : commands) {
        for (const FileStep step : steps) {
            const int error = errorNumbers[failures % std::size(errorNumbers)];
            SCOPED_TRACE(std::string(command.name) + ", step " + std::to_string(static_cast<int>(step)) + ", "
                + runTimeErrorText(error));
            restart();
            const std::map<std::string, std::string> before = folder();
            messages.shown.clear();
            bool failed = false;
            setFileFaultHook([&](FileStep at, const std::filesystem::path& path) {
                if (at != step || failed || path.filename().string().find(command.file) == std::string::npos)
                    return 0;
                failed = true;
                return error;
            });
            command.run();
            setFileFaultHook({});
            if (!failed)
                continue; // the command has no such step
            ++failures;

            std::vector<QString> errors;
            for (const MessageRequest& shown : messages.shown) {
                if (shown.kind == MessageKind::Error)
                    errors.push_back(shown.text);
            }
            ASSERT_EQ(errors.size(), 1u);
            const QString said = errors.front();
            if (std::string(command.name) == "settings at exit")
                EXPECT_TRUE(said.startsWith(QStringLiteral("Unable to write to "))) << said.toStdString();
            else
                EXPECT_EQ(said, QString::fromStdString(runTimeErrorText(error)) + QLatin1Char('.'));
            EXPECT_EQ(folder(), before) << "the log, the target and the folder as they were";
            if (std::string(command.name) != "settings at exit") {
                EXPECT_TRUE(form->Dbf1.isOpen());
                // A refused post keeps the typed row, to be posted again.
                form->Dbf1.cancel();
                EXPECT_EQ(shownFlightTimes(*form), (std::vector<std::int64_t> { 90, 5 }));
            }
        }
    }
    // Each command writes through at least two of the steps.
    EXPECT_GE(failures, 2 * static_cast<int>(std::size(commands)));
}

} // namespace
} // namespace cvlog::test
