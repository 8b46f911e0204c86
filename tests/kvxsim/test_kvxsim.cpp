#include "support/kvxsim_process.h"
#include "support/temp_dir.h"
#include "support/thread_switches.h"
#include "support/wait_until.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::string value(const std::string& v)
{
    return "\r\n" + v + "\r\nOK\r\n";
}
const std::string OK = "\r\nOK\r\n";
const std::string NO = "\r\nNO\r\n";

class Sim : public ::testing::Test {
protected:
    void startQuiet(const std::vector<std::string>& args = {})
    {
        ASSERT_TRUE(sim.StartAsClient(args));
        ASSERT_TRUE(sim.EchoOff());
    }
    TKvxsim sim;
};

TEST_F(Sim, QueriesAnswerFactoryValuesInTheirForms)
{
    startQuiet({"--hardware", "HW-9", "--serial", "SN4711"});
    const std::string blank64(64, ' ');
    const struct {
        const char* cmd;
        std::string reply;
    } cases[] = {
        {"REV?", value("HW:HW-9\r\nFW:01.03.105  2015/03/10 12:00:00")},
        {"SER?", value("SN4711")},
        {"PI?", value("FFFF")},
        {"PS?", value("\"RDS\"")},
        {"PTY?", value("0")},
        {"TA?", value("0")},
        {"TP?", value("0")},
        {"TATIME?", value("0")},
        {"MS?", value("1")},
        {"DI?", value("1")},
        {"MODE?", value("LOOP")},
        {"TEXT?", value("\"" + blank64 + "\"")},
        {"DPS?", value("\"" + blank64 + "\"")},
        {"DPSS?", value("0")},
        {"PARSE?", value("0")},
        {"AF1?", value("0")},
        {"AF7?", value("0")},
        {"PHASE?", value("0")},
        {"CT?", value("1")},
        {"ISDST?", value("0")},
        {"OFFSET?", value("+00:00")},
        {"PILOT?", value("LOCK")},
        {"DRTS?", value("0")},
        {"SYNC?", value("AUTO")},
        {"DST?", value("OFF")},
        {"AF8?", NO},
        {"ECHO?", NO},
        {"INIT?", NO},
        {"pi?", NO},
    };
    for (const auto& c : cases)
        EXPECT_EQ(sim.Ask(c.cmd), c.reply) << c.cmd;

    // The clock starts from the host's UTC.
    char today[16];
    std::time_t t = std::time(nullptr);
    std::strftime(today, sizeof today, "%d.%m.%y", std::gmtime(&t));
    std::string date = sim.Ask("DATE?");
    if (date != value(today)) { // midnight may have passed between the two readings
        t = std::time(nullptr);
        std::strftime(today, sizeof today, "%d.%m.%y", std::gmtime(&t));
    }
    EXPECT_EQ(date, value(today));
    EXPECT_TRUE(std::regex_match(sim.Ask("TIME?"), std::regex("\r\n\\d\\d:\\d\\d:\\d\\d\r\nOK\r\n")));
}

