#pragma once
// The TCP and UDP inputs. Both take lines as ParseLiveLine reads them: the
// whole text, or KEY=value with KEY TEXT, DPS, ARTIST or TITLE; an ARTIST
// waits for the TITLE after it (on the same connection, or from the same
// source address for UDP) and the two make one update.
//
// TCP: lines end in LF or CR LF; each is answered "OK <text>", "SKIP <rule>"
// or "ERR <reason>". With a token the first line must be TOKEN=<secret>.
// At most MaxLineClients connections at once; a line longer than
// MaxRequestBytes closes its connection, and so does a connection that has
// not given its token within 10 s.
// UDP: one datagram is one line; nothing is answered. Datagrams longer than
// MaxRequestBytes and sources outside --allow (the loopback without it) are
// refused.
//
// Each listener has one thread that sleeps in poll() until a client or a
// datagram arrives or Stop is called.

#include "live/access.h"
#include "platform/thread.h"
#include "platform/wake_event.h"

#include <memory>
#include <optional>
#include <string>

class TLiveInbox;

constexpr int MaxLineClients = 32;

class TLineInput : public TThread {
public:
    enum TKind : std::uint8_t { lkTcp, lkUdp };

    TLineInput(TKind Kind, const TListenAddress& Where, std::shared_ptr<TLiveInbox> Inbox);
    ~TLineInput() override;

    // Binds and starts the thread; answers why it cannot, or nothing.
    std::optional<std::string> Open();
    // Ends the thread and closes every socket.
    void Stop();
    const TListenAddress& Address() const { return FWhere; }

protected:
    void Execute() override;
    void TerminatedSet() override;

private:
    struct TClient;
    void ServeTcp();
    void ServeUdp();
    // The answer to one line from Source; Pending is the source's waiting ARTIST.
    std::string Take(const std::string& Line, const std::string& Source, std::string& Pending);
    bool ClientReadable(TClient& C);

    const TKind FKind;
    TListenAddress FWhere;
    std::shared_ptr<TLiveInbox> FInbox;
    int FSocket = -1;
    TWakeEvent FWake;
};
