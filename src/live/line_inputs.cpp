#include "live/line_inputs.h"

#include "live/live_inbox.h"
#include "platform/log.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <map>
#include <vector>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

// How long a connection may take to give its token.
constexpr auto TokenGrace = std::chrono::seconds(10);
// How long a refused connection is given to read why before it is closed.
constexpr auto CloseGrace = std::chrono::seconds(2);
// Sources whose ARTIST waits for a TITLE, kept for UDP at most.
constexpr std::size_t MaxPendingSources = 64;

std::string Lower(std::string S)
{
    std::transform(S.begin(), S.end(), S.begin(), [](unsigned char C) { return static_cast<char>(std::tolower(C)); });
    return S;
}

std::string PeerText(const sockaddr_storage& Addr)
{
    const TSourceAddress A = TSourceAddress::From(reinterpret_cast<const sockaddr*>(&Addr));
    std::uint16_t Port = 0;
    if (Addr.ss_family == AF_INET)
        Port = ntohs(reinterpret_cast<const sockaddr_in*>(&Addr)->sin_port);
    else if (Addr.ss_family == AF_INET6)
        Port = ntohs(reinterpret_cast<const sockaddr_in6*>(&Addr)->sin6_port);
    return A.Text() + ":" + std::to_string(Port);
}

// Sends a reply without waiting; false when the peer takes nothing more.
bool Reply(int Fd, const std::string& Text)
{
    if (Text.empty())
        return true;
    const std::string Line = Text + "\n";
    const ssize_t N = ::send(Fd, Line.data(), Line.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    return N == static_cast<ssize_t>(Line.size());
}

} // namespace

struct TLineInput::TClient {
    int Fd = -1;
    TSourceAddress From;
    std::string Source;
    std::string Buffer;
    std::string PendingArtist;
    bool Authed = false;
    Clock::time_point Since;
    // Refused: the answer is on its way, what the client still sends is
    // read and dropped until it closes, or until CloseBy: closing with
    // bytes unread would reset the connection, and the client could lose
    // the answer before it read why.
    bool Closing = false;
    Clock::time_point CloseBy;
};

TLineInput::TLineInput(TKind Kind, const TListenAddress& Where, std::shared_ptr<TLiveInbox> Inbox)
    : TThread(true), FKind(Kind), FWhere(Where), FInbox(std::move(Inbox))
{
    SetName(Kind == lkTcp ? "live tcp" : "live udp");
}

TLineInput::~TLineInput()
{
    Stop();
}

std::optional<std::string> TLineInput::Open()
{
    const char* What = FKind == lkTcp ? "TCP" : "UDP";
    const TSourceAddress Host = TSourceAddress::Parse(FWhere.Host);
    sockaddr_storage Addr {};
    socklen_t Len = 0;
    if (Host.Family == AF_INET) {
        auto* In = reinterpret_cast<sockaddr_in*>(&Addr);
        In->sin_family = AF_INET;
        In->sin_port = htons(FWhere.Port);
        std::memcpy(&In->sin_addr, Host.Bytes, 4);
        Len = sizeof(sockaddr_in);
    } else {
        auto* In6 = reinterpret_cast<sockaddr_in6*>(&Addr);
        In6->sin6_family = AF_INET6;
        In6->sin6_port = htons(FWhere.Port);
        std::memcpy(&In6->sin6_addr, Host.Bytes, 16);
        Len = sizeof(sockaddr_in6);
    }
    const int Type = (FKind == lkTcp ? SOCK_STREAM : SOCK_DGRAM) | SOCK_CLOEXEC | SOCK_NONBLOCK;
    FSocket = ::socket(Addr.ss_family, Type, 0);
    auto Fail = [&](const char* Step) {
        std::string Why
            = std::string("cannot ") + Step + " " + What + " on " + FWhere.Text() + ": " + std::strerror(errno);
        if (FSocket >= 0)
            ::close(FSocket);
        FSocket = -1;
        return Why;
    };
    if (FSocket < 0)
        return Fail("open a socket for");
    const int One = 1;
    ::setsockopt(FSocket, SOL_SOCKET, SO_REUSEADDR, &One, sizeof One);
    if (::bind(FSocket, reinterpret_cast<sockaddr*>(&Addr), Len) != 0)
        return Fail("listen for");
    if (FKind == lkTcp && ::listen(FSocket, 16) != 0)
        return Fail("listen for");
    sockaddr_storage Bound {};
    socklen_t BoundLen = sizeof Bound;
    if (::getsockname(FSocket, reinterpret_cast<sockaddr*>(&Bound), &BoundLen) == 0)
        FWhere.Port = ntohs(Bound.ss_family == AF_INET ? reinterpret_cast<sockaddr_in*>(&Bound)->sin_port
                                                       : reinterpret_cast<sockaddr_in6*>(&Bound)->sin6_port);
    if (!FWake.Open())
        return Fail("wait for");
    Start();
    return std::nullopt;
}

