#include "_conn/tcp_connection.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "_conn/serial_connection.h"
#include "_conn/socket_lib.h"
#include "platform/assertion.h"

namespace {

// Keep-alive after 10 s of silence, then every 5 s, given up after 4 misses:
// a dead link is noticed within about 30 s, and unacknowledged writes are
// given up after the same time.
constexpr int kKeepIdleS = 10;
constexpr int kKeepIntervalS = 5;
constexpr int kKeepCount = 4;
constexpr int kUserTimeoutMs = 30000;
constexpr int kSendTimeoutMs = 500;
// Most bytes one read takes; what arrives meanwhile waits for the next.
constexpr std::size_t kReadBlock = 4096;

std::int64_t MsLeft(std::int64_t Deadline)
{
    return std::max<std::int64_t>(0, Deadline - TickMs());
}

void TuneSocket(int Fd)
{
    const int on = 1;
    ::setsockopt(Fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    ::setsockopt(Fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
    ::setsockopt(Fd, IPPROTO_TCP, TCP_KEEPIDLE, &kKeepIdleS, sizeof kKeepIdleS);
    ::setsockopt(Fd, IPPROTO_TCP, TCP_KEEPINTVL, &kKeepIntervalS, sizeof kKeepIntervalS);
    ::setsockopt(Fd, IPPROTO_TCP, TCP_KEEPCNT, &kKeepCount, sizeof kKeepCount);
    ::setsockopt(Fd, IPPROTO_TCP, TCP_USER_TIMEOUT, &kUserTimeoutMs, sizeof kUserTimeoutMs);
}

} // namespace

bool TConnTCP::CheckVersion(bool ASilent)
{
    Assert((ConnTCPVer & 0xFF) == 4, "Conn Ancestor Version Differs");
    return ASilent;
}

TConnTCP::TConnTCP(bool ASilent) : TCustomConnection(CheckVersion(ASilent))
{
}

TConnTCP::~TConnTCP()
{
    // The connection thread calls into this object, and the buffer thread
    // into its base: both must be gone before either is taken apart.
    StopThreads();
    CloseSocket();
}

std::string TConnTCP::LastError() const
{
    std::lock_guard lock(FErrorLock);
    return FLastError;
}

void TConnTCP::SetLastError(const std::string& Text)
{
    std::lock_guard lock(FErrorLock);
    FLastError = Text;
}

void TConnTCP::SetProperties(const TStringDynArray& AProps)
{
    TCustomConnection::SetProperties(AProps);
    const std::size_t count = std::min<std::size_t>(AProps.size(), 3);
    std::int32_t v[3] = {};
    for (std::size_t i = 1; i < count; ++i) {
        v[i] = StrToInt(AProps[i]);
        if (v[i] < 0)
            throw EConvertError(
                "'" + AProps[i] + "' is not a valid value for " + (i == 1 ? "NoDataTimeout" : "ConnectTimeout"));
    }
    if (count > 0)
        SetProp("PORT", AProps[0]);
    if (count > 1)
        SetNoDataTimeout(v[1]);
    if (count > 2)
        SetConnectTimeout(v[2]);
}

bool TConnTCP::Connect()
{
    // No attempt may start before the address had its check.
    TAttemptHold hold(*this);
    if (!TCustomConnection::Connect())
        return false;
    try {
        ParseTcpPortName(Port());
    } catch (const ESocketLib& e) {
        SetLastError(e.what());
        FWaitForConnect = false;
        Announce(stInvalidConnectionParams);
        FWantDisconnect = true;
        Wake();
        return false;
    }
    SetLastError("");
    return true;
}

void TConnTCP::Disconnect(TConnStatus /*DisconnectMessage*/)
{
    if (Connected() != stConnected)
        Announce(stNotConnected);
    TCustomConnection::Disconnect(stDisconnecting);
}

TConnStatus TConnTCP::DoConnect()
{
    TCustomConnection::DoConnect();
    CloseSocket();
    TTcpAddress address;
    try {
        address = ParseTcpPortName(Port());
    } catch (const ESocketLib& e) {
        SetLastError(e.what());
        return stInvalidConnectionParams;
    }

    Announce(stResolving);
    addrinfo hints {};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_ADDRCONFIG;
    addrinfo* list = nullptr;
    const int rc = ::getaddrinfo(address.Host.c_str(), address.Service.c_str(), &hints, &list);
    if (rc != 0) {
        SetLastError(address.Host + ": " + ResolveErrorText(rc, errno));
        // A name server that did not answer may answer the next attempt.
        return rc == EAI_AGAIN ? stConnecting : stSocketError;
    }

    const std::int64_t deadline = TickMs() + std::max(1, FConnectTimeout.load());
    bool refused = false, timedOut = false;
    int lastErr = 0;
    int fd = -1;
    for (addrinfo* ai = list; ai && fd < 0; ai = ai->ai_next) {
        if (Terminated() || FWantDisconnect.load())
            break;
        const int s = ::socket(ai->ai_family, ai->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, ai->ai_protocol);
        if (s < 0) {
            lastErr = errno;
            continue;
        }
        int err = 0;
        if (::connect(s, ai->ai_addr, ai->ai_addrlen) != 0) {
            err = errno;
            if (err == EINPROGRESS) {
                err = ETIMEDOUT;
                // Wait for the connect, or for a disconnect or the end of the thread.
                for (;;) {
                    const std::int64_t left = MsLeft(deadline);
                    if (left == 0)
                        break;
                    pollfd fds[2] = {{s, POLLOUT, 0}, {WakeFd(), POLLIN, 0}};
                    if (::poll(fds, 2, static_cast<int>(left)) < 0 && errno != EINTR)
                        break;
                    if (fds[0].revents) {
                        socklen_t len = sizeof err;
                        if (::getsockopt(s, SOL_SOCKET, SO_ERROR, &err, &len) != 0)
                            err = errno;
                        break;
                    }
                    if (fds[1].revents) {
                        if (Terminated() || FWantDisconnect.load())
                            break;
                        ConsumeWake();
                    }
                }
            }
        }
        if (err == 0) {
            fd = s;
            break;
        }
        ::close(s);
        lastErr = err;
        if (err == ECONNREFUSED)
            refused = true;
        else if (err == ETIMEDOUT)
            timedOut = true;
    }
    ::freeaddrinfo(list);

    if (fd < 0) {
        if (Terminated() || FWantDisconnect.load())
            return stConnecting; // the loop sees the request and ends the cycle
        if (refused) {
            SetLastError(address.Host + ":" + address.Service + ": " + SocketErrorText(ECONNREFUSED));
            return stConnectionRefused;
        }
        if (timedOut) {
            SetLastError(address.Host + ":" + address.Service + ": " + SocketErrorText(ETIMEDOUT));
            return stConnecting;
        }
        SetLastError(address.Host + ":" + address.Service + ": " + SocketErrorText(lastErr));
        return stSocketError;
    }
    TuneSocket(fd);
    {
        std::lock_guard lock(FSockLock);
        FSock = fd;
    }
    SetLastError("");
    return stConnected;
}

void TConnTCP::CloseSocket()
{
    std::lock_guard lock(FSockLock);
    const int fd = FSock.exchange(-1);
    if (fd >= 0)
        ::close(fd);
}

TConnStatus TConnTCP::DoDisconnect()
{
    TCustomConnection::DoDisconnect();
    CloseSocket();
    return stDisconnecting;
}

TConnStatus TConnTCP::DoRead(void*& Data, std::int32_t& DataSize)
{
    DataSize = 0;
    const int fd = FSock.load();
    if (fd < 0)
        return stConnected;
    // One call: the bytes go straight into the block the listener reads, and
    // what is left of it is given back (in place: nothing is copied).
    auto* block = static_cast<std::uint8_t*>(std::malloc(kReadBlock));
    if (!block)
        return stConnected; // try again on the next pass
    const ssize_t got = ::recv(fd, block, kReadBlock, MSG_DONTWAIT);
    if (got > 0) {
        if (static_cast<std::size_t>(got) < kReadBlock) {
            if (void* smaller = std::realloc(block, static_cast<std::size_t>(got)))
                block = static_cast<std::uint8_t*>(smaller);
        }
        Data = block;
        DataSize = static_cast<std::int32_t>(got);
        return stConnected;
    }
    const int err = errno;
    std::free(block);
    if (got == 0) {
        SetLastError("The peer closed the connection");
        return stDisconnectedFromDevice;
    }
    if (err == EAGAIN || err == EWOULDBLOCK || err == EINTR)
        return stConnected;
    SetLastError(SocketErrorText(err));
    // A reset is the peer going away; anything else (keep-alive gave up, the
    // network went down) is a failure of the socket itself.
    return (err == ECONNRESET || err == EPIPE) ? stDisconnectedFromDevice : stSocketError;
}

std::int32_t TConnTCP::SendAll(const std::uint8_t* Data, std::int32_t Size, int TimeoutMs)
{
    std::lock_guard lock(FSockLock);
    const int fd = FSock.load();
    if (fd < 0)
        return 0;
    const std::int64_t deadline = TickMs() + TimeoutMs;
    std::int32_t sent = 0;
    while (sent < Size) {
        const ssize_t n = ::send(fd, Data + sent, static_cast<std::size_t>(Size - sent), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            sent += static_cast<std::int32_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
            break; // the read side reports the failure
        const std::int64_t left = MsLeft(deadline);
        if (left == 0)
            break;
        pollfd p {fd, POLLOUT, 0};
        if (::poll(&p, 1, static_cast<int>(left)) <= 0)
            break;
    }
    return sent;
}

TConnStatus TConnTCP::DoProcess()
{
    std::lock_guard lock(FSendBufferCS);
    if (FSendIdx < FSendLength)
        FSendIdx += SendAll(FSendBuffer.data() + FSendIdx, FSendLength - FSendIdx, kSendTimeoutMs);
    return stConnected;
}

bool TConnTCP::DoWrite(const void* Data, std::int32_t DataSize)
{
    const bool r = TCustomConnection::DoWrite(Data, DataSize);
    if (r && !BufferedSend())
        SendAll(static_cast<const std::uint8_t*>(Data), DataSize, kSendTimeoutMs);
    return r;
}

void TConnTCP::WaitForActivity(int /*TimeoutMs*/)
{
    // Bytes, a closed or reset peer and every request of the framework wake this wait.
    WaitOnDescriptor(FSock.load(), POLLIN | POLLRDHUP);
}
