#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include "app/single_instance.h"
#include "support/child_process.h"
#include "support/qt_wait.h"
#include "support/wait_until.h"

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
        TChildProcess p;
        std::vector<std::string> a;
        for (const QString& s : args)
            a.push_back(s.toStdString());
        if (!p.Start(GUARD_PROBE_PATH, a))
            return -2;
        // The first copy answers the probe's request from this event loop.
        if (!WaitFor([&] { return !p.Running(); }))
            return -2;
        return p.ExitCode();
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

TEST_F(SingleInstance, OneCopyPerGraphicalSession)
{
    const QByteArray OldDisplay = qgetenv("DISPLAY");
    const QByteArray OldWayland = qgetenv("WAYLAND_DISPLAY");
    qputenv("DISPLAY", ":7");
    qunsetenv("WAYLAND_DISPLAY");
    ASSERT_TRUE(IsFirstInstance(Name));
    struct TCase {
        const char* Display;
        const char* Wayland;
        int Code; // 3: a second copy, 0: a first copy in its own session
    };
    for (const TCase& C : {TCase {":7", "", 3}, TCase {":7.0", "", 3}, TCase {":8", "", 0}, TCase {"", "wayland-1", 0},
             TCase {"", "", 0}}) {
        SCOPED_TRACE(std::string(C.Display) + "/" + C.Wayland);
        qputenv("DISPLAY", C.Display);
        qputenv("WAYLAND_DISPLAY", C.Wayland);
        EXPECT_EQ(RunProbe({Name}), C.Code);
    }
    qputenv("DISPLAY", OldDisplay);
    qputenv("WAYLAND_DISPLAY", OldWayland);
    if (OldWayland.isEmpty())
        qunsetenv("WAYLAND_DISPLAY");
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
    TChildProcess first;
    ASSERT_TRUE(first.Start(GUARD_PROBE_PATH, {Name.toStdString(), "hold"}));
    ASSERT_TRUE(WaitUntil([&] { return first.Out().find('\n') != std::string::npos || !first.Running(); }, 10000));
    ASSERT_EQ(first.Out(), "ready\n");

    EXPECT_FALSE(IsFirstInstance(Name));
    EXPECT_EQ(SingleInstanceFailures(), 0u); // a second copy, not a failure
    // The holder ends with 0 only when the restore request reached it.
    ASSERT_TRUE(first.WaitForEnd(10000));
    EXPECT_EQ(first.ExitCode(), 0);
}

TEST_F(SingleInstance, UnusableLockFileFailsWithoutRunning)
{
    // A folder where the lock file belongs cannot be opened as the lock.
    ASSERT_TRUE(QDir().mkdir(SingleInstanceFileBase(Name) + QStringLiteral(".lock")));
    EXPECT_FALSE(IsFirstInstance(Name));
    EXPECT_EQ(SingleInstanceFailures(), unsigned(sifLockFailed));
}

TEST_F(SingleInstance, SecondCopyEndsAtOnceWhenTheRunningCopyDoesNotAnswer)
{
    // The lock is held by a copy that serves no requests: its socket is
    // missing, or it is hung with its queue of pending connections full.
    const QByteArray base = QFile::encodeName(SingleInstanceFileBase(Name));
    const int lock = ::open((base + ".lock").constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    ASSERT_GE(lock, 0);
    ASSERT_EQ(::flock(lock, LOCK_EX | LOCK_NB), 0);
    std::vector<int> fds {lock};

    for (const bool listening : {false, true}) {
        SCOPED_TRACE(listening ? "queue full" : "no socket");
        if (listening) {
            sockaddr_un addr {};
            addr.sun_family = AF_UNIX;
            const QByteArray path = base + ".sock";
            ASSERT_LT(size_t(path.size()), sizeof addr.sun_path);
            std::memcpy(addr.sun_path, path.constData(), size_t(path.size()));
            const int server = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
            ASSERT_EQ(::bind(server, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
            ASSERT_EQ(::listen(server, 0), 0);
            fds.push_back(server);
            // Connections nobody accepts fill the queue.
            for (int i = 0; i < 4; ++i) {
                const int c = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
                fds.push_back(c);
                // Past the backlog the connect fails or stays in progress; either
                // way the socket holds its place in the queue.
                (void)::connect(c, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
            }
        }
        TChildProcess p;
        ASSERT_TRUE(p.Start(GUARD_PROBE_PATH, {Name.toStdString()}));
        // One bounded attempt: retrying here held a second copy up for seconds.
        ASSERT_TRUE(p.WaitForEnd(5000));
        EXPECT_EQ(p.ExitCode(), 3); // a second copy, not a failed guard
    }
    for (int fd : fds)
        ::close(fd);
}
