#include "_conn/comm_port_driver.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <functional>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

#include <dirent.h>

#include "support/pty.h"
#include "support/wait_until.h"

namespace {

// Collects what the driver's receive path hands over.
class TReceiver {
public:
    void OnData(TCommPortDriver*, void* Data, std::uint32_t Size)
    {
        std::lock_guard lock(FLock);
        FStream.append(static_cast<const char*>(Data), Size);
    }
    void OnPacket(TCommPortDriver*, void* Data, std::uint32_t Size)
    {
        std::lock_guard lock(FLock);
        FPackets.emplace_back(static_cast<const char*>(Data), Size);
    }
    std::string Stream() const
    {
        std::lock_guard lock(FLock);
        return FStream;
    }
    std::vector<std::string> Packets() const
    {
        std::lock_guard lock(FLock);
        return FPackets;
    }

private:
    mutable std::mutex FLock;
    std::string FStream;
    std::vector<std::string> FPackets;
};

// A driver as made has no port open (its line settings as made are the
// "defaults" row of the termios table below).
TEST(CommPortDriver, EverythingOnAClosedPortIsHarmless)
{
    TCommPortDriver d;
    EXPECT_FALSE(d.Connected());
    EXPECT_EQ(d.Handle(), INVALID_PORT_HANDLE);
    EXPECT_EQ(d.CountRX(), 65535);
    EXPECT_EQ(d.OutFreeSpace(), 65535);
    std::uint8_t buf[4];
    EXPECT_EQ(d.ReadData(buf, 4), 0u);
    EXPECT_EQ(d.SendDataEx("abc", 3, 100), 0u);
    EXPECT_FALSE(d.FlushBuffers(true, true));
    EXPECT_TRUE(d.GetLineStatus().Empty());
    EXPECT_EQ(d.WaitForInput(0), pwClosed);
    d.ToggleDTR(true);
    d.SetBreak();
}

struct SetterCase {
    const char* Name;
    std::function<void(TCommPortDriver&)> Act;
    std::function<void(const TCommPortDriver&)> Check;
};

TEST(CommPortDriver, SetterRules)
{
    const SetterCase cases[] = {
        {"Port gives the numbered device path", [](auto& d) { d.SetPort(pnCOM12); },
            [](auto& d) {
                EXPECT_EQ(d.PortName(), "/dev/ttyS11");
                EXPECT_EQ(d.Port(), pnCOM12);
            }},
        {"PortName makes Port custom",
            [](auto& d) {
                d.SetPort(pnCOM3);
                d.SetPortName("/dev/ttyUSB0");
            },
            [](auto& d) {
                EXPECT_EQ(d.PortName(), "/dev/ttyUSB0");
                EXPECT_EQ(d.Port(), pnCustom);
            }},
        {"pnCustom keeps the name",
            [](auto& d) {
                d.SetPortName("/dev/ttyACM0");
                d.SetPort(pnCustom);
            },
            [](auto& d) { EXPECT_EQ(d.PortName(), "/dev/ttyACM0"); }},
        {"BaudRate sets the value", [](auto& d) { d.SetBaudRate(br115200); },
            [](auto& d) { EXPECT_EQ(d.BaudRateValue(), 115200u); }},
        {"brCustom keeps the value",
            [](auto& d) {
                d.SetBaudRate(br57600);
                d.SetBaudRate(brCustom);
            },
            [](auto& d) {
                EXPECT_EQ(d.BaudRateValue(), 57600u);
                EXPECT_EQ(d.BaudRate(), brCustom);
            }},
        {"BaudRateValue makes the rate custom", [](auto& d) { d.SetBaudRateValue(0); },
            [](auto& d) {
                EXPECT_EQ(d.BaudRateValue(), 0u);
                EXPECT_EQ(d.BaudRate(), brCustom);
            }},
        {"InBufSize clamps low",
            [](auto& d) {
                d.SetInBufSize(50);
                d.SetOutBufSize(50);
            },
            [](auto& d) {
                EXPECT_EQ(d.InBufSize(), 128u);
                EXPECT_EQ(d.OutBufSize(), 128u);
            }},
        {"InBufSize clamps high",
            [](auto& d) {
                d.SetInBufSize(100000);
                d.SetOutBufSize(100000);
            },
            [](auto& d) {
                EXPECT_EQ(d.InBufSize(), 8192u);
                EXPECT_EQ(d.OutBufSize(), 8192u);
            }},
        {"PacketSize 0 means no packets",
            [](auto& d) {
                d.SetPacketSize(16);
                d.SetPacketSize(0);
            },
            [](auto& d) { EXPECT_EQ(d.PacketSize(), -1); }},
        {"PacketSize above InBufSize raises it", [](auto& d) { d.SetPacketSize(4000); },
            [](auto& d) {
                EXPECT_EQ(d.PacketSize(), 4000);
                EXPECT_EQ(d.InBufSize(), 4000u);
            }},
        {"a smaller InBufSize still fits the packet",
            [](auto& d) {
                d.SetPacketSize(4000);
                d.SetInBufSize(1000);
            },
            [](auto& d) {
                EXPECT_EQ(d.InBufSize(), 4000u);
                EXPECT_EQ(d.PacketSize(), 4000);
            }},
        {"PacketSize never exceeds the largest block", [](auto& d) { d.SetPacketSize(20000); },
            [](auto& d) {
                EXPECT_EQ(d.PacketSize(), 8192);
                EXPECT_EQ(d.InBufSize(), 8192u);
            }},
        {"PollingDelay has a floor", [](auto& d) { d.SetPollingDelay(1); },
            [](auto& d) { EXPECT_EQ(d.PollingDelay(), 5); }},
        {"a short PacketTimeout is raised", [](auto& d) { d.SetPacketTimeout(10); },
            [](auto& d) { EXPECT_EQ(d.PacketTimeout(), 70); }},
        {"PacketTimeout 0 means none",
            [](auto& d) {
                d.SetPacketTimeout(100);
                d.SetPacketTimeout(0);
            },
            [](auto& d) { EXPECT_EQ(d.PacketTimeout(), -1); }},
        {"a longer PollingDelay raises PacketTimeout again",
            [](auto& d) {
                d.SetPacketTimeout(100);
                d.SetPollingDelay(200);
            },
            [](auto& d) { EXPECT_EQ(d.PacketTimeout(), 280); }},
        {"pauses are counted",
            [](auto& d) {
                d.PausePolling();
                d.PausePolling();
                d.ContinuePolling();
            },
            [](auto& d) { EXPECT_FALSE(d.IsPolling()); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TCommPortDriver d;
        c.Act(d);
        c.Check(d);
    }
}

TEST(CommPortDriver, OpenPortKeepsNameAndSizes)
{
    TPty pty;
    TCommPortDriver d;
    d.SetPortName(pty.SlavePath());
    ASSERT_TRUE(d.Connect());
    const int handle = d.Handle();
    EXPECT_TRUE(d.Connect());
    EXPECT_EQ(d.Handle(), handle);

    d.SetPort(pnCOM4);
    d.SetPortName("/dev/ttyS9");
    d.SetInBufSize(512);
    d.SetOutBufSize(512);
    d.SetPacketSize(4000); // the open block cannot grow
    EXPECT_EQ(d.PortName(), pty.SlavePath());
    EXPECT_EQ(d.Port(), pnCustom);
    EXPECT_EQ(d.InBufSize(), 2048u);
    EXPECT_EQ(d.OutBufSize(), 2048u);
    EXPECT_EQ(d.PacketSize(), 2048);

    d.Disconnect();
    EXPECT_FALSE(d.Connected());
    EXPECT_EQ(d.Handle(), INVALID_PORT_HANDLE);
}

TEST(CommPortDriver, RefusedOpensLeaveNothingOpen)
{
    TPty pty;
    const int before = OpenDescriptorCount();
    TCommPortDriver d;
    for (const std::string path : {"/dev/null", "/nonexistent/ttyQ7", ""}) {
        SCOPED_TRACE(path);
        d.SetPortName(path);
        EXPECT_FALSE(d.Connect());
        EXPECT_FALSE(d.Connected());
    }
    // A port held by another driver is refused until it is let go.
    TCommPortDriver holder;
    holder.SetPortName(pty.SlavePath());
    ASSERT_TRUE(holder.Connect());
    d.SetPortName(pty.SlavePath());
    EXPECT_FALSE(d.Connect());
    holder.Disconnect();
    EXPECT_TRUE(d.Connect());
    d.Disconnect();
    EXPECT_EQ(OpenDescriptorCount(), before);
}

struct LineCase {
    const char* Name;
    std::function<void(TCommPortDriver&)> Setup;
    tcflag_t CflagOn, CflagOff, IflagOn;
    speed_t Speed; // 0: not checked here
};

// A pseudo-terminal always reads back CS8 without PARENB (it has no UART), so
// the character size and the parity switch itself cannot be seen here; every
// other flag is the slave's own, read through the master.
TEST(CommPortDriver, AppliedLineSettingsReadBackThroughMaster)
{
    const LineCase cases[] = {
        {"defaults", [](auto&) {}, 0, PARODD | CMSPAR | CSTOPB | CRTSCTS, 0, B9600},
        {"7E2",
            [](auto& d) {
                d.SetDataBits(db7BITS);
                d.SetParity(ptEVEN);
                d.SetStopBits(sb2BITS);
            },
            CSTOPB, PARODD | CMSPAR, 0, 0},
        {"5O1.5",
            [](auto& d) {
                d.SetDataBits(db5BITS);
                d.SetParity(ptODD);
                d.SetStopBits(sb1HALFBITS);
            },
            PARODD | CSTOPB, CMSPAR, 0, 0},
        {"mark", [](auto& d) { d.SetParity(ptMARK); }, PARODD | CMSPAR, CSTOPB, 0, 0},
        {"space", [](auto& d) { d.SetParity(ptSPACE); }, CMSPAR, PARODD, 0, 0},
        {"RTS/CTS", [](auto& d) { d.SetHwFlow(hfRTSCTS); }, CRTSCTS, 0, 0, 0},
        {"XON/XOFF", [](auto& d) { d.SetSwFlow(sfXONXOFF); }, 0, CRTSCTS, IXON | IXOFF, 0},
        {"115200", [](auto& d) { d.SetBaudRate(br115200); }, 0, 0, 0, B115200},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TPty pty;
        TCommPortDriver d;
        d.SetPortName(pty.SlavePath());
        c.Setup(d);
        ASSERT_TRUE(d.Connect());
        termios t {};
        ASSERT_EQ(tcgetattr(pty.Master(), &t), 0);
        // Truly raw, whatever else is asked for.
        EXPECT_EQ(t.c_iflag & (ICRNL | INLCR | IGNCR | ISTRIP | INPCK | BRKINT | IXANY), 0u);
        EXPECT_EQ(t.c_oflag & OPOST, 0u);
        EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ECHONL | ISIG | IEXTEN), 0u);
        EXPECT_EQ(t.c_cflag & (CLOCAL | CREAD), CLOCAL | CREAD);
        EXPECT_EQ(t.c_cflag & HUPCL, 0u);
        EXPECT_EQ(t.c_cc[VMIN], 0);
        EXPECT_EQ(t.c_cc[VTIME], 0);
        EXPECT_EQ(t.c_cflag & c.CflagOn, c.CflagOn);
        EXPECT_EQ(t.c_cflag & c.CflagOff, 0u);
        EXPECT_EQ(t.c_iflag & (IXON | IXOFF), c.IflagOn);
        if (c.IflagOn) {
            EXPECT_EQ(t.c_cc[VSTART], 0x11);
            EXPECT_EQ(t.c_cc[VSTOP], 0x13);
        }
        if (c.Speed) {
            EXPECT_EQ(cfgetospeed(&t), c.Speed);
        }
    }
}

TEST(CommPortDriver, RateZeroKeepsTheLineRateAndChangesApplyWhileOpen)
{
    TPty pty;
    termios t {};
    ASSERT_EQ(tcgetattr(pty.Master(), &t), 0);
    cfsetospeed(&t, B4800);
    cfsetispeed(&t, B4800);
    ASSERT_EQ(tcsetattr(pty.Master(), TCSANOW, &t), 0);

    TCommPortDriver d;
    d.SetPortName(pty.SlavePath());
    d.SetBaudRateValue(0);
    ASSERT_TRUE(d.Connect());
    ASSERT_EQ(tcgetattr(pty.Master(), &t), 0);
    EXPECT_EQ(cfgetospeed(&t), B4800);

    d.SetStopBits(sb2BITS);
    ASSERT_EQ(tcgetattr(pty.Master(), &t), 0);
    EXPECT_EQ(t.c_cflag & CSTOPB, static_cast<tcflag_t>(CSTOPB));
    EXPECT_EQ(cfgetospeed(&t), B4800);

    // A rate outside the classic table still reaches the line.
    d.SetBaudRate(br14400);
    EXPECT_TRUE(d.Connected());
    ASSERT_EQ(tcgetattr(pty.Master(), &t), 0);
    EXPECT_NE(cfgetospeed(&t), B4800);
}

TEST(CommPortDriver, StreamBytesBothWaysUntranslated)
{
    TPty pty;
    TReceiver rx;
    TCommPortDriver d;
    d.SetPortName(pty.SlavePath());
    d.SetPollingDelay(5);
    d.SetOnReceiveData(TReceiveDataEvent(&rx, &TReceiver::OnData));
    ASSERT_TRUE(d.Connect());

    const std::string in = std::string("\r\nOK\r\n\x00\x11\x13\x03\xff", 11);
    pty.Write(in);
    EXPECT_TRUE(WaitUntil([&] { return rx.Stream().size() >= in.size(); }));
    EXPECT_EQ(rx.Stream(), in);

    const std::string out = std::string("PS=AB\r\n\x00\x11\n", 10);
    EXPECT_EQ(d.SendDataEx(out.data(), static_cast<std::uint32_t>(out.size()), 500), out.size());
    EXPECT_EQ(pty.Read(out.size()), out);
    EXPECT_TRUE(d.SendString("x"));
    EXPECT_EQ(pty.Read(1), "x");
}

TEST(CommPortDriver, PausedPathLeavesBytesForReadData)
{
    TPty pty;
    TReceiver rx;
    TCommPortDriver d;
    d.SetPortName(pty.SlavePath());
    d.SetPollingDelay(5);
    d.SetOnReceiveData(TReceiveDataEvent(&rx, &TReceiver::OnData));
    d.PausePolling();
    ASSERT_TRUE(d.Connect());

    pty.Write("hello");
    ASSERT_TRUE(WaitUntil([&] { return d.CountRX() == 5; }));
    EXPECT_EQ(rx.Stream(), "");
    std::uint8_t buf[8] = {};
    EXPECT_EQ(d.ReadData(buf, 3), 3u);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), 3), "hel");
    // Asked for more than comes, ReadData ends at its time-out with what it got.
    d.SetInputTimeout(50);
    EXPECT_EQ(d.ReadData(buf, 8), 2u);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), 2), "lo");

    d.ContinuePolling();
    pty.Write("zz");
    EXPECT_TRUE(WaitUntil([&] { return rx.Stream() == "zz"; }));
}

