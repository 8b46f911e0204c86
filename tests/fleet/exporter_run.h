#pragma once
// Runs the exporter as its front end does (its schedule on the main thread)
// while a script plays the scrapers on a thread of its own; the exporter
// stops when the script is done.

#include "fleet/exporter.h"
#include "platform/serve_until.h"
#include "support/wait_until.h"

#include <atomic>
#include <functional>
#include <string>
#include <thread>

// Scrapes a page with a real HTTP client; empty when nothing came.
std::string Curl(const std::string& Url);

inline void RunExporterWhile(TExporter& Exporter, std::atomic<bool>& Stop, const std::function<void()>& Script)
{
    std::thread Side([&] {
        Script();
        Stop = true;
        WakeMainThread();
    });
    Exporter.Run();
    Side.join();
}

// Waits (up to 30 s) until the exporter's page holds every one of Lines.
inline bool WaitForMetrics(const TExporter& Exporter, const std::vector<std::string>& Lines)
{
    return WaitUntil(
        [&] {
            const std::string Page = Exporter.Metrics();
            for (const std::string& L : Lines)
                if (Page.find(L) == std::string::npos)
                    return false;
            return true;
        },
        30000);
}
