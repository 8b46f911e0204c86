// The program file itself: its command line, and a start-up against the
// simulated encoder with a second copy that ends at once.
#ifndef KVXC_PATH
#error "KVXC_PATH must name the program file the tests run"
#endif
#ifndef KVXSIM_PATH
#error "KVXSIM_PATH must name the simulated encoder the tests run"
#endif

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <csignal>
#include <string>
#include <sys/types.h>
#include <vector>

#include "support/child_process.h"
#include "support/kvxsim_process.h"

namespace {

// The environment changes that keep a copy of the program inside Dir.
std::vector<std::string> Environment(const QTemporaryDir& Dir)
{
    const std::string D = Dir.path().toStdString();
    return {"QT_QPA_PLATFORM=offscreen", "KVX_LOG=debug", "KVX_CONFIG_DIR=" + D + "/conf", "XDG_RUNTIME_DIR=" + D,
        "XDG_DATA_HOME=" + D + "/data", "XDG_STATE_HOME=" + D + "/state"};
}

} // namespace

TEST(Program, CommandLineAnswersWithoutAWindow)
{
    struct TCase {
        std::vector<std::string> Args;
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
        SCOPED_TRACE((C.Args.empty() ? "" : C.Args[0]) + (C.NoDisplay ? " without a display" : ""));
        std::vector<std::string> env = Environment(dir);
        if (C.NoDisplay)
            env.insert(env.end(), {"QT_QPA_PLATFORM=xcb", "DISPLAY", "WAYLAND_DISPLAY"});
        TChildProcess p;
        ASSERT_TRUE(p.Start(KVXC_PATH, C.Args, env));
        ASSERT_TRUE(p.WaitForEnd(30000));
        EXPECT_EQ(p.ExitCode(), C.Code);
        EXPECT_NE(p.Out().find(C.Out), std::string::npos) << p.Out();
        EXPECT_NE(p.Err().find(C.Err), std::string::npos) << p.Err();
    }
}

TEST(Program, EndsThroughItsNormalPathOnSigtermSigintAndSighup)
{
    for (const int Signal : {SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(Signal);
        QTemporaryDir dir;
        TChildProcess p;
        ASSERT_TRUE(p.Start(KVXC_PATH, {}, Environment(dir)));
        ASSERT_TRUE(p.WaitForErr("first paint", 30000)) << p.Err();
        p.Signal(Signal);
        ASSERT_TRUE(p.WaitForEnd(30000));
        EXPECT_EQ(p.ExitCode(), 0); // an exit, not the signal's default end
        // The configuration was written on the way out.
        EXPECT_TRUE(QFile::exists(dir.filePath(QStringLiteral("conf/kvxc.ini"))));
    }
}

TEST(Program, StartsConnectedAndASecondCopyEnds)
{
    TKvxsim sim;
    ASSERT_TRUE(sim.Start({}));
    QTemporaryDir dir;
    TChildProcess first;
    ASSERT_TRUE(first.Start(KVXC_PATH, {"--port", sim.Path(), "--connect"}, Environment(dir)));
    // --port and --connect reach the window: it reads the encoder by itself.
    ASSERT_TRUE(first.WaitForErr("read complete", 30000)) << first.Err();
    EXPECT_NE(first.Err().find("first paint"), std::string::npos) << first.Err();

    TChildProcess second;
    ASSERT_TRUE(second.Start(KVXC_PATH, {}, Environment(dir)));
    ASSERT_TRUE(second.WaitForEnd(30000));
    EXPECT_EQ(second.ExitCode(), 0);
    EXPECT_EQ(second.Err().find("first paint"), std::string::npos) << second.Err();
    EXPECT_TRUE(first.Running());

    // One given a settings file says that it did not open it (and shows it
    // in a message box, which nobody closes here).
    TChildProcess third;
    ASSERT_TRUE(third.Start(KVXC_PATH, {"station.kvx"}, Environment(dir)));
    EXPECT_TRUE(third.WaitForErr("not opened", 30000));
    EXPECT_NE(third.Err().find("already running and was brought to the front"), std::string::npos) << third.Err();
    EXPECT_NE(third.Err().find("station.kvx was not opened"), std::string::npos) << third.Err();
    third.Signal(SIGKILL);
    third.WaitForEnd(10000);

    first.Signal(SIGTERM);
    first.WaitForEnd(10000);
}
