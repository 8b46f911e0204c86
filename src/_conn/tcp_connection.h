#pragma once
// TConnTCP: the connection framework over a TCP socket, for encoders reached
// through a serial device server or a serial-over-IP bridge that carries the
// serial line as a raw byte stream. It behaves like the serial connection to
// the device above it: the same connect attempts, statuses and reads woken by
// the descriptor, so the dialogue cannot tell the two apart.
//
// The port (Port()) is named "tcp://HOST:PORT"; HOST is a name, an IPv4 address or an
// IPv6 address in brackets. Names are resolved on the connection thread
// ("Resolving"), every address is tried with a non-blocking connect bounded by
// ConnectTimeout, and a dead link is noticed by TCP keep-alive within about
// 30 s. A refused connect ends with "Connection Refused", an unreachable host
// or a name that does not resolve with "Socket Error" (LastError tells why),
// a connect that never completes is retried and ends with "Connection
// Timeout", and a peer that closes or resets the link gives
// "Disconnected from Device".

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include "_conn/custom_connection.h"

class TConnTCP : public TCustomConnection {
public:
    static constexpr std::uint32_t ConnTCPVer = 0x104;

    explicit TConnTCP(bool ASilent);
    ~TConnTCP() override;

    bool Connect() override;
    void Disconnect(TConnStatus DisconnectMessage) override;

    // Milliseconds one connect attempt may take over all addresses (default 5000).
    int ConnectTimeout() const { return FConnectTimeout.load(); }
    void SetConnectTimeout(int Value) { FConnectTimeout = Value; }

    // Why the last attempt or the link failed, for "Socket Error",
    // "Connection Refused" and "Invalid Connection Params"; empty when nothing failed.
    std::string LastError() const;
    std::string ProblemText() const override { return LastError(); }
    TTransportKind Transport() const override { return tkTcp; }

    // By position: port name, NoDataTimeout, ConnectTimeout. Every element is
    // checked before any is applied.
    void SetProperties(const TStringDynArray& AProps) override;

protected:
    TConnStatus DoConnect() override;
    TConnStatus DoDisconnect() override;
    TConnStatus DoRead(void*& Data, std::int32_t& DataSize) override;
    TConnStatus DoProcess() override;
    std::string GetName() const override { return "Conn1_TCP_Client_"; }
    std::uint32_t GetVer() const override { return ConnTCPVer; }
    bool DoWrite(const void* Data, std::int32_t DataSize) override;
    void WaitForActivity(int TimeoutMs) override;

private:
    static bool CheckVersion(bool ASilent);
    void SetLastError(const std::string& Text);
    // Sends all bytes within TimeoutMs; answers the number sent.
    std::int32_t SendAll(const std::uint8_t* Data, std::int32_t Size, int TimeoutMs);
    void CloseSocket();

    mutable std::mutex FErrorLock;
    std::string FLastError;
    std::atomic<int> FConnectTimeout {5000};
    // Written on the connection thread; a write on the caller's thread holds
    // FSockLock so that the descriptor cannot be closed under it.
    std::mutex FSockLock;
    std::atomic<int> FSock {-1};
};
