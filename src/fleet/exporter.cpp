#include "fleet/exporter.h"

#include "_conn/socket_lib.h"
#include "fleet/metrics.h"
#include "platform/date_time.h"
#include "platform/log.h"
#include "platform/number_parse.h"
#include "platform/time_zone.h"

#include <httplib.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <mutex>
#include <optional>
#include <thread>

#include <sys/socket.h>

namespace {

// Threads that answer scrapes: a page is only copied, so few are needed.
constexpr std::size_t ServerThreads = 2;

const char* const IndexPage = "<html><head><title>kvxctl exporter</title></head><body>"
                              "<h1>RDS encoders</h1><p><a href=\"/metrics\">Metrics</a></p></body></html>\n";

} // namespace

std::string ParseListenAddress(const std::string& Text, std::string& Host, int& Port)
{
    const std::size_t Colon = Text.rfind(':');
    if (Colon == std::string::npos)
        return "a listen address is HOST:PORT (or [IPv6]:PORT, or :PORT for every address)";
    Host = Text.substr(0, Colon);
    if (!Host.empty() && Host.front() == '[') {
        if (Host.size() < 3 || Host.back() != ']')
            return "an IPv6 address is given in brackets: [::1]:9724";
        Host = Host.substr(1, Host.size() - 2);
    } else if (Host.find(':') != std::string::npos)
        return "an IPv6 address is given in brackets: [::1]:9724";
    if (Host.empty())
        Host = "0.0.0.0";
    const std::optional<int> P = ParseDecimal<int>(std::string_view(Text).substr(Colon + 1));
    if (!P || *P < 0 || *P > 65535)
        return "the port must be a number from 0 to 65535";
    Port = *P;
    return {};
}

struct TExporter::TImpl {
    TImpl(const TSiteList& List, const TExporterOptions& Options) : FList(List), FOptions(Options)
    {
        for (const TSite& S : List.Sites) {
            TSiteMetrics M;
            M.Site = &S;
            FSites.push_back(M);
        }
        FPage = MetricsText(FSites);
    }

    ~TImpl() { StopServer(); }

    void StopServer()
    {
        if (FThread.joinable()) {
            FServer.stop();
            FThread.join();
        }
    }

    std::string Page() const
    {
        std::lock_guard Lock(FPageLock);
        return FPage;
    }

    // A site's attempt ended: its metrics and the page.
    void Took(std::size_t i, TSiteResult&& R)
    {
        TSiteMetrics& M = FSites[i];
        M.AttemptSeconds = static_cast<double>(MsSince(FStarted[i])) / 1000.0;
        if (R.Reachable)
            M.LastSuccess = static_cast<double>(UtcNowMs()) / 1000.0;
        M.Last = std::move(R);
        std::string Text = MetricsText(FSites);
        std::lock_guard Lock(FPageLock);
        FPage.swap(Text);
    }

    const TSiteList& FList;
    const TExporterOptions& FOptions;
    std::vector<TSiteMetrics> FSites;
    std::vector<std::int64_t> FStarted;
    httplib::Server FServer;
    std::thread FThread;
    int FPort = 0;
    mutable std::mutex FPageLock;
    std::string FPage; // under FPageLock
};

TExporter::TExporter(const TSiteList& List, const TExporterOptions& Options)
    : FImpl(std::make_unique<TImpl>(List, Options))
{
}

TExporter::~TExporter() = default;

int TExporter::Port() const
{
    return FImpl->FPort;
}

std::string TExporter::Metrics() const
{
    return FImpl->Page();
}

