// The real program, copied into a directory of its own and run on the
// offscreen platform: one copy per directory, and the shutdown on a signal.

#include "file_contents.h"

#include "logstore/flight_log.h"

#include <QByteArray>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdint>

namespace
{

using cvlog::test::ReadAll;
using cvlog::test::WriteAll;

constexpr int kStartTimeoutMs = 30000;

std::uint32_t HeaderCount(const QByteArray& bytes)
{
    std::uint32_t n = 0;
    for (int i = 7; i >= 4; --i)
        n = (n << 8) | static_cast<unsigned char>(bytes.at(i));
    return n;
}

// Whether the process has its own handler for the signal yet: from then on
// a signal runs the shutdown instead of killing it.
bool CatchesSignal(qint64 pid, int signalNumber)
{
    const QByteArray status = ReadAll(QStringLiteral("/proc/%1/status").arg(pid));
    const int at = status.indexOf("SigCgt:");
    if (at < 0)
        return false;
    const QByteArray mask = status.mid(at + 7, status.indexOf('\n', at) - at - 7).trimmed();
    bool ok = false;
    const qulonglong bits = mask.toULongLong(&ok, 16);
    return ok && (bits >> (signalNumber - 1)) & 1U;
}

class ProgramTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        ASSERT_TRUE(QFile::copy(QStringLiteral(CVLOG_EXECUTABLE), program()));
        QFile::setPermissions(program(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    void TearDown() override
    {
        for (QProcess* p : { &first, &second }) {
            if (p->state() != QProcess::NotRunning) {
                p->kill();
                p->waitForFinished(kStartTimeoutMs);
            }
        }
    }

    QString program() const { return dir.path() + QStringLiteral("/cvlog"); }
    QString file(const char* name) const { return dir.path() + QLatin1Char('/') + QLatin1String(name); }

    void start(QProcess& process)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("CVLOG_AUTOCLOSE_MESSAGES"), QStringLiteral("1"));
        if (!env.contains(QStringLiteral("LSAN_OPTIONS")))
            env.insert(
                QStringLiteral("LSAN_OPTIONS"), QStringLiteral("suppressions=" CVLOG_LSAN_SUPPRESSIONS));
        process.setProcessEnvironment(env);
        process.setWorkingDirectory(QStringLiteral("/"));
        process.start(program(), {});
        ASSERT_TRUE(process.waitForStarted(kStartTimeoutMs));
    }

    // Started and ready for a signal.
    void startAndWait(QProcess& process)
    {
        start(process);
        QDeadlineTimer deadline(kStartTimeoutMs);
        while (!CatchesSignal(process.processId(), SIGTERM) && !deadline.hasExpired())
            QThread::msleep(20);
        ASSERT_TRUE(CatchesSignal(process.processId(), SIGTERM));
    }

    void stopWith(QProcess& process, int signalNumber)
    {
        ASSERT_EQ(::kill(static_cast<pid_t>(process.processId()), signalNumber), 0);
        ASSERT_TRUE(process.waitForFinished(kStartTimeoutMs));
        EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
    }

    // A table with one flight whose header still counts none, as a run that
    // posted a row and has not closed yet leaves it.
    void writeTableWithUncountedRow()
    {
        cvlog::FlightLog table;
        table.setPath(file("CVLog.dbf").toStdString());
        table.create(cvlog::logTableFields());
        table.open();
        table.append();
        table.setDate(cvlog::kTakeoffDate, QDate(2026, 3, 5));
        table.setText(cvlog::kTakeoffTime, QStringLiteral("14:30"));
        table.setInteger(cvlog::kFlightTime, 90);
        table.setInteger(cvlog::kMaxAltitude, 4500);
        table.setInteger(cvlog::kMaxSpeed, 120);
        table.setInteger(cvlog::kStudent, 3);
        table.setInteger(cvlog::kHobbs, 18725);
        table.setText(cvlog::kInstrument, QStringLiteral("EA15"));
        table.setText(cvlog::kComment, QStringLiteral("cross country"));
        table.post();
        table.close();
        QByteArray bytes = ReadAll(file("CVLog.dbf"));
        ASSERT_EQ(bytes.size(), 449);
        bytes[4] = 0;
        bytes.chop(1);
        WriteAll(file("CVLog.dbf"), bytes);
    }

    QTemporaryDir dir;
    QProcess first;
    QProcess second;
};

