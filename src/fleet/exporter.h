#pragma once
// The Prometheus exporter: reads every site of a list on a schedule of its
// own (once an interval, the sites spread over it) and serves /metrics over
// HTTP from the last results, so that a scrape costs no encoder traffic and
// as many scrapers as wish may come. The reads run on the main thread as a
// fleet run's do (a busy port is reported busy and tried again at the next
// round); the HTTP server has threads of its own that only copy the page.

#include "fleet/fleet_run.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

struct TExporterOptions {
    // Where to listen: "HOST:PORT", "[IPv6]:PORT" or ":PORT" (every IPv4
    // address); PORT 0 takes a free port (Port() tells which).
    std::string Listen;
    // How often each site is read.
    std::int64_t IntervalMs = 60000;
    // Jobs, time-outs and the flag that stops Run.
    TFleetOptions Fleet;
};

// Splits a listen address; answers why it is not one (empty when it is).
std::string ParseListenAddress(const std::string& Text, std::string& Host, int& Port);

class TExporter {
public:
    // List and Options must outlive the exporter.
    TExporter(const TSiteList& List, const TExporterOptions& Options);
    ~TExporter();
    TExporter(const TExporter&) = delete;
    TExporter& operator=(const TExporter&) = delete;

    // Binds the address and serves HTTP from a thread of its own; answers
    // why it cannot (empty when it listens).
    std::string Listen();
    // The port listened on (0 before Listen).
    int Port() const;
    // Reads the sites on their schedule until Options.Fleet.Interrupted
    // answers true (once the main thread is woken); the reads under way are stopped.
    // Call on the main thread.
    void Run();
    // The page /metrics serves now.
    std::string Metrics() const;
    // Site reads ended so far (successful or not).
    std::uint64_t Attempts() const { return FAttempts.load(); }

private:
    struct TImpl;
    std::unique_ptr<TImpl> FImpl;
    std::atomic<std::uint64_t> FAttempts {0};
};
