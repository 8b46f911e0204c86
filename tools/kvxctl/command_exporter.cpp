// kvxctl exporter: the site list's encoders watched for Prometheus.
#include "command.h"
#include "exit_codes.h"
#include "fleet/exporter.h"
#include "fleet_cli.h"

namespace {

const char* const DefaultListen = "127.0.0.1:9724";

const TOptionSpec Options[] = {
    {"listen", 0, "ADDR:PORT", "where /metrics is served (default\n127.0.0.1:9724; [::1]:PORT, :PORT)"},
    {"interval", 0, "SECONDS", "how often each site is read (default 60)"},
    JobsOption,
    SiteTimeoutOption,
};

int Run(const TOptions& O)
{
    TExporterOptions E;
    E.Listen = O.Has("listen") ? O.Value("listen") : DefaultListen;
    if (O.Has("interval") && (!ParseSeconds(O.Value("interval"), E.IntervalMs) || E.IntervalMs < 1000)) {
        Reporter().Error("--interval takes seconds (1 or more), not '" + O.Value("interval") + "'");
        return ecUsage;
    }
    if (const std::string Why = FleetOptionsFrom(O, E.Fleet); !Why.empty()) {
        Reporter().Error(Why);
        return ecUsage;
    }
    std::string Host;
    int Port = 0;
    if (const std::string Why = ParseListenAddress(E.Listen, Host, Port); !Why.empty()) {
        Reporter().Error("--listen " + E.Listen + ": " + Why);
        return ecUsage;
    }
    TSiteList List;
    if (const int Code = LoadSites(O.Args[0], List))
        return Code;
    TExporter Exporter(List, E);
    if (const std::string Why = Exporter.Listen(); !Why.empty()) {
        Reporter().Error(Why);
        return ecConnection;
    }
    Reporter().Note("serving http://" + (Host.find(':') != std::string::npos ? "[" + Host + "]" : Host) + ":"
        + std::to_string(Exporter.Port()) + "/metrics for " + std::to_string(List.Sites.size())
        + " sites, each read every " + std::to_string(E.IntervalMs / 1000) + " s");
    Exporter.Run();
    // Stopped by SIGTERM or SIGINT, as a service is: that is its normal end.
    Reporter().Note("stopped");
    return ecDone;
}

} // namespace

extern const TCommand ExporterCommand = {"exporter", "exporter SITES [--listen=ADDR:PORT] [--interval=SECONDS]",
    "serve the site list's encoders as Prometheus metrics",
    "Reads every site of the site list SITES (man kvxctl: SITE LIST) at the\n"
    "start and then once an interval (--interval, default 60 s), the sites\n"
    "spread over it, and serves /metrics in the Prometheus text format from the\n"
    "last results, so that a scrape costs no encoder traffic: kvx_up (0 with a\n"
    "reason label: busy, unreachable, no_reply, ...), kvx_profile_drift_settings,\n"
    "kvx_clock_drift_seconds, kvx_read_duration_seconds,\n"
    "kvx_last_success_timestamp_seconds, kvx_info (serial, hardware, firmware,\n"
    "pi, ps) and kvx_profile_info (pi, ps), each labelled by site. A port another\n"
    "program holds (the window, connected) is reported busy and tried again at\n"
    "the next round. Runs until SIGTERM or SIGINT, then exits 0.",
    Options, 1, 1, "SITES", false, Run};