void TLineInput::TerminatedSet()
{
    FWake.Signal();
}

void TLineInput::Stop()
{
    if (Started())
        TerminateAndWait();
    if (FSocket >= 0)
        ::close(FSocket);
    FSocket = -1;
    FWake.Close();
}

void TLineInput::Execute()
{
    try {
        if (FKind == lkTcp)
            ServeTcp();
        else
            ServeUdp();
    } catch (...) {
        kvx::log::Caught(FKind == lkTcp ? "TCP input" : "UDP input");
    }
}

std::string TLineInput::Take(const std::string& Line, const std::string& Source, std::string& Pending)
{
    if (Line.empty())
        return {};
    TLiveFields F = ParseLiveLine(Line);
    if (!F.Artist.empty() && F.Title.empty() && F.Text.empty() && F.Dps.empty()) {
        Pending = F.Artist;
        return "OK waiting for TITLE";
    }
    if (!F.Title.empty() && F.Artist.empty())
        F.Artist = Pending;
    Pending.clear();
    const TLiveAnswer A = FInbox->Submit(F, Source);
    switch (A.Kind) {
    case TLiveDecision::ldSend:
        return "OK " + A.Text;
    case TLiveDecision::ldSkip:
        return "SKIP " + A.Reason;
    case TLiveDecision::ldRefuse:
        break;
    }
    return "ERR " + A.Reason;
}

bool TLineInput::ClientReadable(TClient& C)
{
    char Buf[4096];
    const ssize_t N = ::recv(C.Fd, Buf, sizeof Buf, MSG_DONTWAIT);
    if (N < 0)
        return errno == EAGAIN || errno == EINTR;
    if (N == 0)
        return false;
    if (C.Closing)
        return true;
    const auto Refuse = [&](const std::string& Why) {
        Reply(C.Fd, "ERR " + Why);
        C.Closing = true;
        C.CloseBy = Clock::now() + CloseGrace;
        C.Buffer.clear();
        return true;
    };
    C.Buffer.append(Buf, static_cast<std::size_t>(N));
    for (std::size_t Lf; (Lf = C.Buffer.find('\n')) != std::string::npos;) {
        std::string Line = C.Buffer.substr(0, Lf);
        C.Buffer.erase(0, Lf + 1);
        if (!Line.empty() && Line.back() == '\r')
            Line.pop_back();
        if (Line.size() > MaxRequestBytes) {
            C.Buffer = Line;
            break;
        }
        if (!C.Authed) {
            const bool Given = Lower(Line.substr(0, 6)) == "token=";
            if (Given && FInbox->TokenMatches(Line.substr(6))) {
                C.Authed = true;
                if (!Reply(C.Fd, "OK token accepted"))
                    return false;
                continue;
            }
            const char* Why = Given ? "wrong token" : "a first line TOKEN=... is needed";
            kvx::log::Warn("%s: refused: %s", C.Source.c_str(), Why);
            return Refuse(Why);
        }
        if (auto Why = FInbox->Admit(C.From, "tcp")) {
            if (!Reply(C.Fd, "ERR " + *Why))
                return false;
            continue;
        }
        kvx::log::Debug("%s: %s", C.Source.c_str(), Line.c_str());
        if (!Reply(C.Fd, Take(Line, C.Source, C.PendingArtist)))
            return false;
    }
    if (C.Buffer.size() > MaxRequestBytes) {
        kvx::log::Warn(
            "%s: refused: a line longer than %zu bytes; connection closed", C.Source.c_str(), MaxRequestBytes);
        return Refuse("a line longer than " + std::to_string(MaxRequestBytes) + " bytes");
    }
    return true;
}