std::string TExporter::Listen()
{
    std::string Host;
    int Port = 0;
    if (std::string Why = ParseListenAddress(FImpl->FOptions.Listen, Host, Port); !Why.empty())
        return FImpl->FOptions.Listen + ": " + Why;
    TImpl& I = *FImpl;
    I.FServer.new_task_queue = [] { return new httplib::ThreadPool(ServerThreads); };
    // The library's own options add SO_REUSEPORT, with which a second
    // exporter would share the port unnoticed: an address in use is refused.
    // A response goes out in more than one write: without this, the second
    // waits for the client's delayed acknowledgement of the first (40 ms).
    I.FServer.set_tcp_nodelay(true);
    I.FServer.set_socket_options([](int Sock) {
        const int Yes = 1;
        ::setsockopt(Sock, SOL_SOCKET, SO_REUSEADDR, &Yes, sizeof Yes);
    });
    I.FServer.Get("/metrics", [&I](const httplib::Request&, httplib::Response& Res) {
        Res.set_content(I.Page(), "text/plain; version=0.0.4; charset=utf-8");
    });
    I.FServer.Get(
        "/", [](const httplib::Request&, httplib::Response& Res) { Res.set_content(IndexPage, "text/html"); });
    I.FServer.set_exception_handler([](const httplib::Request&, httplib::Response& Res, const std::exception_ptr&) {
        Res.status = 500;
        Res.set_content("internal error\n", "text/plain");
    });
    const bool Bound = Port == 0 ? (Port = I.FServer.bind_to_any_port(Host)) > 0 : I.FServer.bind_to_port(Host, Port);
    if (!Bound)
        return "cannot listen on " + FImpl->FOptions.Listen + ": " + SocketErrorText(errno);
    I.FPort = Port;
    I.FThread = std::thread([&I] {
        try {
            if (!I.FServer.listen_after_bind())
                kvx::log::Error("the exporter's HTTP server stopped");
        } catch (const std::exception& E) {
            kvx::log::Error(std::string("the exporter's HTTP server failed: ") + E.what());
        }
    });
    // The server can be stopped only once it runs (a stop before that is
    // lost and would leave its thread waiting for a connection).
    const auto Limit = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!I.FServer.is_running() && std::chrono::steady_clock::now() < Limit)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return {};
}

void TExporter::Run()
{
    TImpl& I = *FImpl;
    const TFleetOptions& O = I.FOptions.Fleet;
    const std::size_t N = I.FList.Sites.size();
    const auto Interval = std::chrono::milliseconds(std::max<std::int64_t>(I.FOptions.IntervalMs, 1));
    auto Stopped = [&] { return O.Interrupted && O.Interrupted(); };

    // Every site is read at once (as many at a time as the jobs allow), so
    // that a scrape soon after the start has them all; after that each site
    // has its own moment in the interval, so that the reads are spread over
    // it rather than all at once.
    const auto Start = std::chrono::steady_clock::now();
    std::vector<TDeadline> Due(N, Start);
    std::vector<bool> Running(N, false);
    I.FStarted.assign(N, 0);
    std::map<std::string, std::size_t> Index;
    for (std::size_t i = 0; i < N; ++i)
        Index[I.FList.Sites[i].Name] = i;

    TSiteRunner Runner(O);
    const std::size_t Jobs = static_cast<std::size_t>(std::max(O.Jobs, 1));
    bool Stopping = false;
    while (!Stopping || Runner.Active() > 0) {
        if (!Stopping && Stopped()) {
            Stopping = true;
            Runner.InterruptAll();
        }
        if (Stopping && Runner.Active() == 0)
            break;
        const auto Now = std::chrono::steady_clock::now();
        if (!Stopping) {
            // The sites due, as many as there is room for; one look at the
            // other holders of their serial ports for all of them.
            std::vector<const TSite*> Batch;
            for (std::size_t i = 0; i < N && Runner.Active() + Batch.size() < Jobs; ++i)
                if (!Running[i] && Due[i] <= Now)
                    Batch.push_back(&I.FList.Sites[i]);
            if (!Batch.empty())
                Runner.CheckPorts(Batch);
            for (const TSite* S : Batch) {
                const std::size_t i = Index[S->Name];
                Running[i] = true;
                I.FStarted[i] = TickMs();
                // A round that could not be kept is skipped, not made up.
                if (Due[i] == Start)
                    Due[i] += Interval * static_cast<long>(i) / static_cast<long>(N);
                while (Due[i] <= Now)
                    Due[i] += Interval;
                Runner.Start(*S, ftkStatus);
            }
        }
        TDeadline Wake = NoDeadline;
        if (!Stopping && Runner.Active() < Jobs)
            for (std::size_t i = 0; i < N; ++i)
                if (!Running[i])
                    Wake = std::min(Wake, Due[i]);
        for (TSiteResult& R : Runner.Serve(Wake, [&] { return !Stopping && Stopped(); })) {
            const std::size_t i = Index[R.Site];
            Running[i] = false;
            I.Took(i, std::move(R));
            ++FAttempts;
        }
    }
}
