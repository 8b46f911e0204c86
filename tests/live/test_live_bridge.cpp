#include "bridge_run.h"

#include "live/access.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

// A TCP connection of the test's own, for the flood.
int ConnectTcp(std::uint16_t Port)
{
    const int Fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in A {};
    A.sin_family = AF_INET;
    A.sin_port = htons(Port);
    A.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(Fd, reinterpret_cast<sockaddr*>(&A), sizeof A) != 0) {
        ::close(Fd);
        return -1;
    }
    return Fd;
}

// Reads whatever waits, without waiting.
std::string Drain(int Fd)
{
    std::string Out;
    char Buf[4096];
    ssize_t N;
    while ((N = ::recv(Fd, Buf, sizeof Buf, MSG_DONTWAIT)) > 0)
        Out.append(Buf, static_cast<std::size_t>(N));
    return Out;
}

std::uint16_t FreePort()
{
    const int Fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in A {};
    A.sin_family = AF_INET;
    A.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t Len = sizeof A;
    const bool Bound = ::bind(Fd, reinterpret_cast<sockaddr*>(&A), sizeof A) == 0
        && ::getsockname(Fd, reinterpret_cast<sockaddr*>(&A), &Len) == 0;
    ::close(Fd);
    return Bound ? ntohs(A.sin_port) : 0;
}

void Loopback(std::vector<TListenAddress>& To)
{
    To.push_back(TListenAddress {"127.0.0.1", 0});
}

} // namespace

// Every input, one after the other, with the client a playout system would
// use: each text reaches the encoder once, in order, and nothing else does.
TEST(LiveBridge, EachInputPutsItsTextOnAirInOrder)
{
    TTempDir Dir;
    TBridgeRun B;
    ASSERT_TRUE(B.StartSim());
    Loopback(B.O.Http);
    Loopback(B.O.Tcp);
    Loopback(B.O.Udp);
    const std::string File = Dir.File("nowplaying.txt");
    B.O.Files.push_back(File);
    TSkipRule Skip;
    ASSERT_FALSE(ParseSkipRule("title~^(ADV|JINGLE)", Skip));
    B.O.Rules.Skip.push_back(Skip);

    std::vector<TShellResult> Answers;
    std::string Status;
    B.Run([&] {
        Answers.push_back(B.Curl("-G --data-urlencode 'artist=Artist 1' --data-urlencode 'title=Title 1' " + B.Url()));
        if (!B.WaitWrite("Artist 1 - Title 1"))
            return;
        Answers.push_back(B.Curl("--data-urlencode 'artist=Artist 2' --data-urlencode 'title=Title 2' " + B.Url()));
        if (!B.WaitWrite("Artist 2 - Title 2"))
            return;
        Answers.push_back(B.Curl("-G --data-urlencode 'title=ADV spring sale' " + B.Url()));
        Answers.push_back(B.Socat("ARTIST=Artist 3\\r\\nTITLE=Title 3\\n"));
        if (!B.WaitWrite("Artist 3 - Title 3"))
            return;
        Answers.push_back(B.Datagram("Artist 4 - Title 4\n"));
        if (!B.WaitWrite("Artist 4 - Title 4"))
            return;
        // Rewritten in place; an editor's swap file beside it is no update.
        WriteFile(File, "Artist 5 - Title 5\nsecond line\n");
        if (!B.WaitWrite("Artist 5 - Title 5"))
            return;
        WriteFile(Dir.File(".nowplaying.txt.swp"), "Swap - File\n");
        // Replaced by a rename.
        WriteFile(Dir.File("nowplaying.txt.new"), "Artist 6 - Title 6\n");
        std::filesystem::rename(Dir.File("nowplaying.txt.new"), File);
        if (!B.WaitWrite("Artist 6 - Title 6"))
            return;
        // The same text again is answered, and not sent again.
        Answers.push_back(B.Curl("-G --data-urlencode 'text=Artist 6 - Title 6' " + B.Url()));
        Status = B.Curl(B.Url("status")).Out;
    });
    EXPECT_EQ(B.Code, 0);
    EXPECT_EQ(B.Writes(),
        (std::vector<std::string> {"Artist 1 - Title 1", "Artist 2 - Title 2", "Artist 3 - Title 3",
            "Artist 4 - Title 4", "Artist 5 - Title 5", "Artist 6 - Title 6"}));
    ASSERT_EQ(Answers.size(), 6u);
    EXPECT_EQ(Answers[0].Out, "Artist 1 - Title 1\n\n200");
    EXPECT_EQ(Answers[1].Out, "Artist 2 - Title 2\n\n200");
    EXPECT_EQ(Answers[2].Out, "skipped (title~^(ADV|JINGLE))\n\n200");
    EXPECT_EQ(Answers[3].Out, "OK waiting for TITLE\nOK Artist 3 - Title 3\n");
    EXPECT_EQ(Answers[4].Code, 0) << Answers[4].Out;
    EXPECT_EQ(Answers[5].Out, "Artist 6 - Title 6\n\n200");
    EXPECT_TRUE(Contains(Status, "\"connected\": true")) << Status;
    EXPECT_TRUE(Contains(Status, "\"on_air\": \"Artist 6 - Title 6\"")) << Status;
    EXPECT_TRUE(Contains(Status, "\"queue\": null")) << Status;
    // Every change is logged with its source.
    EXPECT_TRUE(B.Logged("INFO [")) << "time-stamped records";
    EXPECT_TRUE(B.Logged("http 127.0.0.1:"));
    EXPECT_TRUE(B.Logged("tcp 127.0.0.1:"));
    EXPECT_TRUE(B.Logged("udp 127.0.0.1:"));
    EXPECT_TRUE(B.Logged("file " + File + ": TEXT=\"Artist 5 - Title 5\""));
    EXPECT_TRUE(B.Logged("(the same as before)"));
}

