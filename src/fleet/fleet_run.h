#pragma once
// Fleet runs: one task (status, diff, push, backup) done at many sites at
// once, in one process. Every site gets a dialogue and a connection of its
// own; all dialogues are served by the main thread, which sleeps between
// their hand-overs (ServeUntil). Serial ports are looked at for other
// holders once for the whole run, and a busy port is reported without being
// opened. Each site has a time-out of its own, and whatever happens at one
// site never stops the others.

#include "fleet/site_list.h"
#include "fleet/site_result.h"
#include "platform/serve_until.h"

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

class TSiteJob;

// Drives site jobs on the main thread: starts them and serves their
// dialogues until they end. Both fleet runs and the exporter use it.
class TSiteRunner {
public:
    explicit TSiteRunner(const TFleetOptions& Options);
    ~TSiteRunner();
    TSiteRunner(const TSiteRunner&) = delete;
    TSiteRunner& operator=(const TSiteRunner&) = delete;

    // Looks at the other holders of the sites' serial ports in one walk.
    // A port found free stays open and locked until its site connects.
    void CheckPorts(const std::vector<const TSite*>& Sites);
    // Starts the task at Site (the site must outlive its job).
    void Start(const TSite& Site, TFleetTask Task);
    std::size_t Active() const { return FJobs.size(); }
    // Serves the dialogues until a job ends, Stop holds or Until passes;
    // answers the results of the jobs that ended.
    std::vector<TSiteResult> Serve(TDeadline Until, const std::function<bool()>& Stop);
    // Stops every job (as the per-site time-out does, as interrupted).
    void InterruptAll();

private:
    const TFleetOptions& FOptions;
    std::vector<std::unique_ptr<TSiteJob>> FJobs;
    // What the one look found wrong with the ports checked ahead, by port
    // name: busy or not to be opened, and why.
    std::map<std::string, std::pair<TSiteOutcome, std::string>> FKnown;
    // Ports kept open for their connect.
    std::vector<std::string> FKept;
};

// Runs Task at every site of Sites (all of List's when empty). The list must
// be valid. Answers one result per site in the list's order.
std::vector<TSiteResult> RunFleet(
    const TSiteList& List, TFleetTask Task, const TFleetOptions& Options, const std::vector<std::string>& Sites = {});

// The run's exit code: the worst of the sites' (130 when it was interrupted).
int FleetExitCode(const std::vector<TSiteResult>& Results);

// The sites of Names (any letter case) in the list's order; Unknown receives
// each name that names no site.
std::vector<const TSite*> PickSites(
    const TSiteList& List, const std::vector<std::string>& Names, std::vector<std::string>* Unknown = nullptr);