TEST(CommPortDriver, SendStopsWhenTheLineDoesNotDrain)
{
    TPty pty; // nobody reads the master: the line fills up
    TCommPortDriver d;
    d.SetPortName(pty.SlavePath());
    ASSERT_TRUE(d.Connect());
    const std::string big(1 << 20, 'x');
    const std::uint32_t sent = d.SendDataEx(big.data(), static_cast<std::uint32_t>(big.size()), 100);
    EXPECT_GT(sent, 0u);
    EXPECT_LT(sent, big.size());
    EXPECT_FALSE(d.PortLost());
}

TEST(CommPortDriver, PacketsPassOrDiscardTheTail)
{
    {
        SCOPED_TRACE("pass");
        TPty pty;
        TReceiver rx;
        TCommPortDriver d;
        d.SetPortName(pty.SlavePath());
        d.SetPollingDelay(5);
        d.SetPacketSize(4);
        d.SetPacketTimeout(20);
        d.SetPacketMode(pmPass);
        d.SetOnReceivePacket(TReceivePacketEvent(&rx, &TReceiver::OnPacket));
        ASSERT_TRUE(d.Connect());
        pty.Write("abcdefghij");
        EXPECT_TRUE(WaitUntil([&] { return rx.Packets().size() >= 3; }));
        EXPECT_EQ(rx.Packets(), (std::vector<std::string> {"abcd", "efgh", "ij"}));
    }
    {
        SCOPED_TRACE("discard");
        TPty pty;
        TReceiver rx;
        TCommPortDriver d;
        d.SetPortName(pty.SlavePath());
        d.SetPollingDelay(5);
        d.SetPacketSize(4);
        d.SetPacketTimeout(20);
        d.SetOnReceivePacket(TReceivePacketEvent(&rx, &TReceiver::OnPacket));
        ASSERT_TRUE(d.Connect());
        pty.Write("abcdef");
        ASSERT_TRUE(WaitUntil([&] { return rx.Packets().size() == 1 && d.CountRX() == 0; }));
        pty.Write("wxyz");
        EXPECT_TRUE(WaitUntil([&] { return rx.Packets().size() >= 2; }));
        EXPECT_EQ(rx.Packets(), (std::vector<std::string> {"abcd", "wxyz"}));
    }
}