// Without the token, from a source not allowed, or too large: refused, and
// the encoder hears nothing of it. The right request still gets through.
TEST(LiveBridge, RequestsWithoutTheTokenFromOtherSourcesOrTooLargeChangeNothing)
{
    TBridgeRun B;
    ASSERT_TRUE(B.StartSim());
    Loopback(B.O.Http);
    Loopback(B.O.Tcp);
    Loopback(B.O.Udp);
    B.O.Token = "s3cret";
    TAddressPrefix Only;
    ASSERT_FALSE(ParseAddressPrefix("127.0.0.1/32", Only));
    B.O.Allow.push_back(Only);

    std::vector<TShellResult> A;
    std::string Big(1 << 20, 'x');
    TTempDir Dir;
    const std::string BigFile = Dir.Write("big", "text=" + Big + "&token=s3cret");
    const std::string BigLine = Dir.Write("line", "TOKEN=s3cret\n" + Big + "\n");
    bool Through = false;
    B.Run([&] {
        A.push_back(B.Curl("-G --data-urlencode 'text=No token' " + B.Url()));
        A.push_back(B.Curl("-G --data-urlencode 'text=Wrong token' --data-urlencode token=guess " + B.Url()));
        A.push_back(B.Socat("TEXT=No token\\n"));
        A.push_back(B.Datagram("Not allowed", "127.0.0.7"));
        A.push_back(B.Curl("--data-binary @" + BigFile + " " + B.Url()));
        A.push_back(B.Curl("'" + B.Url("?token=s3cret&text=" + std::string(100000, 'y')) + "'"));
        A.push_back(Shell("socat -t 2 - TCP:127.0.0.1:" + std::to_string(B.Ports.at("tcp")) + " < " + BigLine));
        A.push_back(B.Datagram(std::string(60000, 'z')));
        // Give the refused ones time to have done harm, had they been taken.
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        A.push_back(B.Curl("-H 'Authorization: Bearer s3cret' -G --data-urlencode 'text=With token' " + B.Url()));
        Through = B.WaitWrite("With token");
    });
    EXPECT_EQ(B.Code, 0);
    EXPECT_TRUE(Through);
    EXPECT_EQ(B.Writes(), std::vector<std::string> {"With token"});
    ASSERT_EQ(A.size(), 9u);
    EXPECT_EQ(A[0].Out, "a token is needed (token=...)\n\n401");
    EXPECT_EQ(A[1].Out, "wrong token\n\n401");
    EXPECT_EQ(A[2].Out, "ERR a first line TOKEN=... is needed\n");
    EXPECT_TRUE(Contains(A[4].Out, "413")) << A[4].Out;
    EXPECT_TRUE(Contains(A[5].Out, "414")) << A[5].Out;
    EXPECT_TRUE(Contains(A[6].Out, "ERR a line longer than 4096 bytes")) << A[6].Out.substr(0, 200);
    EXPECT_EQ(A[8].Out, "With token\n\n200");
    EXPECT_TRUE(B.Logged("udp 127.0.0.7: refused: the source 127.0.0.7 is not allowed"));
    EXPECT_TRUE(B.Logged("refused: a datagram of 60000 bytes"));
    EXPECT_TRUE(B.Logged("refused: wrong token"));
}