TEST_F(ProgramTest, ASecondCopyInTheSameDirectorySaysSoAndEnds)
{
    startAndWait(first);
    QDeadlineTimer deadline(kStartTimeoutMs);
    while (ReadAll(file("CVLog.dbf")).size() < 322 && !deadline.hasExpired())
        QThread::msleep(20);
    const QByteArray table = ReadAll(file("CVLog.dbf"));
    ASSERT_EQ(table.size(), 322);

    start(second);
    ASSERT_TRUE(second.waitForFinished(kStartTimeoutMs));
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_TRUE(
        second.readAllStandardError().contains("This application is active. This new copy will terminate."));
    EXPECT_EQ(ReadAll(file("CVLog.dbf")), table);
    EXPECT_FALSE(QFile::exists(file("CVLog.ini")));
    EXPECT_EQ(first.state(), QProcess::Running);

    stopWith(first, SIGTERM);
}

TEST_F(ProgramTest, EachEndingSignalWritesTheTableHeaderAndTheSettings)
{
    for (int signalNumber : { SIGTERM, SIGINT, SIGHUP }) {
        SCOPED_TRACE(signalNumber);
        QFile::remove(file("CVLog.ini"));
        writeTableWithUncountedRow();
        startAndWait(first);
        stopWith(first, signalNumber);

        const QByteArray table = ReadAll(file("CVLog.dbf"));
        ASSERT_EQ(table.size(), 449);
        EXPECT_EQ(HeaderCount(table), 1u);
        EXPECT_EQ(table.back(), '\x1a');
        const QByteArray ini = ReadAll(file("CVLog.ini"));
        EXPECT_TRUE(ini.startsWith("[General]\nFromDate=")) << ini.toStdString();
        EXPECT_TRUE(ini.endsWith("\nPORT=1\nx1=0\nx2=1\nx3=0\nx4=1\nx5=0\n")) << ini.toStdString();
    }
}

TEST_F(ProgramTest, ASignalShutdownThatCannotWriteTheSettingsSaysSoAndFails)
{
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("CVLog.ini")));
    startAndWait(first);
    ASSERT_EQ(::kill(static_cast<pid_t>(first.processId()), SIGTERM), 0);
    ASSERT_TRUE(first.waitForFinished(kStartTimeoutMs));
    EXPECT_EQ(first.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(first.exitCode(), 1);
    const QByteArray errors = first.readAllStandardError();
    EXPECT_TRUE(errors.contains("Unable to write to ")) << errors.toStdString();
    EXPECT_FALSE(errors.contains("CVLOG MESSAGE")); // nobody is there to answer a box
    EXPECT_EQ(HeaderCount(ReadAll(file("CVLog.dbf"))), 0u);
    EXPECT_EQ(ReadAll(file("CVLog.dbf")).size(), 322);
}

TEST_F(ProgramTest, AnIndependentReaderSeesTheRowsAfterTheShutdown)
{
    writeTableWithUncountedRow();
    startAndWait(first);
    stopWith(first, SIGTERM);

    QProcess python;
    python.start(QStringLiteral(CVLOG_SYSTEM_PYTHON),
        { QStringLiteral("-c"),
            QStringLiteral("import sys, dbfread\n"
                           "for r in dbfread.DBF(sys.argv[1], char_decode_errors='strict'):\n"
                           "    print('|'.join(str(v) for v in r.values()))\n"),
            file("CVLog.dbf") });
    ASSERT_TRUE(python.waitForFinished(kStartTimeoutMs));
    ASSERT_EQ(python.exitCode(), 0) << python.readAllStandardError().toStdString();
    EXPECT_EQ(python.readAllStandardOutput(),
        QByteArray("2026-03-05|14:30|90|4500|120|3|18725|EA15|cross country\n"));
}

TEST_F(ProgramTest, ForeignLinesOfTheSettingsFileSurviveTheShutdown)
{
    const QByteArray before = "; CVLog settings\r\n"
                              "\r\n"
                              "[Ports]\r\n"
                              "COM3=/dev/null\r\n"
                              "[general]\r\n"
                              "; the filter range\r\n"
                              "FromDate=46000\r\n"
                              "Colour=blue\r\n"
                              "ToDate=46086\r\n"
                              "port=0x3\r\n"
                              "x1=2\r\n"
                              "x2=0\r\n"
                              "x3=0\r\n"
                              "x4=1\r\n"
                              "x5=0\r\n"
                              "\r\n"
                              "[Other]\r\n"
                              "x1=7\r\n";
    WriteAll(file("CVLog.ini"), before);
    startAndWait(first);
    stopWith(first, SIGTERM);

    QByteArray expected = before;
    expected.replace("port=0x3", "port=3")
        .replace("[general]\r\n; the filter "
                 "range\r\nFromDate=46000\r\nColour=blue\r\nToDate=46086\r\nport=3\r\nx1=2",
            "[general]\r\n; the filter "
            "range\r\nFromDate=46000\r\nColour=blue\r\nToDate=46086\r\nport=3\r\nx1=1");
    EXPECT_EQ(ReadAll(file("CVLog.ini")), expected);
}

} // namespace
