#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <functional>

#include "app/single_instance.h"
#include "support/qt_wait.h"

namespace {

// The guard lives in the user's runtime folder: each test gets its own.
class SingleInstance : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(Runtime.isValid());
        OldRuntime = qgetenv("XDG_RUNTIME_DIR");
        qputenv("XDG_RUNTIME_DIR", Runtime.path().toLocal8Bit());
    }
    void TearDown() override
    {
        FinalizeSingleInstance();
        RestoreRequestHandler = nullptr;
        qputenv("XDG_RUNTIME_DIR", OldRuntime);
    }
    // Runs the probe to its end and returns its exit code (-1 when it crashed).
    int RunProbe(const QStringList& args)
    {
        QProcess p;
        p.start(QStringLiteral(GUARD_PROBE_PATH), args);
        // The first copy answers the probe's request from this event loop.
        if (!WaitFor([&] { return p.state() == QProcess::NotRunning || p.waitForFinished(1); }))
            return -2;
        return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    }
    QTemporaryDir Runtime;
    QByteArray OldRuntime;
    const QString Name = QStringLiteral("KVX_GUARD_TEST");
};

} // namespace

TEST_F(SingleInstance, SecondCopyEndsAndTheFirstIsAskedToRestore)
{
    ASSERT_TRUE(IsFirstInstance(Name));
    int requests = 0;
    RestoreRequestHandler = [&] { ++requests; };

    EXPECT_EQ(RunProbe({Name}), 3);
    EXPECT_TRUE(WaitFor([&] { return requests == 1; }));

    // Once the first copy has ended, a new copy starts normally.
    FinalizeSingleInstance();
    EXPECT_EQ(RunProbe({Name}), 0);
}

TEST_F(SingleInstance, RequestBeforeTheHookIsSetChangesNothing)
{
    ASSERT_TRUE(IsFirstInstance(Name));
    const int before = RestoreRequestsReceived();
    EXPECT_EQ(RunProbe({Name}), 3);
    ASSERT_TRUE(WaitFor([&] { return RestoreRequestsReceived() == before + 1; }));
    int requests = 0;
    RestoreRequestHandler = [&] { ++requests; };
    EXPECT_EQ(RunProbe({Name}), 3);
    EXPECT_TRUE(WaitFor([&] { return RestoreRequestsReceived() == before + 2; }));
    EXPECT_EQ(requests, 1);
}

TEST_F(SingleInstance, CrashedCopyLeavesNoStaleGuard)
{
    EXPECT_EQ(RunProbe({Name, QStringLiteral("crash")}), -1);
    EXPECT_TRUE(IsFirstInstance(Name));
}

TEST_F(SingleInstance, RunningCopyInAnotherProcessIsRestored)
{
    QProcess first;
    first.start(QStringLiteral(GUARD_PROBE_PATH), {Name, QStringLiteral("hold")});
    ASSERT_TRUE(first.waitForReadyRead(10000));
    ASSERT_EQ(first.readLine().trimmed(), QByteArray("ready"));

    EXPECT_FALSE(IsFirstInstance(Name));
    EXPECT_EQ(SingleInstanceFailures(), 0u); // a second copy, not a failure
    // The holder ends with 0 only when the restore request reached it.
    ASSERT_TRUE(first.waitForFinished(10000));
    EXPECT_EQ(first.exitCode(), 0);
}

TEST_F(SingleInstance, UnusableLockFileFailsWithoutRunning)
{
    // A folder where the lock file belongs cannot be opened as the lock.
    ASSERT_TRUE(QDir(Runtime.path()).mkdir(Name + QStringLiteral(".lock")));
    EXPECT_FALSE(IsFirstInstance(Name));
    EXPECT_EQ(SingleInstanceFailures(), unsigned(sifLockFailed));
}
