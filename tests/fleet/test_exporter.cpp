// The exporter: its page in the Prometheus text format, made from the last
// read of each site; reads on a schedule of their own, so that a scrape
// costs no encoder traffic; a busy port reported as such and tried again.

#include "exporter_run.h"
#include "fleet/exporter.h"
#include "fleet/metrics.h"
#include "fleet_sites.h"
#include "platform/thread.h"

#include <gtest/gtest.h>

#include <unistd.h>

namespace {

TEST(Metrics, EachSitesLastResultInTheTextFormat)
{
    TSiteList L = ParseSiteList("", "s.ini");
    L.Sites.resize(3);
    const char* Names[] = {"north", "south", "west"};
    for (int i = 0; i < 3; ++i) {
        L.Sites[i].Name = Names[i];
        L.Sites[i].Desired.PI = 0xC201;
        L.Sites[i].Desired.PS = "GOLD\"EN\\";
    }
    TSiteResult North;
    North.Reachable = true;
    North.Serial = "1001";
    North.Hardware = "KVX-1";
    North.Firmware = "01.03.105";
    North.PI = "FFFF";
    North.PS = "R\xC9S";
    North.ClockDrift = -2.5;
    North.Differs = {"PI", "PS"};
    TSiteResult South;
    South.Outcome = soBusy;
    std::vector<TSiteMetrics> M(3);
    for (int i = 0; i < 3; ++i)
        M[i].Site = &L.Sites[i];
    M[0].Last = North;
    M[0].AttemptSeconds = 0.125;
    M[0].LastSuccess = 1700000000;
    M[1].Last = South;
    M[1].AttemptSeconds = 0.002;
    M[1].LastSuccess = 1699999000.5; // read before, busy now: no stale values
    // west: not tried yet, so not up or down, but its profile is known.

    EXPECT_EQ(MetricsText(M),
        "# HELP kvx_up Whether the site's encoder was read at the last attempt (0: the reason label says why).\n"
        "# TYPE kvx_up gauge\n"
        "kvx_up{site=\"north\"} 1\n"
        "kvx_up{site=\"south\",reason=\"busy\"} 0\n"
        "# HELP kvx_profile_drift_settings Settings the encoder holds otherwise than the site's profile and "
        "overrides give them, at the last read.\n"
        "# TYPE kvx_profile_drift_settings gauge\n"
        "kvx_profile_drift_settings{site=\"north\"} 2\n"
        "# HELP kvx_clock_drift_seconds The encoder's clock minus the computer's, at the last read.\n"
        "# TYPE kvx_clock_drift_seconds gauge\n"
        "kvx_clock_drift_seconds{site=\"north\"} -2.500\n"
        "# HELP kvx_read_duration_seconds How long the last attempt to read the site took.\n"
        "# TYPE kvx_read_duration_seconds gauge\n"
        "kvx_read_duration_seconds{site=\"north\"} 0.125\n"
        "kvx_read_duration_seconds{site=\"south\"} 0.002\n"
        "# HELP kvx_last_success_timestamp_seconds When the site was last read completely, in seconds since 1970.\n"
        "# TYPE kvx_last_success_timestamp_seconds gauge\n"
        "kvx_last_success_timestamp_seconds{site=\"north\"} 1700000000\n"
        "kvx_last_success_timestamp_seconds{site=\"south\"} 1699999000.500\n"
        "# HELP kvx_info The encoder's serial number, hardware and firmware, and the PI and PS it holds.\n"
        "# TYPE kvx_info gauge\n"
        "kvx_info{site=\"north\",serial=\"1001\",hardware=\"KVX-1\",firmware=\"01.03.105\",pi=\"FFFF\",ps="
        "\"R\xC3\x89S\"} "
        "1\n"
        "# HELP kvx_profile_info The PI and PS the site's profile and overrides give.\n"
        "# TYPE kvx_profile_info gauge\n"
        "kvx_profile_info{site=\"north\",pi=\"C201\",ps=\"GOLD\\\"EN\\\\\"} 1\n"
        "kvx_profile_info{site=\"south\",pi=\"C201\",ps=\"GOLD\\\"EN\\\\\"} 1\n"
        "kvx_profile_info{site=\"west\",pi=\"C201\",ps=\"GOLD\\\"EN\\\\\"} 1\n");
}

TEST(Metrics, ListenAddresses)
{
    const struct {
        std::string Text;
        std::string Host;
        int Port;
        std::string Fault;
    } Cases[] = {
        {"127.0.0.1:9724", "127.0.0.1", 9724, ""},
        {"[::1]:9724", "::1", 9724, ""},
        {":9724", "0.0.0.0", 9724, ""},
        {"localhost:0", "localhost", 0, ""},
        {"9724", "", 0, "a listen address is HOST:PORT"},
        {"::1:9724", "", 0, "in brackets"},
        {"[]:9724", "", 0, "in brackets"},
        {"host:65536", "", 0, "from 0 to 65535"},
        {"host:http", "", 0, "from 0 to 65535"},
    };
    for (const auto& C : Cases) {
        SCOPED_TRACE(C.Text);
        std::string Host;
        int Port = -1;
        const std::string Fault = ParseListenAddress(C.Text, Host, Port);
        if (C.Fault.empty()) {
            EXPECT_EQ(Fault, "");
            EXPECT_EQ(Host, C.Host);
            EXPECT_EQ(Port, C.Port);
        } else
            EXPECT_TRUE(Has(Fault, C.Fault)) << Fault;
    }
}

class Exporter : public ::testing::Test, protected TFleetSites {
protected:
    void SetUp() override
    {
        TThread::SetMainThread();
        ASSERT_EQ(TFleetSites::Start(), "");
        List = WriteList();
        ASSERT_TRUE(List.Valid());
        Options.Listen = "127.0.0.1:0";
        Options.Fleet.Interrupted = [this] { return Stop.load(); };
    }

