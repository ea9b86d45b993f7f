#include "logstore/instance_guard.h"

#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <filesystem>

namespace fs = std::filesystem;

namespace
{

int runProbe(const QString& program, const QStringList& arguments, QByteArray* output = nullptr)
{
    QProcess p;
    p.start(program, arguments);
    if (!p.waitForFinished(30000))
        return -1;
    if (output)
        *output = p.readAllStandardOutput();
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

} // namespace

TEST(InstanceGuard, SecondCopyInTheSameDirectoryIsRefused)
{
    QTemporaryDir a;
    QTemporaryDir b;
    const fs::path dirA = a.path().toStdString();
    {
        cvlog::InstanceGuard first;
        ASSERT_TRUE(first.acquire(dirA));
        EXPECT_TRUE(first.holdsLock());
        EXPECT_TRUE(fs::exists(dirA / "CVLOG1.lock"));
        cvlog::InstanceGuard second;
        EXPECT_FALSE(second.acquire(dirA));
        EXPECT_EQ(runProbe(INSTANCE_GUARD_PROBE, { a.path() }), 1);
        EXPECT_EQ(runProbe(INSTANCE_GUARD_PROBE, { b.path() }), 0) << "another directory is another program";
    }
    EXPECT_EQ(runProbe(INSTANCE_GUARD_PROBE, { a.path() }), 0) << "the lock goes with its holder";
    cvlog::InstanceGuard again;
    EXPECT_TRUE(again.acquire(dirA));
}

TEST(InstanceGuard, LockIsDroppedWhenTheHolderIsKilled)
{
    QTemporaryDir dir;
    QProcess holder;
    holder.start(INSTANCE_GUARD_PROBE, { dir.path(), "hold" });
    ASSERT_TRUE(holder.waitForReadyRead(30000));
    ASSERT_EQ(holder.readAllStandardOutput().trimmed(), "acquired");

    cvlog::InstanceGuard guard;
    EXPECT_FALSE(guard.acquire(dir.path().toStdString()));

    holder.kill();
    ASSERT_TRUE(holder.waitForFinished(30000));
    EXPECT_TRUE(guard.acquire(dir.path().toStdString()));
}

TEST(InstanceGuard, UnusableDirectoryDoesNotStopTheProgram)
{
    cvlog::InstanceGuard guard;
    EXPECT_TRUE(guard.acquire("/nonexistent/cvlog"));
    EXPECT_FALSE(guard.holdsLock());
}