// 1,000 updates in two seconds: one write per interval at most, each newer
// than the one before, and the last update is the last text on air.
TEST(LiveBridge, AFloodGivesOneWritePerIntervalWithTheNewestText)
{
    TBridgeRun B;
    ASSERT_TRUE(B.StartSim());
    Loopback(B.O.Tcp);
    B.O.MinInterval = 1;
    B.O.MaxRate = 10000;
    double Elapsed = 0;
    std::string Replies;
    B.Run([&] {
        const int Fd = ConnectTcp(B.Ports.at("tcp"));
        if (Fd < 0)
            return;
        const auto Start = Clock::now();
        for (int i = 1; i <= 1000; ++i) {
            const std::string Line = "TEXT=Flood " + std::to_string(i) + "\n";
            if (::send(Fd, Line.data(), Line.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(Line.size()))
                break;
            Replies += Drain(Fd);
            std::this_thread::sleep_until(Start + std::chrono::microseconds(2000 * i));
        }
        B.WaitWrite("Flood 1000");
        Elapsed = std::chrono::duration<double>(Clock::now() - Start).count();
        ::shutdown(Fd, SHUT_WR);
        pollfd P {Fd, POLLIN, 0};
        while (::poll(&P, 1, 2000) > 0) {
            const std::string More = Drain(Fd);
            if (More.empty())
                break;
            Replies += More;
        }
        ::close(Fd);
    });
    const std::vector<std::string> W = B.Writes();
    ASSERT_FALSE(W.empty());
    EXPECT_EQ(W.back(), "Flood 1000");
    // Writes start at least an interval apart.
    EXPECT_LE(static_cast<double>(W.size() - 1), Elapsed / B.O.MinInterval) << W.size() << " writes in " << Elapsed;
    EXPECT_GE(W.size(), 2u);
    int Before = 0;
    for (const std::string& T : W) {
        const int N = std::stoi(T.substr(6));
        EXPECT_GT(N, Before) << "an older text after a newer one";
        Before = N;
    }
    // Every update was taken and answered.
    EXPECT_TRUE(Contains(Replies, "OK Flood 1\n"));
    EXPECT_TRUE(Contains(Replies, "OK Flood 1000\n"));
}

// A write the encoder refuses, or does not answer, is logged and tried once
// more at the next interval; then the text waits for a new one.
TEST(LiveBridge, AFailedWriteIsTriedOnceMore)
{
    for (const char* Fault : {"--refuse", "--mute"}) {
        SCOPED_TRACE(Fault);
        TBridgeRun B;
        ASSERT_TRUE(B.StartSim({Fault, "TEXT="}));
        Loopback(B.O.Http);
        B.O.Timeout = 0.5;
        std::vector<std::string> Log;
        B.Run([&] {
            B.Curl("-G --data-urlencode 'text=Never on air' " + B.Url());
            if (!B.WaitLogged("given up until a new text comes"))
                return;
            // Several intervals more: no third attempt.
            std::this_thread::sleep_for(std::chrono::milliseconds(1500));
            Log = B.Sim.Log();
        });
        EXPECT_EQ(B.Code, 0);
        EXPECT_EQ(B.Writes(), (std::vector<std::string> {"Never on air", "Never on air"}));
        EXPECT_TRUE(B.Logged("it is tried once more in 0.3 s"));
        if (std::string(Fault) == "--refuse") {
            EXPECT_TRUE(B.Logged("the encoder refused TEXT=Never on air (it answered NO)"));
        } else {
            EXPECT_TRUE(B.Logged("no reply to TEXT=Never on air within 0.5 s"));
            // Unanswered, the line is out of step: the link is made again and
            // the encoder read again before the second attempt.
            const auto First = std::find(Log.begin(), Log.end(), "TEXT=Never on air");
            ASSERT_NE(First, Log.end());
            EXPECT_NE(std::find(First, Log.end(), "REV?"), Log.end());
        }
    }
}

// The link pulled and restored. The simulated encoder killed and started
// again on the same link path has lost the text: it is sent again. Behind a
// TCP hop that breaks and comes back, the encoder still holds it: it is read
// and not written again, unless something else changed it meanwhile.
TEST(LiveBridge, AfterTheLinkComesBackTheEncoderHoldsTheCurrentText)
{
    TTempDir Dir;
    {
        TBridgeRun B;
        const std::string Link = Dir.File("encoder");
        B.O.Port = Link;
        ASSERT_TRUE(B.StartSim({"--link", Link}));
        Loopback(B.O.Http);
        bool Again = false;
        B.Run([&] {
            B.Curl("-G --data-urlencode 'text=Before the cut' " + B.Url());
            if (!B.WaitWrite("Before the cut"))
                return;
            B.Sim.Stop(SIGKILL);
            if (!B.WaitLogged("no link to " + Link))
                return;
            if (!B.Sim.Start({"--link", Link}))
                return;
            Again = B.WaitWrite("Before the cut", 30000);
        });
        EXPECT_TRUE(Again);
        EXPECT_TRUE(B.Logged("the encoder does not hold the current text: it goes out again"));
    }
    {
        TBridgeRun B;
        ASSERT_TRUE(B.StartSim());
        const std::uint16_t Hop = FreePort();
        const std::string Socat = "socat TCP-LISTEN:" + std::to_string(Hop)
            + ",bind=127.0.0.1,reuseaddr FILE:" + B.Sim.Path() + ",raw,echo=0";
        auto StartHop = [&] {
            const pid_t Pid = ::fork();
            if (Pid == 0) {
                ::execl("/bin/sh", "sh", "-c", ("exec " + Socat).c_str(), static_cast<char*>(nullptr));
                ::_exit(127);
            }
            return Pid;
        };
        pid_t Pid = StartHop();
        B.O.Port = "tcp://127.0.0.1:" + std::to_string(Hop);
        Loopback(B.O.Http);
        std::vector<std::string> AfterHop;
        B.Run([&] {
            B.Curl("-G --data-urlencode 'text=Over the hop' " + B.Url());
            if (!B.WaitWrite("Over the hop"))
                return;
            ::kill(Pid, SIGTERM);
            ::waitpid(Pid, nullptr, 0);
            if (!B.WaitLogged("no link to tcp://"))
                return;
            const std::size_t Seen = B.Sim.Log().size();
            Pid = StartHop();
            // Read again and found holding it: nothing written.
            if (!WaitUntil([&] { return B.Logged("the encoder holds TEXT=\"Over the hop\""); }, 30000))
                return;
            const auto L = B.Sim.Log();
            AfterHop.assign(L.begin() + static_cast<long>(Seen), L.end());
            // Changed by someone else while the hop was down: it goes out again.
            ::kill(Pid, SIGTERM);
            ::waitpid(Pid, nullptr, 0);
            if (!B.Sim.Open())
                return;
            B.Sim.Ask("ECHO=0");
            if (!TKvxsim::EndsWith(B.Sim.Ask("TEXT=Someone else"), "\r\nOK\r\n"))
                return;
            B.Sim.CloseClient();
            Pid = StartHop();
            WaitUntil([&] { return B.Writes().size() == 3; }, 30000);
        });
        ::kill(Pid, SIGTERM);
        ::waitpid(Pid, nullptr, 0);
        EXPECT_NE(std::find(AfterHop.begin(), AfterHop.end(), "TEXT?"), AfterHop.end());
        EXPECT_EQ(std::find(AfterHop.begin(), AfterHop.end(), "TEXT=Over the hop"), AfterHop.end());
        EXPECT_EQ(B.Writes(), (std::vector<std::string> {"Over the hop", "Someone else", "Over the hop"}));
    }
}

// Silence after the last update brings the idle text; the next update ends it.
TEST(LiveBridge, TheIdleTextFollowsSilence)
{
    TBridgeRun B;
    ASSERT_TRUE(B.StartSim());
    Loopback(B.O.Udp);
    B.O.IdleText = "Radio Korvane – Musik";
    B.O.IdleAfter = 1;
    B.Run([&] {
        B.Datagram("TEXT=First song");
        if (!B.WaitWrite("First song") || !B.WaitWrite("Radio Korvane - Musik"))
            return;
        B.Datagram("TEXT=Second song");
        B.WaitWrite("Second song");
    });
    const auto W = B.Writes();
    ASSERT_GE(W.size(), 3u);
    EXPECT_EQ(std::vector<std::string>(W.begin(), W.begin() + 3),
        (std::vector<std::string> {"First song", "Radio Korvane - Musik", "Second song"}));
    EXPECT_TRUE(B.Logged("TEXT: \xe2\x80\x93 -> - replaced"));
}

// An input that cannot be opened ends the run at once, and says why.
TEST(LiveBridge, AnInputThatCannotListenEndsTheRun)
{
    const int Fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in A {};
    A.sin_family = AF_INET;
    A.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t Len = sizeof A;
    ASSERT_EQ(::bind(Fd, reinterpret_cast<sockaddr*>(&A), sizeof A), 0);
    ASSERT_EQ(::listen(Fd, 1), 0);
    ::getsockname(Fd, reinterpret_cast<sockaddr*>(&A), &Len);
    TBridgeRun B;
    B.O.Port = "/nonexistent/tty";
    B.O.Tcp.push_back(TListenAddress {"127.0.0.1", ntohs(A.sin_port)});
    bool Ran = false;
    B.Run([&] { Ran = true; });
    ::close(Fd);
    EXPECT_EQ(B.Code, 2);
    EXPECT_FALSE(Ran);
    EXPECT_TRUE(B.Logged("cannot listen for TCP on 127.0.0.1:")) << "and why";
}
