#include "_conn/port_connection.h"
#include "_conn/port_holders.h"
#include "_conn/port_problem.h"
#include "_conn/serial_connection.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/inotify.h>
#include <sys/wait.h>
#include <unistd.h>

#include "support/conn_listener.h"
#include "support/pty.h"
#include "support/wait_until.h"

extern char** environ;

namespace {

// A "sleep" child that holds the given descriptors as its stdin and stdout.
class TSleeper {
public:
    TSleeper(int In, int Out)
    {
        posix_spawn_file_actions_t fa;
        ::posix_spawn_file_actions_init(&fa);
        ::posix_spawn_file_actions_adddup2(&fa, In, 0);
        ::posix_spawn_file_actions_adddup2(&fa, Out, 1);
        const char* argv[] = {"sleep", "60", nullptr};
        if (::posix_spawnp(&FPid, "sleep", &fa, nullptr, const_cast<char* const*>(argv), environ) != 0)
            FPid = -1;
        ::posix_spawn_file_actions_destroy(&fa);
        // The child holds them once it runs sleep; before, it is still called like us.
        EXPECT_TRUE(WaitUntil([&] { return Running(); })) << "sleep did not start";
    }
    ~TSleeper()
    {
        if (FPid > 0) {
            ::kill(FPid, SIGTERM);
            ::waitpid(FPid, nullptr, 0);
        }
    }
    int Pid() const { return FPid; }

private:
    bool Running() const
    {
        std::ifstream in("/proc/" + std::to_string(FPid) + "/comm");
        std::string name;
        std::getline(in, name);
        return name == "sleep";
    }
    pid_t FPid = -1;
};

// A serial connection whose connect attempts a test can hold back.
class THeldConnCOM : public TConnCOM {
public:
    THeldConnCOM() : TConnCOM(false) { }
    ~THeldConnCOM() override { StopThreads(); }
    using TConnCOM::TAttemptHold;
};

int OpenPath(const std::string& Path)
{
    return ::open(Path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
}

} // namespace

TEST(PortHolders, OtherProcessesByDeviceNumberButNotTheFarEnd)
{
    TPty pty;
    const int slave = OpenPath(pty.SlavePath());
    ASSERT_GE(slave, 0);
    // This process holds the slave too, and is never listed.
    EXPECT_TRUE(FindPortHolders(pty.SlavePath()).empty());
    {
        TSleeper rival(slave, slave);
        const std::vector<TPortHolder> expected = {{rival.Pid(), "sleep"}};
        EXPECT_EQ(FindPortHolders(pty.SlavePath()), expected);
        // Another name of the same device finds the same holder.
        const auto link = std::filesystem::temp_directory_path() / ("kvx-holder-" + std::to_string(::getpid()));
        std::filesystem::remove(link);
        std::filesystem::create_symlink(pty.SlavePath(), link);
        EXPECT_EQ(FindPortHolders(link.string()), expected);
        std::filesystem::remove(link);
    }
    {
        // A process holding the master side as well is the line's other end
        // (a bridge like socat), not a rival.
        TSleeper farEnd(slave, pty.Master());
        EXPECT_TRUE(FindPortHolders(pty.SlavePath()).empty());
    }
    ::close(slave);
    EXPECT_TRUE(FindPortHolders("/nonexistent/ttyX").empty());
    EXPECT_TRUE(FindPortHolders("/dev/null").empty());
}

TEST(PortProblem, TextsNameTheFix)
{
    struct Case {
        const char* Name;
        TPortProblem Problem;
        std::vector<std::string> Present;
        std::vector<std::string> Parts;
    };
    const Case cases[] = {
        {"none", {}, {}, {}},
        {"permission", {ppOpen, EACCES, {}}, {}, {"/dev/ttyUSB0", "sudo usermod -aG dialout $USER, then log in again"}},
        {"missing", {ppOpen, ENOENT, {}}, {"ttyACM0", "ttyUSB1"}, {"/dev/ttyUSB0 does not exist", "ttyACM0, ttyUSB1"}},
        {"missing, none present", {ppOpen, ENXIO, {}}, {}, {"does not exist", "no serial port is present"}},
        {"busy, holder unknown", {ppOpen, EWOULDBLOCK, {}}, {}, {"in use by another program", "fuser -v /dev/ttyUSB0"}},
        {"exclusive, holder unknown", {ppOpen, EBUSY, {}}, {}, {"in use by another program", "fuser -v /dev/ttyUSB0"}},
        {"held by a modem manager", {ppHeld, EBUSY, {{812, "ModemManager"}}}, {},
            {"in use by ModemManager (pid 812)", "ID_MM_DEVICE_IGNORE", "systemctl stop ModemManager"}},
        {"held by two", {ppHeld, EBUSY, {{40, "minicom"}, {41, "cat"}}}, {},
            {"minicom (pid 40), cat (pid 41)", "kill 40", "kill 41"}},
        {"unplugged", {ppLost, 0, {}}, {"ttyUSB1"}, {"went away while connected", "plug it back in", "ttyUSB1"}},
        {"other error", {ppOpen, EIO, {}}, {}, {"Cannot open /dev/ttyUSB0: Input/output error"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        const std::string text = PortProblemText("ttyUSB0", c.Problem, c.Present);
        EXPECT_EQ(text.empty(), c.Parts.empty()) << text;
        for (const std::string& part : c.Parts)
            EXPECT_NE(text.find(part), std::string::npos) << text;
    }
    // A path is shown as given.
    EXPECT_EQ(PortProblemText("/dev/pts/7", {ppOpen, ENOENT, {}}, {}).rfind("/dev/pts/7 does not exist", 0), 0u);
}

TEST(PortProblem, PlainHolderRefusesTheConnect)
{
    // No lock, no exclusive mode: only the /proc scan sees this holder.
    TPty pty;
    const int slave = OpenPath(pty.SlavePath());
    ASSERT_GE(slave, 0);
    TSleeper rival(slave, slave);
    ::close(slave);

    TListener l;
    TConnCOM conn(false);
    conn.SetReconnectTimeout(20);
    conn.AddThreadListener(l.Id());
    conn.SetPort(pty.SlavePath());
    EXPECT_FALSE(conn.Connect());
    ASSERT_TRUE(WaitWords(l, 2));
    EXPECT_EQ(l.Statuses()[1], "Connection Refused");
    EXPECT_EQ(conn.LastProblem().Kind, ppHeld);
    const std::string text = ConnectionErrorText(&conn);
    EXPECT_NE(text.find("sleep (pid " + std::to_string(rival.Pid()) + ")"), std::string::npos) << text;
    conn.Disconnect(stDisconnecting);
}

TEST(PortProblem, ManyPortsAreCheckedWithOneLookAtTheOtherProcesses)
{
    TPty held, free, locked;
    const int plain = OpenPath(held.SlavePath());
    ASSERT_GE(plain, 0);
    TSleeper rival(plain, plain);
    ::close(plain);
    // Another open file of this process holding the lock is refused like a rival's.
    const int locker = OpenPath(locked.SlavePath());
    ASSERT_EQ(::flock(locker, LOCK_EX | LOCK_NB), 0);

    const std::vector<TPortProblem> problems
        = TConnCOM::CheckPorts({free.SlavePath(), held.SlavePath(), locked.SlavePath(), "/nonexistent/ttyX"});
    ASSERT_EQ(problems.size(), 4u);
    EXPECT_EQ(problems[0].Kind, ppNone);
    EXPECT_EQ(problems[1].Kind, ppHeld);
    EXPECT_EQ(problems[1].Holders, (std::vector<TPortHolder> {{rival.Pid(), "sleep"}}));
    EXPECT_EQ(problems[2].Kind, ppOpen);
    EXPECT_EQ(problems[2].Errno, EWOULDBLOCK);
    EXPECT_EQ(problems[3].Kind, ppOpen);
    EXPECT_EQ(problems[3].Errno, ENOENT);
    // The one-port form agrees, and the checks left every port as they found it.
    EXPECT_EQ(TConnCOM::CheckPort(held.SlavePath()).Holders, problems[1].Holders);
    EXPECT_EQ(TConnCOM::CheckPort(free.SlavePath()).Kind, ppNone);
    ::close(locker);
    EXPECT_EQ(TConnCOM::CheckPort(locked.SlavePath()).Kind, ppNone);
}

TEST(PortProblem, AConnectOpensThePortOnceAndHoldsItFromTheCheckOn)
{
    TPty pty;
    const int watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ASSERT_GE(watch, 0);
    ASSERT_GE(::inotify_add_watch(watch, pty.SlavePath().c_str(), IN_OPEN), 0);
    const auto opens = [&] {
        int n = 0;
        alignas(inotify_event) char buf[4096];
        ssize_t got;
        while ((got = ::read(watch, buf, sizeof buf)) > 0)
            for (ssize_t at = 0; at < got; at += static_cast<ssize_t>(sizeof(inotify_event)))
                n += (reinterpret_cast<inotify_event*>(buf + at)->mask & IN_OPEN) != 0;
        return n;
    };

    TListener l;
    THeldConnCOM conn;
    conn.SetReconnectTimeout(20);
    conn.AddThreadListener(l.Id());
    conn.SetPort(pty.SlavePath());
    ASSERT_TRUE(conn.Connect());
    // From the check on, nobody else gets the port...
    EXPECT_FALSE(OpenPortExclusive(pty.SlavePath()).Valid());
    ASSERT_TRUE(l.WaitFor([](const Words& W, const std::string&) { return !W.empty() && W.back() == "Connected"; }));
    // ...and the connection thread took the checked port as it was: one open.
    EXPECT_EQ(opens(), 1);
    conn.Disconnect(stDisconnecting);
    ASSERT_TRUE(l.WaitFor([](const Words& W, const std::string&) { return W.back() == "Disconnected"; }));
    EXPECT_TRUE(OpenPortExclusive(pty.SlavePath()).Valid());

    // A connect given up before its attempt lets the port go too.
    const std::size_t seen = l.Statuses().size();
    {
        const THeldConnCOM::TAttemptHold noAttempt(conn);
        ASSERT_TRUE(conn.Connect());
        conn.Disconnect(stDisconnecting);
    }
    ASSERT_TRUE(
        l.WaitFor([&](const Words& W, const std::string&) { return W.size() > seen && W.back() == "Disconnected"; }));
    EXPECT_TRUE(OpenPortExclusive(pty.SlavePath()).Valid());
    ::close(watch);
}