TEST(CommPortDriver, PartialPacketAfterWholeOnesWaitsForItsTimeout)
{
    // Whole packets followed by the start of the next one in the same tick: the
    // start must wait its full time-out for the rest instead of being dropped.
    TPty pty;
    TReceiver rx;
    TCommPortDriver d;
    d.SetPortName(pty.SlavePath());
    d.SetPollingDelay(5);
    d.SetPacketSize(4);
    d.SetPacketTimeout(30000);
    d.SetOnReceivePacket(TReceivePacketEvent(&rx, &TReceiver::OnPacket));
    ASSERT_TRUE(d.Connect());
    pty.Write("abcdef");
    ASSERT_TRUE(WaitUntil([&] { return rx.Packets().size() == 1; }));
    pty.Write("gh");
    EXPECT_TRUE(WaitUntil([&] { return rx.Packets().size() >= 2; }));
    EXPECT_EQ(rx.Packets(), (std::vector<std::string> {"abcd", "efgh"}));
}

TEST(CommPortDriver, CheckLineStatusWithoutLinesSendsNothing)
{
    TPty pty; // a pseudo-terminal has no modem lines
    TCommPortDriver d;
    d.SetPortName(pty.SlavePath());
    d.SetCheckLineStatus(true);
    ASSERT_TRUE(d.Connect());
    EXPECT_TRUE(d.GetLineStatus().Empty());
    EXPECT_EQ(d.SendDataEx("abc", 3, 5000), 0u);
}