TEST_F(Sim, SettingsAreValidatedAndReadBack)
{
    startQuiet();
    // setting, its expected answer, then (when accepted) a query and its value line
    const struct {
        const char* set;
        bool accepted;
        const char* query;
        const char* reads;
    } cases[] = {
        {"PI=c201", true, "PI?", "C201"},
        {"PI=00A5", true, "PI?", "00A5"},
        {"PI=12345", false, "", ""},
        {"PI=12G4", false, "", ""},
        {"PI=", false, "", ""},
        {"PS=RADIO 1 ", true, "PS?", "\"RADIO 1 \""},
        {"PS=123456789", false, "", ""},
        {"PTY=31", true, "PTY?", "31"},
        {"PTY=32", false, "", ""},
        {"PTY=-1", false, "", ""},
        {"PTY=", false, "", ""},
        {"TA=1", true, "TA?", "1"},
        {"TA=2", false, "", ""},
        {"TP=1", true, "TP?", "1"},
        {"MS=0", true, "MS?", "0"},
        {"CT=0", true, "CT?", "0"},
        {"CT=1 ", false, "", ""},
        {"TATIME=255", true, "TATIME?", "255"},
        {"TATIME=256", false, "", ""},
        {"DI=15", true, "DI?", "15"},
        {"DI=16", false, "", ""},
        {"MODE=1", true, "MODE?", "SIDE"},
        {"MODE=2", false, "", ""},
        {"DRTS=9", true, "DRTS?", "9"},
        {"DRTS=10", false, "", ""},
        {"DPSS=3", true, "DPSS?", "3"},
        {"PARSE=10", false, "", ""},
        {"AF2=204", true, "AF2?", "204"},
        {"AF2=205", false, "", ""},
        {"AF0=1", false, "", ""},
        {"PHASE=3599", true, "PHASE?", "3599"},
        {"PHASE=3600", false, "", ""},
        {"OFFSET=-05:30", true, "OFFSET?", "-05:30"},
        {"OFFSET=+15:00", true, "OFFSET?", "+15:00"},
        {"OFFSET=+16:00", false, "", ""},
        {"OFFSET=+05:45", true, "OFFSET?", "+05:45"},
        {"OFFSET=+12:45", true, "OFFSET?", "+12:45"},
        {"OFFSET=-09:30", true, "OFFSET?", "-09:30"},
        {"OFFSET=-03:15", true, "OFFSET?", "-03:15"},
        {"OFFSET=+05:20", false, "", ""},
        {"OFFSET=+05:60", false, "", ""},
        {"OFFSET=05:00", false, "", ""},
        {"SYNC=2", true, "SYNC?", "EXT"},
        {"SYNC=3", false, "", ""},
        {"DST=3", true, "DST?", "MANUAL"},
        {"DST=4", false, "", ""},
        {"DATE=29.02.16", true, "DATE?", "29.02.16"},
        {"DATE=29.02.15", false, "", ""},
        {"DATE=31.04.15", false, "", ""},
        {"DATE=1.1.15", false, "", ""},
        {"TIME=24:00:00", false, "", ""},
        {"TIME=12:60:00", false, "", ""},
        {"TEXT=\x01", false, "", ""},
        {"FOO=1", false, "", ""},
        {"FOO", false, "", ""},
        {"ECHO=2", false, "", ""},
    };
    for (const auto& c : cases) {
        ASSERT_EQ(sim.Ask(c.set), c.accepted ? OK : NO) << c.set;
        if (c.accepted) {
            EXPECT_EQ(sim.Ask(c.query), value(c.reads)) << c.set;
        }
    }

    const std::string text64(64, 'x');
    EXPECT_EQ(sim.Ask("TEXT=" + text64), OK);
    EXPECT_EQ(sim.Ask("TEXT?"), value("\"" + text64 + "\""));
    EXPECT_EQ(sim.Ask("TEXT=" + text64 + "x"), NO);
    EXPECT_EQ(sim.Ask("DPS=Hello"), OK);
    EXPECT_EQ(sim.Ask("DPS?"), value("\"Hello" + std::string(59, ' ') + "\""));

    // A refused setting leaves the value as it was; an overlong line is
    // refused whole, not cut down to a valid setting.
    EXPECT_EQ(sim.Ask("PI=C202" + std::string(3000, ' ')), NO);
    EXPECT_EQ(sim.Ask("PI?"), value("00A5"));
}

