#include "fleet/fleet_run.h"

#include "_conn/port_problem.h"
#include "_conn/serial_connection.h"
#include "_conn/socket_lib.h"
#include "fleet/site_job.h"

#include <algorithm>
#include <chrono>
#include <map>

TSiteRunner::TSiteRunner(const TFleetOptions& Options) : FOptions(Options)
{
}

TSiteRunner::~TSiteRunner()
{
    FJobs.clear();
    TConnCOM::ReleaseCheckedAhead(FKept);
}

void TSiteRunner::CheckPorts(const std::vector<const TSite*>& Sites)
{
    std::vector<std::string> Ports;
    for (const TSite* S : Sites)
        if (!IsTcpPortName(S->Port) && std::find(Ports.begin(), Ports.end(), S->Port) == Ports.end())
            Ports.push_back(S->Port);
    if (Ports.empty())
        return;
    const std::vector<TPortProblem> Problems = TConnCOM::CheckPortsAhead(Ports);
    std::vector<std::string> Present;
    bool Listed = false;
    for (std::size_t i = 0; i < Ports.size(); ++i) {
        const TPortProblem& P = Problems[i];
        if (P.Kind == ppNone) {
            FKept.push_back(Ports[i]);
            FKnown.erase(Ports[i]);
            continue;
        }
        if (!Listed) {
            Present = TConnCOM::EnumerateDevices(false);
            Listed = true;
        }
        FKnown[Ports[i]] = {P.Kind == ppHeld ? soBusy : soUnreachable, PortProblemText(Ports[i], P, Present)};
    }
}

void TSiteRunner::Start(const TSite& Site, TFleetTask Task)
{
    const auto K = FKnown.find(Site.Port);
    if (K != FKnown.end()) {
        FJobs.push_back(std::make_unique<TSiteJob>(Site, Task, FOptions, K->second.first, K->second.second));
        FKnown.erase(K);
    } else
        FJobs.push_back(std::make_unique<TSiteJob>(Site, Task, FOptions));
    std::erase(FKept, Site.Port);
}

void TSiteRunner::InterruptAll()
{
    for (const auto& J : FJobs)
        J->Stop(soInterrupted);
}

std::vector<TSiteResult> TSiteRunner::Serve(TDeadline Until, const std::function<bool()>& Stop)
{
    std::vector<TSiteResult> Done;
    for (;;) {
        const auto Now = std::chrono::steady_clock::now();
        for (auto It = FJobs.begin(); It != FJobs.end();) {
            TSiteJob& J = **It;
            if (J.Changed() || J.WakeAt() <= Now)
                J.Step();
            if (J.Finished()) {
                Done.push_back(std::move(J.Result()));
                It = FJobs.erase(It);
            } else
                ++It;
        }
        if (!Done.empty() || Stop() || std::chrono::steady_clock::now() >= Until)
            return Done;
        TDeadline Wake = Until;
        for (const auto& J : FJobs)
            Wake = std::min(Wake, J->WakeAt());
        ServeUntil(
            [&] {
                return Stop() || std::any_of(FJobs.begin(), FJobs.end(), [](const auto& J) { return J->Changed(); });
            },
            Wake);
    }
}

std::vector<const TSite*> PickSites(
    const TSiteList& List, const std::vector<std::string>& Names, std::vector<std::string>* Unknown)
{
    std::vector<const TSite*> Sites;
    if (Names.empty()) {
        for (const TSite& S : List.Sites)
            Sites.push_back(&S);
        return Sites;
    }
    for (const std::string& N : Names) {
        const TSite* S = List.Find(N);
        if (!S) {
            if (Unknown)
                Unknown->push_back(N);
        } else if (std::find(Sites.begin(), Sites.end(), S) == Sites.end())
            Sites.push_back(S);
    }
    // In the list's order, as every report is.
    std::sort(Sites.begin(), Sites.end());
    return Sites;
}

std::vector<TSiteResult> RunFleet(
    const TSiteList& List, TFleetTask Task, const TFleetOptions& Options, const std::vector<std::string>& Names)
{
    const std::vector<const TSite*> Sites = PickSites(List, Names);
    std::vector<TSiteResult> Results(Sites.size());
    std::map<std::string, std::size_t> Index;
    for (std::size_t i = 0; i < Sites.size(); ++i)
        Index[Sites[i]->Name] = i;
    auto Interrupted = [&] { return Options.Interrupted && Options.Interrupted(); };
    auto Finish = [&](TSiteResult&& R) {
        const std::size_t i = Index[R.Site];
        Results[i] = std::move(R);
        if (Options.OnSiteDone)
            Options.OnSiteDone(Results[i]);
    };

    TSiteRunner Runner(Options);
    Runner.CheckPorts(Sites);
    const std::size_t Jobs = static_cast<std::size_t>(std::max(Options.Jobs, 1));
    std::size_t Next = 0;
    bool Stopping = false;
    while (Next < Sites.size() || Runner.Active() > 0) {
        if (!Stopping && Interrupted()) {
            Stopping = true;
            Runner.InterruptAll();
            for (; Next < Sites.size(); ++Next) {
                TSiteResult R;
                R.Site = Sites[Next]->Name;
                R.Port = Sites[Next]->Port;
                R.Outcome = soInterrupted;
                R.Reason = "not started: the run was interrupted";
                R.ExitCode = 130;
                Finish(std::move(R));
            }
        }
        while (!Stopping && Runner.Active() < Jobs && Next < Sites.size())
            Runner.Start(*Sites[Next++], Task);
        if (Runner.Active() == 0)
            continue;
        for (TSiteResult& R : Runner.Serve(NoDeadline, [&] { return !Stopping && Interrupted(); }))
            Finish(std::move(R));
    }
    return Results;
}

int FleetExitCode(const std::vector<TSiteResult>& Results)
{
    int Worst = 0;
    for (const TSiteResult& R : Results) {
        if (R.Outcome == soInterrupted)
            return 130;
        Worst = std::max(Worst, R.ExitCode);
    }
    return Worst;
}
