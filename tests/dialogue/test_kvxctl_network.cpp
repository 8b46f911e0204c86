// kvxctl against the simulated encoder reached over TCP, through the two
// bridges encoders sit behind in the field: socat and ser2net carrying the
// serial line as a raw byte stream. The output must be the one the serial
// line gives.
#ifndef KVXCTL_PATH
#error "KVXCTL_PATH must name the console program the tests run"
#endif
#ifndef KVXSIM_PATH
#error "KVXSIM_PATH must name the simulated encoder the tests run"
#endif

#include "support/kvxctl_run.h"
#include "support/kvxsim_process.h"
#include "support/tcp_bridge.h"
#include "support/temp_dir.h"
#include "support/wait_until.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// The read output less its CLOCK line, which moves between two reads.
std::string WithoutClock(const std::string& Text)
{
    std::string Out;
    std::size_t At = 0;
    while (At < Text.size()) {
        std::size_t End = Text.find('\n', At);
        End = End == std::string::npos ? Text.size() : End + 1;
        if (Text.compare(At, 6, "CLOCK=") != 0)
            Out.append(Text, At, End - At);
        At = End;
    }
    return Out;
}

TEST(KvxctlNetwork, ReadAndWriteThroughSocatAndSer2net)
{
    ::setenv("TZ", "UTC", 1);
    for (const char* Kind : {"socat", "ser2net"}) {
        SCOPED_TRACE(Kind);
        const std::string Program = Which(Kind);
        if (Program.empty()) {
            ADD_FAILURE() << Kind << " is not installed (the setup script installs it)";
            continue;
        }
        const TTempDir Dir("kvxnet");
        const std::string State = Dir.File("state");
        std::ofstream(State) << "PI=C201\nPS=RADIO 1 \nTEXT=Hello\nAF1=105\n";
        TKvxsim Sim;
        ASSERT_TRUE(Sim.Start({"--state", State}));
        const std::string Serial = "--port " + Sim.Path() + " ";
        // Straight over the serial line first: the bridge must not hold the
        // terminal while another program uses it.
        const TRun OverSerial = Kvxctl(Serial + "read");
        ASSERT_EQ(OverSerial.Code, 0);

        const int Port = FreePort();
        std::vector<std::string> Args;
        if (std::string(Kind) == "socat") {
            Args = TBridge::SocatArgs(Port, Sim.Path());
        } else {
            const std::string Yaml = Dir.File("ser2net.yaml");
            std::ofstream(Yaml) << "connection: &kvx\n"
                                << "    accepter: tcp,127.0.0.1," << Port << "\n"
                                << "    connector: serialdev," << Sim.Path() << ",9600n81,local\n"
                                << "    options:\n"
                                << "      kickolduser: true\n";
            Args = {"-n", "-d", "-c", Yaml};
        }
        {
            TBridge Bridge(Program, Args, Port);
            ASSERT_TRUE(Bridge.WaitListening());
            const std::string Net = "--port tcp://127.0.0.1:" + std::to_string(Port) + " ";
            const TRun OverNet = Kvxctl(Net + "read");
            ASSERT_EQ(OverNet.Code, 0);
            EXPECT_TRUE(Has(OverNet.Out, "PI=C201\nPS=RADIO 1 \n")) << OverNet.Out;
            EXPECT_EQ(WithoutClock(OverNet.Out), WithoutClock(OverSerial.Out));

            const std::string File = Sim.WriteFile("new.kvx",
                "PI=C202\r\nPS=TCP  ON\r\nTEXT=Hello\r\nAF1=105\r\n"
                "CT=1\r\nMS=1\r\nDI=1\r\n");
            const TRun Write = Kvxctl(Net + "write " + File + " --yes");
            EXPECT_EQ(Write.Code, 0) << Write.Out;
            EXPECT_TRUE(Has(Write.Out, "PI=C202 -> \\r\\nOK\\r\\n\nPS=TCP  ON -> \\r\\nOK\\r\\n\n")) << Write.Out;
        }
        const TRun After = Kvxctl(Serial + "read");
        EXPECT_TRUE(Has(After.Out, "PI=C202\nPS=TCP  ON\n")) << After.Out;
    }
}

// What kvxctl says when the network end cannot be had: the status words and
// the reason in plain words, exit 2, at once.
TEST(KvxctlNetwork, UnreachableAndMalformedAddresses)
{
    const int Closed = FreePort();
    const struct {
        std::string Port;
        std::string Says;
    } Cases[] = {
        {"tcp://127.0.0.1:" + std::to_string(Closed), "Connection refused"},
        {"tcp://no-such-encoder.invalid:4001", "no-such-encoder.invalid"},
        {"tcp://127.0.0.1", "the port is missing"},
        {"tcp://127.0.0.1:99999", "outside 1-65535"},
    };
    for (const auto& C : Cases) {
        SCOPED_TRACE(C.Port);
        const TRun R = Kvxctl("--port " + C.Port + " read", true);
        EXPECT_EQ(R.Code, 2) << R.Out;
        EXPECT_TRUE(Has(R.Out, C.Says)) << R.Out;
    }
}

} // namespace