TEST_F(Sim, ClockRunsFromTheLastSettingAndDaylightSavingFollowsTheRule)
{
    startQuiet();
    ASSERT_EQ(sim.Ask("DATE=15.06.15"), OK);
    ASSERT_EQ(sim.Ask("TIME=12:00:00"), OK);
    EXPECT_EQ(sim.Ask("DATE?"), value("15.06.15"));
    EXPECT_TRUE(std::regex_match(sim.Ask("TIME?"), std::regex("\r\n12:0\\d:\\d\\d\r\nOK\r\n")));

    // rule, offset, date, time -> ISDST
    const struct {
        const char *dst, *offset, *date, *time, *isdst;
    } cases[] = {
        {"0", "+01:00", "01.07.15", "12:00:00", "0"},
        {"1", "+01:00", "01.07.15", "12:00:00", "1"},
        {"1", "+01:00", "15.01.15", "12:00:00", "0"},
        {"1", "+01:00", "29.03.15", "00:30:00", "0"}, // EU change at 01:00 UTC
        {"1", "+01:00", "29.03.15", "01:30:00", "1"},
        {"1", "+01:00", "25.10.15", "01:30:00", "0"},
        {"2", "-05:00", "08.03.15", "06:30:00", "0"}, // 01:30 EST
        {"2", "-05:00", "08.03.15", "07:30:00", "1"}, // 02:30 EST: daylight time
        {"2", "-05:00", "01.11.15", "05:30:00", "1"}, // 01:30 EDT
        {"2", "-05:00", "01.11.15", "06:30:00", "0"},
        {"3", "+00:00", "15.01.15", "12:00:00", "1"},
    };
    for (const auto& c : cases) {
        ASSERT_EQ(sim.Ask(std::string("DST=") + c.dst), OK);
        ASSERT_EQ(sim.Ask(std::string("OFFSET=") + c.offset), OK);
        ASSERT_EQ(sim.Ask(std::string("DATE=") + c.date), OK);
        ASSERT_EQ(sim.Ask(std::string("TIME=") + c.time), OK);
        EXPECT_EQ(sim.Ask("ISDST?"), value(c.isdst)) << c.dst << " " << c.date << " " << c.time;
    }
}

TEST_F(Sim, EchoesEachByteUntilSwitchedOff)
{
    ASSERT_TRUE(sim.StartAsClient({}));
    // Lines may end in CR, LF or CR LF; empty lines get no reply.
    sim.Send("PI?\r");
    EXPECT_EQ(sim.ReadReply(), "PI?\r" + value("FFFF"));
    sim.Send("\n");
    EXPECT_EQ(sim.ReadSome(5000), "\n");
    sim.Send("\r\n\nTP?\n");
    EXPECT_EQ(sim.ReadReply(), "\r\n\nTP?\n" + value("0"));
    sim.Send("PS");
    std::string early = sim.ReadSome(5000); // echoed before the line is complete
    if (early == "P")
        early += sim.ReadSome(5000);
    EXPECT_EQ(early, "PS");
    sim.Send("?\r");
    EXPECT_EQ(sim.ReadReply(), "?\r" + value("\"RDS\""));
    sim.Send("ECHO=0\r");
    EXPECT_EQ(sim.ReadReply(), "ECHO=0\r" + OK);
    EXPECT_EQ(sim.Ask("PI?"), value("FFFF"));
    sim.Send("ECHO=1\r");
    EXPECT_EQ(sim.ReadReply(), OK);
    sim.Send("TA?\r");
    EXPECT_EQ(sim.ReadReply(), "TA?\r" + value("0"));
}

TEST_F(Sim, InitRestoresFactorySettings)
{
    startQuiet();
    for (const char* s : {"PI=C201", "PS=RADIO", "TEXT=hello", "AF3=100", "DST=2", "OFFSET=-05:00"})
        ASSERT_EQ(sim.Ask(s), OK) << s;
    EXPECT_EQ(sim.Ask("INIT"), OK);
    EXPECT_EQ(sim.Ask("PI?"), value("FFFF"));
    EXPECT_EQ(sim.Ask("PS?"), value("\"RDS\""));
    EXPECT_EQ(sim.Ask("TEXT?"), value("\"" + std::string(64, ' ') + "\""));
    EXPECT_EQ(sim.Ask("AF3?"), value("0"));
    EXPECT_EQ(sim.Ask("DST?"), value("OFF"));
    EXPECT_EQ(sim.Ask("OFFSET?"), value("+00:00"));
    EXPECT_EQ(sim.Ask("PI?"), value("FFFF")); // echo stays as it was
}

