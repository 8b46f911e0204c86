// The exporter as Prometheus sees it: a real Prometheus on the loopback
// scrapes it and evaluates the shipped alert rules; promtool checks the
// page's format and the rules, and runs their unit tests.

#include "exporter_run.h"
#include "fleet/exporter.h"
#include "fleet_sites.h"
#include "platform/thread.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace {

const std::string Rules = std::string(KVX_SOURCE_DIR) + "/packaging/prometheus/kvxc-alerts.yml";
const std::string RuleTests = std::string(KVX_SOURCE_DIR) + "/tests/fleet/kvxc-alerts.test.yml";

// Runs a shell command; answers its exit status, its output (both streams) in Out.
int Status(const std::string& Cmd, std::string& Out)
{
    Out = Shell("(" + Cmd + ") 2>&1; echo \"exit=$?\"");
    const std::size_t At = Out.rfind("exit=");
    const int Code = std::atoi(Out.c_str() + At + 5);
    Out.erase(At);
    return Code;
}

TEST(AlertRules, PromtoolChecksTheRulesAndRunsACaseForEachAlert)
{
    ASSERT_FALSE(Which("promtool").empty()) << "promtool is not installed (the setup script installs prometheus)";
    std::string Out;
    EXPECT_EQ(Status("promtool check rules '" + Rules + "'", Out), 0) << Out;
    EXPECT_TRUE(Has(Out, "SUCCESS: 4 rules found")) << Out;
    // promtool finds the rule file beside its tests.
    const TTempDir Dir("kvxrules");
    std::filesystem::copy_file(Rules, Dir.File("kvxc-alerts.yml"));
    std::filesystem::copy_file(RuleTests, Dir.File("kvxc-alerts.test.yml"));
    EXPECT_EQ(Status("promtool test rules '" + Dir.File("kvxc-alerts.test.yml") + "'", Out), 0) << Out;
    EXPECT_TRUE(Has(Out, "SUCCESS")) << Out;
    for (const char* Alert :
        {"RdsEncoderDown", "RdsEncoderProfileDrift", "RdsEncoderClockDrift", "RdsEncoderFactorySettings"})
        EXPECT_TRUE(Has(ReadFile(RuleTests), std::string("alertname: ") + Alert)) << Alert << " has no case";
}

class Prometheus : public ::testing::Test, protected TFleetSites {
protected:
    void SetUp() override
    {
        TThread::SetMainThread();
        ASSERT_FALSE(Which("prometheus").empty()) << "prometheus is not installed (the setup script installs it)";
        ASSERT_EQ(TFleetSites::Start(), "");
        // One more encoder, on its factory settings.
        ASSERT_TRUE(Factory.Start({"--serial", "1004"}));
        List = WriteList("[factory]\nport = " + Factory.Path() + "\n");
        ASSERT_TRUE(List.Valid());
        Options.Listen = "127.0.0.1:0";
        Options.Fleet.Interrupted = [this] { return Stop.load(); };
    }

    // What the Prometheus API answers to a PromQL query, as Python reads its
    // JSON: Expr over the result list r.
    std::string Query(int Port, const std::string& PromQL, const std::string& Expr)
    {
        const std::string Json = Shell("curl -sS --max-time 10 -G 'http://127.0.0.1:" + std::to_string(Port)
            + "/api/v1/query' --data-urlencode 'query=" + PromQL + "'");
        return FromJson(Json, "(lambda r: " + Expr + ")(d['data']['result']) if d.get('status') == 'success' else ''");
    }

    TKvxsim Factory;
    TSiteList List;
    TExporterOptions Options;
    std::atomic<bool> Stop {false};
};

TEST_F(Prometheus, ScrapesTheExporterAndSeesEachSiteUpOrDown)
{
    TExporter E(List, Options);
    ASSERT_EQ(E.Listen(), "");
    const int PromPort = FreePort();
    std::filesystem::copy_file(Rules, Dir.File("kvxc-alerts.yml"));
    std::ofstream(Dir.File("prometheus.yml")) << "global:\n  scrape_interval: 1s\n  evaluation_interval: 1s\n"
                                                 "rule_files:\n  - kvxc-alerts.yml\n"
                                                 "scrape_configs:\n  - job_name: kvxc\n    static_configs:\n"
                                                 "      - targets: ['127.0.0.1:"
                                              << E.Port() << "']\n";
    TBridge Server(Which("prometheus"),
        {"--config.file=" + Dir.File("prometheus.yml"), "--storage.tsdb.path=" + Dir.File("data"),
            "--web.listen-address=127.0.0.1:" + std::to_string(PromPort)},
        PromPort);
    ASSERT_TRUE(Server.WaitListening());

    std::string Up, Page, Lint, Alerts;
    int LintCode = -1;
    RunExporterWhile(E, Stop, [&] {
        // Every site read once, and scraped since.
        EXPECT_TRUE(WaitUntil(
            [&] { return Query(PromPort, "count(kvx_up)", "r[0]['value'][1] if r else '0'") == "5\n"; }, 60000));
        Up = Query(PromPort, "kvx_up", "sorted((s['metric']['site'], s['value'][1]) for s in r)");
        EXPECT_TRUE(WaitUntil(
            [&] {
                Alerts = Query(PromPort, "ALERTS{alertstate=\"firing\"}",
                    "sorted((s['metric']['alertname'], s['metric']['site']) for s in r)");
                return Has(Alerts, "RdsEncoderFactorySettings");
            },
            30000));
        Page = Curl("http://127.0.0.1:" + std::to_string(E.Port()) + "/metrics");
        LintCode = Status(
            "curl -sS 'http://127.0.0.1:" + std::to_string(E.Port()) + "/metrics' | promtool check metrics", Lint);
    });
    EXPECT_EQ(Up, "[('dead', '0'), ('east', '1'), ('factory', '1'), ('north', '1'), ('south', '1')]\n");
    // Only the factory alert fires at once; the others wait their minutes.
    EXPECT_EQ(Alerts, "[('RdsEncoderFactorySettings', 'factory')]\n");
    EXPECT_TRUE(Has(Page, "kvx_up{site=\"dead\",reason=\"unreachable\"} 0\n")) << Page;
    EXPECT_EQ(LintCode, 0) << Lint;
    EXPECT_EQ(Lint, "");
}

} // namespace
