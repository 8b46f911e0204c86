#include "platform/log.h"
#include "support/log_capture.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <regex>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <pthread.h>
#include <unistd.h>

namespace {

// Runs this test program again for one test, with KVX_LOG set as given (or
// unset), and answers what it wrote to stderr.
std::string StderrOfChild(const char* KvxLog)
{
    char Exe[4096] = {};
    const ssize_t N = ::readlink("/proc/self/exe", Exe, sizeof Exe - 1);
    if (N <= 0)
        return "no program";
    const std::string Out = ::testing::TempDir() + "kvx_log_child.txt";
    std::string Cmd = std::string("KVX_LOG_CHILD=1 ") + (KvxLog ? std::string("KVX_LOG=") + KvxLog : "env -u KVX_LOG")
        + " '" + Exe + "' --gtest_filter=Log.LevelComesFromTheEnvironment >/dev/null 2>'" + Out + "'";
    if (std::system(Cmd.c_str()) != 0)
        return "child failed";
    std::ifstream F(Out);
    std::stringstream S;
    S << F.rdbuf();
    return S.str();
}

} // namespace

TEST(Log, LevelNames)
{
    using kvx::log::Level;
    const std::pair<const char*, Level> Cases[] = {
        {"off", Level::Off},
        {"error", Level::Error},
        {"warn", Level::Warn},
        {"INFO", Level::Info},
        {"Debug", Level::Debug},
        {"", Level::Warn},
        {"loud", Level::Warn},
    };
    for (const auto& [Name, L] : Cases)
        EXPECT_EQ(kvx::log::ParseLevel(Name), L) << Name;
}

TEST(Log, QuietByDefaultAndOneLinePerRecord)
{
    TLogCapture C;
    kvx::log::SetLevel(kvx::log::ParseLevel(""));
    std::thread T([] {
        pthread_setname_np(pthread_self(), "worker7");
        kvx::log::Debug("not written");
        kvx::log::Info(std::string("not written either"));
        kvx::log::Warn("%s=%.4X", "PI", 0xC201);
        try {
            throw std::runtime_error("bad reply");
        } catch (...) {
            kvx::log::Caught("device");
        }
        try {
            throw 5;
        } catch (...) {
            kvx::log::Caught("loader");
        }
    });
    T.join();
    auto Lines = C.Take();
    ASSERT_EQ(Lines.size(), 3u);
    const std::regex Stamp(R"(^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} )");
    const char* Tails[]
        = {"WARN [worker7] PI=C201", "ERROR [worker7] device: bad reply", "ERROR [worker7] loader: unknown exception"};
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_TRUE(std::regex_search(Lines[i], Stamp)) << Lines[i];
        EXPECT_EQ(Lines[i].substr(24), Tails[i]);
    }

    kvx::log::SetLevel(kvx::log::Level::Debug);
    kvx::log::Debug("now written");
    kvx::log::SetLevel(kvx::log::Level::Off);
    kvx::log::Error("never");
    Lines = C.Take();
    ASSERT_EQ(Lines.size(), 4u);
    EXPECT_NE(Lines[3].find(" DEBUG ["), std::string::npos);
}

TEST(Log, LevelComesFromTheEnvironment)
{
    if (std::getenv("KVX_LOG_CHILD")) {
        kvx::log::Debug("probe debug");
        kvx::log::Warn("probe warn");
        return;
    }
    const std::string Verbose = StderrOfChild("debug");
    EXPECT_NE(Verbose.find("DEBUG"), std::string::npos) << Verbose;
    EXPECT_NE(Verbose.find("probe debug"), std::string::npos) << Verbose;
    const std::string Quiet = StderrOfChild(nullptr);
    EXPECT_EQ(Quiet.find("probe debug"), std::string::npos) << Quiet;
    EXPECT_NE(Quiet.find("WARN"), std::string::npos) << Quiet;
    EXPECT_EQ(StderrOfChild("off").find("probe"), std::string::npos);
}