TEST_F(Sim, FirmwareBelow103KnowsNoDaylightSavingOrSync)
{
    const struct {
        const char* firmware;
        const char* pilot;
        bool gated;
        const char* pilotReply;
    } cases[] = {
        {"01.02.992  2014/01/01 00:00:00", "lock", true, "LOCK"},
        {"01.02.992  2014/01/01 00:00:00", "free", true, "FREE"},
        {"01.03.000", "free", false, "NOLOCK"},
        // The third character is not looked at, as the manager does not.
        {"01 03", "free", false, "NOLOCK"},
        {"01.0x.000", "free", true, "FREE"},
        {"garbled", "lock", true, "LOCK"},
    };
    for (const auto& c : cases) {
        TKvxsim s;
        ASSERT_TRUE(s.StartAsClient({"--firmware", c.firmware, "--pilot", c.pilot}));
        ASSERT_TRUE(s.EchoOff());
        EXPECT_EQ(s.Ask("REV?"), value(std::string("HW:KVX-1\r\nFW:") + c.firmware));
        for (const char* cmd : {"ISDST?", "SYNC?", "DST?", "SYNC=1", "DST=1"})
            EXPECT_EQ(s.Ask(cmd) == NO, c.gated) << c.firmware << " " << cmd;
        EXPECT_EQ(s.Ask("PILOT?"), value(c.pilotReply)) << c.firmware;
        EXPECT_EQ(s.Ask("PI?"), value("FFFF"));
    }
}

TEST_F(Sim, StateSurvivesRestartAndLogKeepsEveryLine)
{
    TTempDir dir("kvxsim_test");
    const std::string state = (dir.Path() / "encoder.state").string();
    const std::string log = (dir.Path() / "encoder.log").string();
    const std::string link = (dir.Path() / "ttyKVX").string();
    {
        TKvxsim s;
        ASSERT_TRUE(s.StartAsClient({"--state", state, "--log", log, "--link", link}));
        EXPECT_EQ(fs::read_symlink(link).string(), s.Path());
        ASSERT_TRUE(s.EchoOff());
        for (const char* cmd : {"PI=C201", "PS=RADIO 1 ", "AF7=99", "OFFSET=-05:30", "DATE=01.02.15"})
            ASSERT_EQ(s.Ask(cmd), OK) << cmd;
        EXPECT_EQ(s.Ask("PTY=99"), NO);
        EXPECT_EQ(s.Stop(SIGINT), 0);
        EXPECT_FALSE(fs::exists(fs::symlink_status(link))); // removed at the end
    }
    EXPECT_EQ(ReadFile(log), "ECHO=0\nPI=C201\nPS=RADIO 1 \nAF7=99\nOFFSET=-05:30\nDATE=01.02.15\nPTY=99\n");
    std::vector<std::string> left; // no temporary file stays beside the state
    for (const auto& e : fs::directory_iterator(dir.Path()))
        left.push_back(e.path().filename().string());
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string> {"encoder.log", "encoder.state"}));

    TKvxsim s;
    ASSERT_TRUE(s.StartAsClient({"--state", state}));
    ASSERT_TRUE(s.EchoOff());
    EXPECT_EQ(s.Ask("PI?"), value("C201"));
    EXPECT_EQ(s.Ask("PS?"), value("\"RADIO 1 \""));
    EXPECT_EQ(s.Ask("AF7?"), value("99"));
    EXPECT_EQ(s.Ask("OFFSET?"), value("-05:30"));
    // The clock keeps running like a battery-backed one.
    const std::string date = s.Ask("DATE?");
    EXPECT_TRUE(date == value("01.02.15") || date == value("02.02.15")) << date;

    // A damaged state file loses only its damaged lines.
    s.Stop();
    std::ofstream(state, std::ios::trunc) << "PI=C202\nPS=far too long\nnonsense\nPTY=7\n";
    ASSERT_TRUE(s.StartAsClient({"--state", state}));
    ASSERT_TRUE(s.EchoOff());
    EXPECT_EQ(s.Ask("PI?"), value("C202"));
    EXPECT_EQ(s.Ask("PS?"), value("\"RDS\""));
    EXPECT_EQ(s.Ask("PTY?"), value("7"));
}

