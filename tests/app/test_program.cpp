// The program file itself: its command line, and a start-up against the
// simulated encoder with a second copy that ends at once.
#ifndef KVXC_PATH
#error "KVXC_PATH must name the program file the tests run"
#endif
#ifndef KVXSIM_PATH
#error "KVXSIM_PATH must name the simulated encoder the tests run"
#endif

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <csignal>
#include <sys/types.h>

#include "support/kvxsim_process.h"

namespace {

QProcessEnvironment Environment(const QTemporaryDir& Dir)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("KVX_LOG"), QStringLiteral("debug"));
    env.insert(QStringLiteral("KVX_CONFIG_DIR"), Dir.filePath(QStringLiteral("conf")));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), Dir.path());
    env.insert(QStringLiteral("XDG_DATA_HOME"), Dir.filePath(QStringLiteral("data")));
    env.insert(QStringLiteral("XDG_STATE_HOME"), Dir.filePath(QStringLiteral("state")));
    return env;
}

} // namespace

TEST(Program, CommandLineAnswersWithoutAWindow)
{
    struct TCase {
        QStringList Args;
        bool NoDisplay; // help and version need none
        int Code;
        const char* Out;
        const char* Err;
    };
    const TCase Cases[] = {
        {{"--version"}, false, 0, "kvxc 1.", ""},
        {{"--version"}, true, 0, "kvxc 1.", ""},
        {{"--help"}, true, 0, "--port <PORT>", ""},
        {{"--port"}, false, 64, "", "Missing value after '--port'"},
        {{"a.kvx", "b.kvx"}, false, 64, "", "Try 'kvxc --help'."},
    };
    QTemporaryDir dir;
    for (const TCase& C : Cases) {
        SCOPED_TRACE(C.Args.join(' ').toStdString() + (C.NoDisplay ? " without a display" : ""));
        QProcessEnvironment env = Environment(dir);
        if (C.NoDisplay) {
            env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
            env.remove(QStringLiteral("DISPLAY"));
            env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        }
        QProcess p;
        p.setProcessEnvironment(env);
        p.start(QStringLiteral(KVXC_PATH), C.Args);
        ASSERT_TRUE(p.waitForFinished(30000));
        EXPECT_EQ(p.exitCode(), C.Code);
        EXPECT_TRUE(p.readAllStandardOutput().contains(C.Out));
        EXPECT_TRUE(p.readAllStandardError().contains(C.Err));
    }
}

TEST(Program, EndsThroughItsNormalPathOnSigtermSigintAndSighup)
{
    for (const int Signal : {SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(Signal);
        QTemporaryDir dir;
        QProcess p;
        p.setProcessEnvironment(Environment(dir));
        p.setReadChannel(QProcess::StandardError);
        p.start(QStringLiteral(KVXC_PATH));
        QByteArray log;
        while (!log.contains("first paint") && p.waitForReadyRead(30000))
            log += p.readAllStandardError();
        ASSERT_TRUE(log.contains("first paint")) << log.toStdString();
        ::kill(static_cast<pid_t>(p.processId()), Signal);
        ASSERT_TRUE(p.waitForFinished(30000));
        EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(p.exitCode(), 0);
        // The configuration was written on the way out.
        EXPECT_TRUE(QFile::exists(dir.filePath(QStringLiteral("conf/kvxc.ini"))));
    }
}

TEST(Program, StartsConnectedAndASecondCopyEnds)
{
    TKvxsim sim;
    ASSERT_TRUE(sim.Start({}));
    QTemporaryDir dir;
    QProcess first;
    first.setProcessEnvironment(Environment(dir));
    first.setReadChannel(QProcess::StandardError);
    first.start(QStringLiteral(KVXC_PATH),
        {QStringLiteral("--port"), QString::fromStdString(sim.Path()), QStringLiteral("--connect")});
    // --port and --connect reach the window: it reads the encoder by itself.
    QByteArray log;
    while (!log.contains("read complete") && first.waitForReadyRead(30000))
        log += first.readAllStandardError();
    EXPECT_TRUE(log.contains("first paint")) << log.toStdString();
    ASSERT_TRUE(log.contains("read complete")) << log.toStdString();

    QProcess second;
    second.setProcessEnvironment(Environment(dir));
    second.start(QStringLiteral(KVXC_PATH));
    ASSERT_TRUE(second.waitForFinished(30000));
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_FALSE(second.readAllStandardError().contains("first paint"));
    EXPECT_EQ(first.state(), QProcess::Running);

    // One given a settings file says that it did not open it (and shows it
    // in a message box, which nobody closes here).
    QProcess third;
    third.setProcessEnvironment(Environment(dir));
    third.setReadChannel(QProcess::StandardError);
    third.start(QStringLiteral(KVXC_PATH), {QStringLiteral("station.kvx")});
    QByteArray err;
    while (!err.contains("not opened") && third.waitForReadyRead(30000))
        err += third.readAllStandardError();
    EXPECT_TRUE(err.contains("already running and was brought to the front")) << err.toStdString();
    EXPECT_TRUE(err.contains("station.kvx was not opened")) << err.toStdString();
    third.kill();
    third.waitForFinished(10000);

    first.terminate();
    first.waitForFinished(10000);
}