    TSiteList List;
    TExporterOptions Options;
    std::atomic<bool> Stop {false};
};

// A busy port (as when the window is connected) is up 0 with its reason and
// is tried again at the next round; the others are read meanwhile.
TEST_F(Exporter, ABusyPortIsDownWithItsReasonUntilTheNextRound)
{
    THolder Holder(South.Path());
    ASSERT_TRUE(Holder.Holding());
    Options.IntervalMs = 1000;
    TExporter E(List, Options);
    ASSERT_EQ(E.Listen(), "");
    ASSERT_GT(E.Port(), 0);
    const std::string Url = "http://127.0.0.1:" + std::to_string(E.Port()) + "/metrics";
    std::string First, Later;
    RunExporterWhile(E, Stop, [&] {
        EXPECT_TRUE(WaitForMetrics(
            E, {"kvx_up{site=\"north\"}", "kvx_up{site=\"south\"", "kvx_up{site=\"east\"}", "kvx_up{site=\"dead\""}));
        First = Curl(Url);
        Holder.Release();
        EXPECT_TRUE(WaitForMetrics(E, {"kvx_up{site=\"south\"} 1"}));
        Later = Curl(Url);
    });
    EXPECT_TRUE(Has(First, "kvx_up{site=\"north\"} 1\n")) << First;
    EXPECT_TRUE(Has(First, "kvx_up{site=\"south\",reason=\"busy\"} 0\n")) << First;
    EXPECT_TRUE(Has(First, "kvx_up{site=\"east\"} 1\n")) << First;
    EXPECT_TRUE(Has(First, "kvx_up{site=\"dead\",reason=\"unreachable\"} 0\n")) << First;
    EXPECT_TRUE(Has(First, "kvx_profile_drift_settings{site=\"north\"} 0\n")) << First;
    EXPECT_TRUE(Has(First, "kvx_profile_drift_settings{site=\"east\"} 1\n")) << First;
    EXPECT_TRUE(Has(First,
        "kvx_info{site=\"north\",serial=\"1001\",hardware=\"KVX-1\",firmware=\"01.03.105  2015/03/10 12:00:00\","
        "pi=\"C201\",ps=\"GOLDEN\"} 1\n"))
        << First;
    EXPECT_FALSE(Has(First, "kvx_info{site=\"dead\"")) << First;
    EXPECT_TRUE(Has(First, "kvx_profile_info{site=\"east\",pi=\"C201\",ps=\"EAST\"} 1\n")) << First;

    EXPECT_TRUE(Has(Later, "kvx_profile_drift_settings{site=\"south\"} 2\n")) << Later;
    EXPECT_TRUE(
        std::regex_search(Later, std::regex("kvx_clock_drift_seconds\\{site=\"south\"\\} -3(59[89]|60[012])\\.")))
        << Later;
    EXPECT_TRUE(Has(Later, "kvx_last_success_timestamp_seconds{site=\"south\"} ")) << Later;
}

// Scrapes are served from the last results: any number of them sends
// nothing to the encoders.
TEST_F(Exporter, AScrapeCostsNoEncoderTraffic)
{
    Options.IntervalMs = 3600000;
    TExporter E(List, Options);
    ASSERT_EQ(E.Listen(), "");
    const std::string Url = "http://127.0.0.1:" + std::to_string(E.Port()) + "/metrics";
    RunExporterWhile(E, Stop, [&] {
        ASSERT_TRUE(WaitUntil([&] { return E.Attempts() == 4; }, 30000));
        const std::size_t Before = North.Log().size() + South.Log().size() + East.Log().size();
        const std::string Page = E.Metrics();
        for (int i = 0; i < 20; ++i)
            EXPECT_EQ(Curl(Url), Page);
        EXPECT_EQ(North.Log().size() + South.Log().size() + East.Log().size(), Before);
        EXPECT_EQ(E.Attempts(), 4u);
        EXPECT_TRUE(Has(Curl("http://127.0.0.1:" + std::to_string(E.Port()) + "/"), "href=\"/metrics\""));
    });
}

TEST(ExporterListen, AnAddressInUseIsRefusedInWords)
{
    const TSiteList L = ParseSiteList("", "s.ini");
    TExporterOptions Any, Same, Bad;
    Any.Listen = "127.0.0.1:0";
    TExporter First(L, Any);
    ASSERT_EQ(First.Listen(), "");
    Same.Listen = "127.0.0.1:" + std::to_string(First.Port());
    const std::string InUse = TExporter(L, Same).Listen();
    EXPECT_TRUE(Has(InUse, "cannot listen on " + Same.Listen + ": ")) << InUse;
    Bad.Listen = "nowhere";
    EXPECT_EQ(TExporter(L, Bad).Listen(),
        "nowhere: a listen address is HOST:PORT (or [IPv6]:PORT, or :PORT for every address)");
}

} // namespace