TEST_F(Sim, ServesTheNextClientAfterOneCloses)
{
    startQuiet();
    EXPECT_EQ(sim.Ask("PI=1234"), OK);
    sim.CloseClient();
    ASSERT_TRUE(sim.WaitForStderr("client left"));
    ASSERT_TRUE(sim.Open());
    EXPECT_EQ(sim.Ask("PI?"), value("1234"));

    // A reply the leaving client never read does not reach the next one.
    sim.Send("PS?\r");
    pollfd p {sim.Fd(), POLLIN, 0};
    ASSERT_EQ(poll(&p, 1, 10000), 1);
    sim.CloseClient();
    ASSERT_TRUE(sim.WaitForStderr("client left"));
    ASSERT_TRUE(sim.Open());
    EXPECT_EQ(sim.Ask("PI?"), value("1234"));
    EXPECT_EQ(sim.Stop(SIGTERM), 0);
}

TEST_F(Sim, DeviceOptionServesAGivenSerialLine)
{
    TTempDir dir("kvxsim_test");
    const std::string a = (dir.Path() / "a").string(), b = (dir.Path() / "b").string();
    pid_t socat = fork();
    if (socat == 0) {
        const std::string pa = "pty,raw,echo=0,link=" + a, pb = "pty,raw,echo=0,link=" + b;
        execlp("socat", "socat", pa.c_str(), pb.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    WaitUntil([&] { return fs::exists(a) && fs::exists(b); });
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    ASSERT_TRUE(sim.StartAsClient({"--device", a}));
    EXPECT_EQ(sim.Path(), a);
    // Talk through the other end of the pair.
    sim.CloseClient();
    int fd = ::open(b.c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(write(fd, "PI?\r", 4), 4);
    std::string got;
    while (!TKvxsim::EndsWith(got, OK) && std::chrono::steady_clock::now() < limit + std::chrono::seconds(10)) {
        pollfd p {fd, POLLIN, 0};
        char buf[256];
        if (poll(&p, 1, 100) > 0) {
            ssize_t n = read(fd, buf, sizeof buf);
            if (n <= 0)
                break;
            got.append(buf, static_cast<std::size_t>(n));
        }
    }
    ::close(fd);
    EXPECT_EQ(got, "PI?\r" + value("FFFF"));
    EXPECT_EQ(sim.Stop(), 0);
    kill(socat, SIGTERM);
    waitpid(socat, nullptr, 0);
}

TEST_F(Sim, RefuseMuteAndGarbageFaults)
{
    startQuiet({"--refuse", "PTY", "--mute", "PS?", "--garbage", "TA?"});
    EXPECT_EQ(sim.Ask("PTY?"), NO);
    EXPECT_EQ(sim.Ask("PTY=3"), NO);
    EXPECT_EQ(sim.Ask("PS=ABC"), OK); // only the query is muted
    sim.Send("PS?\r\n");
    EXPECT_EQ(sim.Ask("PI?"), value("FFFF")); // nothing came for PS?
    const std::string garbage = sim.Ask("TA?");
    EXPECT_TRUE(TKvxsim::EndsWith(garbage, OK));
    EXPECT_FALSE(std::regex_search(garbage, std::regex("\\d")));
    EXPECT_EQ(sim.Ask("TA=1"), OK);
}

TEST_F(Sim, CannedRepliesTheManagerMustSurvive)
{
    startQuiet({"--bare-ok", "PI?", "--reply", "SYNC?=ext", "--reply", "REV?=HW:A\\r\\nFW:B", "--reply", "PS==x",
        "--rev-one-line"});
    EXPECT_EQ(sim.Ask("PI?"), OK);
    EXPECT_EQ(sim.Ask("PI=C201"), OK);
    EXPECT_EQ(sim.Ask("SYNC?"), value("ext"));
    EXPECT_EQ(sim.Ask("REV?"), value("HW:A\r\nFW:B")); // a canned reply comes first
    EXPECT_EQ(sim.Ask("PS=ABC"), value("x"));          // not carried out...
    EXPECT_EQ(sim.Ask("PS?"), value("\"RDS\""));       // ...and the query is the model's
    TKvxsim one;
    ASSERT_TRUE(one.StartAsClient({"--rev-one-line", "--hardware", "H1"}));
    ASSERT_TRUE(one.EchoOff());
    EXPECT_EQ(one.Ask("REV?"), value("HW:H1"));
}

TEST_F(Sim, DelayedAndChunkedRepliesArriveWhole)
{
    startQuiet({"--delay", "300", "--chunk", "3", "--chunk-gap", "400"});
    sim.Send("PI?\r\n");
    const std::string first = sim.ReadSome(10000);
    EXPECT_FALSE(first.empty());
    EXPECT_LE(first.size(), 3u);
    EXPECT_EQ(first + sim.ReadReply(), value("FFFF"));
}

TEST_F(Sim, HangupAfterMakesTheTerminalGoAway)
{
    startQuiet({"--hangup-after", "2"}); // ECHO=0 was the first command
    // The second command's reply is the last thing the terminal gives: the
    // commands behind it in the same write are neither answered nor run.
    ASSERT_TRUE(sim.Send("PI?\r\nPS?\r\nECHO=1\r\nPI?\r\n"));
    std::string got;
    bool gone = false;
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!gone && std::chrono::steady_clock::now() < limit) {
        pollfd p {sim.Fd(), POLLIN, 0};
        if (poll(&p, 1, 100) > 0 && (p.revents & (POLLHUP | POLLERR)))
            gone = true;
        if (p.revents & POLLIN) {
            char c;
            ssize_t n = read(sim.Fd(), &c, 1);
            if (n == 1)
                got += c;
            gone = gone || n == 0 || (n < 0 && errno == EIO);
        }
    }
    EXPECT_TRUE(gone);
    EXPECT_EQ(got, value("FFFF"));
    sim.CloseClient();
    EXPECT_FALSE(sim.Open()); // the terminal no longer exists
    EXPECT_EQ(sim.Stop(SIGTERM), 0);
}

TEST_F(Sim, WaitsForAClientWithoutWakingUp)
{
    ASSERT_TRUE(sim.Start({}));
    // Settled: the start-up's own work is done once the terminal is printed.
    ServeUntil([] { return false; }, 100);
    const long before = ProcessSwitches(sim.Pid());
    ServeUntil([] { return false; }, 300);
    EXPECT_EQ(ProcessSwitches(sim.Pid()), before) << "no client: nothing to wake up for";
    // The client that opens the terminal is served, and so is the next one.
    ASSERT_TRUE(sim.Open());
    ASSERT_TRUE(sim.EchoOff());
    sim.CloseClient();
    ASSERT_TRUE(sim.WaitForStderr("client left"));
    ServeUntil([] { return false; }, 100);
    const long idle = ProcessSwitches(sim.Pid());
    ServeUntil([] { return false; }, 300);
    EXPECT_EQ(ProcessSwitches(sim.Pid()), idle);
    ASSERT_TRUE(sim.Open());
    EXPECT_EQ(sim.Ask("PI?"), value("FFFF"));
}

TEST_F(Sim, ALineRateDeliversNoByteBeforeItsTimeAndReportsTheWire)
{
    // 2400 bit/s: 10 bits a byte, 4.17 ms each.
    constexpr double byteMs = 10.0 * 1000 / 2400;
    startQuiet({"--baud", "2400"});
    using Clock = std::chrono::steady_clock;
    const auto sent = Clock::now();
    ASSERT_TRUE(sim.Send("PI?\r\n"));
    // Bytes may come late on a busy machine, never early: the reply's k-th
    // byte leaves once the command's four bytes up to CR are in and the k
    // bytes before it are out.
    std::string got;
    std::vector<double> at;
    while (got.size() < value("FFFF").size()) {
        const std::string b = sim.ReadSome(10000);
        ASSERT_FALSE(b.empty());
        const double ms = std::chrono::duration<double, std::milli>(Clock::now() - sent).count();
        for (char c : b) {
            got += c;
            at.push_back(ms);
        }
    }
    EXPECT_EQ(got, value("FFFF"));
    for (std::size_t k = 0; k < at.size(); ++k)
        EXPECT_GE(at[k], (4 + k + 1) * byteMs) << "byte " << k;
    // Every byte each way counts once: ECHO=0 CR LF and PI? CR LF in; the echo
    // of ECHO=0 CR, two replies out.
    EXPECT_EQ(sim.Stop(), 0);
    const std::regex report("line of 2400 bit/s: 13 bytes in, 25 bytes out, wire time 158\\.333 ms");
    EXPECT_TRUE(std::regex_search(sim.ErrorOutput(), report)) << sim.ErrorOutput();
}

TEST_F(Sim, BabbleNeverEndsALine)
{
    ASSERT_TRUE(sim.StartAsClient({"--babble"}));
    std::string got;
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (got.size() < 2000 && std::chrono::steady_clock::now() < limit)
        got += sim.ReadSome(100);
    EXPECT_GE(got.size(), 2000u);
    EXPECT_EQ(got.find_first_of("\r\n"), std::string::npos);
}

// Runs kvxsim with Args (no terminal is made when they are refused); its
// exit code and what it printed on both outputs.
std::pair<int, std::string> runSim(const std::string& args)
{
    std::string out;
    FILE* p = popen((std::string(KVXSIM_PATH) + " " + args + " 2>&1 </dev/null").c_str(), "r");
    if (!p)
        return {-1, out};
    char buf[1024];
    for (std::size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;)
        out.append(buf, n);
    const int st = pclose(p);
    return {WIFEXITED(st) ? WEXITSTATUS(st) : -1, out};
}

TEST(KvxsimCommandLine, HelpDocumentsEveryOption)
{
    const auto [rc, out] = runSim("--help");
    EXPECT_EQ(rc, 0);
    for (const char* opt : {"--device", "--link", "--firmware", "--hardware", "--serial", "--pilot", "--state", "--log",
             "--refuse", "--mute", "--garbage", "--delay", "--chunk", "--chunk-gap", "--hangup-after", "--babble",
             "--bare-ok", "--reply", "--rev-one-line", "--delay-word", "--baud", "--help", "--version"})
        EXPECT_NE(out.find(opt), std::string::npos) << opt;
}

TEST(KvxsimCommandLine, OptionsByGetoptRulesAndOneLineFaults)
{
    const struct {
        const char* args;
        int rc;
        const char* out; // the whole output when rc is not 0, else a part of it
    } cases[] = {
        {"--version", 0, "kvxsim 1."},
        {"--chunk 0", 2, "kvxsim: --chunk: not a valid number: 0\n"},
        {"--chunk=0", 2, "kvxsim: --chunk: not a valid number: 0\n"},
        {"--baud 0", 2, "kvxsim: --baud: not a valid number: 0\n"},
        {"--bogus", 2, "kvxsim: unknown option --bogus (see --help)\n"},
        {"-x", 2, "kvxsim: unknown option -x (see --help)\n"},
        {"--link", 2, "kvxsim: --link needs a value (see --help)\n"},
        {"--babble=1", 2, "kvxsim: --babble takes no value (see --help)\n"},
        {"--reply NOEQUALS", 2, "kvxsim: --reply takes WORD=TEXT: NOEQUALS\n"},
        {"stray", 2, "kvxsim: takes no arguments, not 'stray' (see --help)\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args);
        const auto [rc, out] = runSim(c.args);
        EXPECT_EQ(rc, c.rc);
        if (c.rc)
            EXPECT_EQ(out, c.out);
        else
            EXPECT_NE(out.find(c.out), std::string::npos) << out;
    }
    // A value given after "=" may hold "=" itself.
    TKvxsim sim;
    ASSERT_TRUE(sim.StartAsClient({"--serial=SN=7", "--firmware=01.02.992"}));
    ASSERT_TRUE(sim.EchoOff());
    EXPECT_EQ(sim.Ask("SER?"), value("SN=7"));
    EXPECT_EQ(sim.Ask("REV?"), value("HW:KVX-1\r\nFW:01.02.992"));
}

} // namespace