TEST(CommPortDriver, HandleAdoptDetachAndClose)
{
    TPty pty;
    const int fd = ::open(pty.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    TCommPortDriver d;
    d.SetHandle(fd);
    EXPECT_TRUE(d.Connected());
    EXPECT_EQ(d.Handle(), fd);
    d.SetHandle(DETACH_PORT_HANDLE);
    EXPECT_FALSE(d.Connected());
    EXPECT_NE(::fcntl(fd, F_GETFD), -1) << "a detached handle stays open";

    d.SetHandle(fd);
    d.SetHandle(INVALID_PORT_HANDLE);
    EXPECT_FALSE(d.Connected());
    EXPECT_EQ(::fcntl(fd, F_GETFD), -1) << "writing another handle closes the port";
}

TEST(CommPortDriver, VanishedPortIsToldApartFromAQuietOne)
{
    TPty pty;
    TCommPortDriver d;
    d.SetPortName(pty.SlavePath());
    ASSERT_TRUE(d.Connect());
    EXPECT_EQ(d.WaitForInput(0), pwTimeout);
    EXPECT_FALSE(d.PortLost());

    pty.CloseMaster();
    EXPECT_EQ(d.WaitForInput(1000), pwLost);
    EXPECT_TRUE(d.PortLost());
    EXPECT_EQ(d.CountRX(), 0);
    std::uint8_t buf[4];
    EXPECT_EQ(d.ReadData(buf, 4), 0u);
    EXPECT_EQ(d.SendDataEx("abc", 3, 500), 0u);
    d.Disconnect();
    EXPECT_FALSE(d.Connected());
}

// Threads this process runs now.
int ThreadCount()
{
    int n = 0;
    DIR* dir = ::opendir("/proc/self/task");
    while (dirent* e = dir ? ::readdir(dir) : nullptr)
        n += e->d_name[0] != '.';
    if (dir)
        ::closedir(dir);
    return n;
}

TEST(CommPortDriver, AReceiveHandlerMayCloseAndReopenThePort)
{
    TPty pty;
    struct Reopener {
        std::atomic<int> Calls {0};
        std::atomic<bool> InHandler {false}, Done {false};
        void OnData(TCommPortDriver* d, void*, std::uint32_t)
        {
            if (++Calls == 1) {
                d->Disconnect();
                d->Connect();
                return;
            }
            d->Disconnect();
            InHandler = true;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            Done = true;
        }
    } r;
    const int before = ThreadCount();
    auto* d = new TCommPortDriver;
    d->SetPortName(pty.SlavePath());
    d->SetPollingDelay(5);
    d->SetOnReceiveData(TReceiveDataEvent(&r, &Reopener::OnData));
    ASSERT_TRUE(d->Connect());
    EXPECT_EQ(ThreadCount(), before + 1);

    pty.Write("a");
    ASSERT_TRUE(WaitUntil([&] { return r.Calls.load() == 1 && d->Connected(); }));
    std::this_thread::sleep_for(std::chrono::milliseconds(30)); // several ticks
    EXPECT_EQ(ThreadCount(), before + 1) << "one timer thread, however often the port reopens";

    // Destroying the driver waits for a handler that has just closed the port.
    pty.Write("b");
    ASSERT_TRUE(WaitUntil([&] { return r.InHandler.load(); }));
    delete d;
    EXPECT_TRUE(r.Done.load());
    EXPECT_EQ(ThreadCount(), before);
}

} // namespace