void TLineInput::ServeTcp()
{
    std::vector<std::unique_ptr<TClient>> Clients;
    const auto Close = [&](std::size_t i) {
        ::close(Clients[i]->Fd);
        Clients.erase(Clients.begin() + static_cast<long>(i));
    };
    while (!Terminated()) {
        std::vector<pollfd> P {{FWake.Fd(), POLLIN, 0}, {FSocket, POLLIN, 0}};
        int Timeout = -1;
        const auto Now = Clock::now();
        for (const auto& C : Clients) {
            P.push_back({C->Fd, POLLIN, 0});
            if (!C->Authed || C->Closing) {
                const auto By = C->Closing ? C->CloseBy : C->Since + TokenGrace;
                const auto Left = std::chrono::duration_cast<std::chrono::milliseconds>(By - Now);
                const int Ms = static_cast<int>(std::max<long long>(0, Left.count()) + 1);
                Timeout = Timeout < 0 ? Ms : std::min(Timeout, Ms);
            }
        }
        if (::poll(P.data(), P.size(), Timeout) < 0 && errno != EINTR)
            throw std::runtime_error(std::string("poll: ") + std::strerror(errno));
        if (P[0].revents || Terminated())
            break;
        // Clients first, so that the indexes of P still match.
        for (std::size_t i = Clients.size(); i-- > 0;) {
            TClient& C = *Clients[i];
            if ((P[i + 2].revents && !ClientReadable(C)) || (C.Closing && Clock::now() >= C.CloseBy)) {
                Close(i);
                continue;
            }
            if (!C.Authed && !C.Closing && Clock::now() >= C.Since + TokenGrace) {
                kvx::log::Warn("%s: refused: no token within 10 s; connection closed", C.Source.c_str());
                Reply(C.Fd, "ERR no token within 10 s");
                Close(i);
            }
        }
        if (!P[1].revents)
            continue;
        for (;;) {
            sockaddr_storage Addr {};
            socklen_t Len = sizeof Addr;
            const int Fd = ::accept4(FSocket, reinterpret_cast<sockaddr*>(&Addr), &Len, SOCK_NONBLOCK | SOCK_CLOEXEC);
            if (Fd < 0)
                break;
            auto C = std::make_unique<TClient>();
            C->Fd = Fd;
            C->From = TSourceAddress::From(reinterpret_cast<const sockaddr*>(&Addr));
            C->Source = "tcp " + PeerText(Addr);
            C->Authed = !FInbox->TokenNeeded();
            C->Since = Clock::now();
            if (Clients.size() >= MaxLineClients) {
                kvx::log::Warn("%s: refused: %d connections are open already", C->Source.c_str(), MaxLineClients);
                Reply(Fd, "ERR too many connections");
                ::close(Fd);
                continue;
            }
            if (auto Why = FInbox->Admit(C->From, "tcp")) {
                Reply(Fd, "ERR " + *Why);
                ::close(Fd);
                continue;
            }
            kvx::log::Debug("%s: connected", C->Source.c_str());
            Clients.push_back(std::move(C));
        }
    }
    for (std::size_t i = Clients.size(); i-- > 0;)
        Close(i);
}

void TLineInput::ServeUdp()
{
    std::map<std::string, std::string> Pending;
    std::vector<char> Buf(65536);
    while (!Terminated()) {
        pollfd P[2] = {{FWake.Fd(), POLLIN, 0}, {FSocket, POLLIN, 0}};
        if (::poll(P, 2, -1) < 0 && errno != EINTR)
            throw std::runtime_error(std::string("poll: ") + std::strerror(errno));
        if (P[0].revents || Terminated())
            break;
        for (;;) {
            sockaddr_storage Addr {};
            socklen_t Len = sizeof Addr;
            const ssize_t N = ::recvfrom(
                FSocket, Buf.data(), Buf.size(), MSG_DONTWAIT | MSG_TRUNC, reinterpret_cast<sockaddr*>(&Addr), &Len);
            if (N < 0)
                break;
            const TSourceAddress From = TSourceAddress::From(reinterpret_cast<const sockaddr*>(&Addr));
            const std::string Source = "udp " + PeerText(Addr);
            if (FInbox->Admit(From, "udp"))
                continue;
            if (static_cast<std::size_t>(N) > MaxRequestBytes) {
                kvx::log::Warn(
                    "%s: refused: a datagram of %zd bytes (more than %zu)", Source.c_str(), N, MaxRequestBytes);
                continue;
            }
            std::string Line(Buf.data(), static_cast<std::size_t>(N));
            Line = Line.substr(0, Line.find_first_of("\r\n"));
            kvx::log::Debug("%s: %s", Source.c_str(), Line.c_str());
            if (Pending.size() >= MaxPendingSources && !Pending.count(From.Text()))
                Pending.clear();
            const std::string Answer = Take(Line, Source, Pending[From.Text()]);
            kvx::log::Debug("%s: %s", Source.c_str(), Answer.c_str());
        }
    }
}
