#include "_conn/custom_connection.h"

#include "platform/utf.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <poll.h>
#include <unistd.h>

namespace {

std::string ThreadNameOf(const std::string& Prefix, const std::string& Name, std::uint32_t Ver)
{
    char ver[16];
    std::snprintf(ver, sizeof ver, "%X", static_cast<unsigned>(Ver));
    return Prefix + Name + ":" + ver;
}

} // namespace

// ---------------------------------------------------------------------------
// TCustomConnection

TCustomConnection::TCustomConnection(bool ASilent) : TThread(true)
{
    FConnected = stDisconnected;
    FSilent = ASilent;
    FWakeEvent.Open();
    FPID = 1;
    FReconnectTimeout = 1000;
    FConnectAttempts = 5;
    FNoDataTimeout = 60000;
    FSendLength = 0;
    FSendIdx = 0;
    FSendBuffer.resize(1024);
    FBuffer = new TCustomBuffer(this);
    FBuffer->Start();
}

TCustomConnection::~TCustomConnection()
{
    // Normally the derived connection has stopped both threads already.
    StopThreads();
    delete FBuffer;
    FBuffer = nullptr;
    FThrdListeners.clear();
    FWndListeners.clear();
    FSendBuffer.clear();
}

void TCustomConnection::StopThreads()
{
    TerminateAndWait();
    FBuffer->Clear();
    FBuffer->TerminateAndWait();
}

void TCustomConnection::EnsureStarted()
{
    std::call_once(FStartOnce, [this] {
        SetName(ThreadNameOf("", Name(), Ver()));
        FBuffer->SetName(ThreadNameOf("Buffer of ", Name(), Ver()));
        Start();
    });
}

void TCustomConnection::Wake()
{
    FWakeEvent.Signal();
}

void TCustomConnection::ConsumeWake()
{
    FWakeEvent.Consume();
}

bool TCustomConnection::WaitWake(int Ms)
{
    pollfd p {FWakeEvent.Fd(), POLLIN, 0};
    const int r = ::poll(&p, 1, Ms < 0 ? 0 : Ms);
    if (r > 0) {
        ConsumeWake();
        return true;
    }
    return false;
}

void TCustomConnection::WaitForActivity(int TimeoutMs)
{
    WaitWake(TimeoutMs);
}

int TCustomConnection::ActivityWaitLimitMs() const
{
    if (!FDisconnectInactive.load())
        return -1;
    const std::int64_t last = FLastReadDataTick.load();
    if (last == 0)
        return 0;
    const std::int64_t left = static_cast<std::int64_t>(FNoDataTimeout.load()) - MsSince(last);
    return left > 0 ? static_cast<int>(left) : 0;
}

void TCustomConnection::WaitOnDescriptor(int Fd, short Events)
{
    if (Terminated() || FWantDisconnect.load())
        return;
    {
        std::lock_guard lock(FSendBufferCS);
        if (FSendIdx < FSendLength)
            return;
    }
    const int limit = ActivityWaitLimitMs();
    const int wait = limit < 0 ? 1000 : std::min(limit, 1000);
    pollfd fds[2] = {{WakeFd(), POLLIN, 0}, {Fd, Events, 0}};
    const nfds_t n = Fd >= 0 ? 2 : 1;
    if (::poll(fds, n, wait) > 0 && (fds[0].revents & POLLIN))
        ConsumeWake();
}

void TCustomConnection::SetDisconnectInactive(bool Value)
{
    FDisconnectInactive = Value;
    Wake();
}

void TCustomConnection::SetNoDataTimeout(int Value)
{
    FNoDataTimeout = Value;
    Wake();
}

void TCustomConnection::TerminatedSet()
{
    Wake();
}

// Sleeps Ms unless the thread is told to end or a disconnect is requested meanwhile.
void TCustomConnection::SleepUntilStopped(int Ms, std::uint32_t DisconnectRequestsAtStart)
{
    const std::int64_t start = TickMs();
    for (;;) {
        if (Terminated() || FDisconnectRequests.load() != DisconnectRequestsAtStart)
            return;
        const std::int64_t left = Ms - MsSince(start);
        if (left <= 0)
            return;
        WaitWake(static_cast<int>(left));
    }
}

// The idle wait: ends early when there is something to do.
void TCustomConnection::WaitIdle(int Ms)
{
    const std::int64_t start = TickMs();
    for (;;) {
        if (Terminated() || FWantDisconnect.load() || (FWaitForConnect.load() && FAttemptHolds.load() == 0))
            return;
        const std::int64_t left = Ms - MsSince(start);
        if (left <= 0)
            return;
        WaitWake(static_cast<int>(left));
    }
}

TConnStatus TCustomConnection::DoConnect()
{
    FLastConnectAnnounceTick = TickMs();
    return stConnected;
}

TConnStatus TCustomConnection::DoDisconnect()
{
    FLastConnectAnnounceTick = 0;
    return stDisconnecting;
}

TConnStatus TCustomConnection::DoRead(void*& /*Data*/, std::int32_t& /*DataSize*/)
{
    return stConnected;
}

TConnStatus TCustomConnection::DoProcess()
{
    return stConnected;
}

void TCustomConnection::DoDataReceived(void* Data, std::int32_t DataSize)
{
    FLastReadDataTick = TickMs();
    PostData(Data, DataSize);
}

void TCustomConnection::PostInner(WPARAM Kind, PInnerMessage Msg)
{
    {
        // Numbered in the order of dispatch: listeners see the numbers rise.
        std::lock_guard<std::mutex> g(FLisCS);
        Msg->PID = FPID.fetch_add(1);
        if (FBuffer->HandStraight(Kind, Msg))
            return;
        ++FBuffer->FQueued;
    }
    // The buffer's queue exists once its thread first looked into it, and a
    // full queue refuses posts: retry until accepted. Only a buffer thread that
    // has ended can no longer take it; the message is then released.
    while (!PostThreadMessage(FBuffer->ThreadID(), WM_CONN_INNER, Kind, reinterpret_cast<LPARAM>(Msg))) {
        if (FBuffer->Finished()) {
            {
                std::lock_guard<std::mutex> g(FLisCS);
                --FBuffer->FQueued;
            }
            FreeMessage(Msg);
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

void TCustomConnection::Announce(TConnStatus Status)
{
    auto* msg = NewMessage();
    msg->MT = mtStatus;
    msg->DataSize = 0;
    msg->Data = reinterpret_cast<void*>(static_cast<std::uintptr_t>(Status));
    msg->TimeStamp = Now();
    msg->Tick = TickMs();
    PostInner(1, msg);
}

void TCustomConnection::PostData(void* Data, std::int32_t DataSize)
{
    auto* msg = NewMessage();
    msg->MT = mtData;
    msg->DataSize = DataSize;
    msg->Data = Data;
    msg->TimeStamp = Now();
    msg->Tick = TickMs();
    PostInner(0, msg);
}

void TCustomConnection::ReadOnce(bool Waiting)
{
    void* data = nullptr;
    std::int32_t size = 0;
    const TConnStatus s = DoRead(data, size);
    if (s == stConnected) {
        if (size > 0 && data) {
            DoDataReceived(data, size);
            return;
        }
        if (data)
            std::free(data);
        if (Waiting)
            WaitForActivity(1);
        return;
    }
    // A failed read may still have produced a block: it is not lost in memory.
    if (data)
        std::free(data);
    if (Waiting) {
        Announce(s);
        FWantDisconnect = true;
    }
}

void TCustomConnection::Execute()
{
    FLastConnectAnnounceTick = 0;
    int attempts = 0;
    while (!Terminated()) {
        // 1. Connect phase.
        if (FAttemptHolds.load() == 0) {
            if (FWaitForConnect.load() && !FWantDisconnect.load()) {
                const std::uint32_t requests = FDisconnectRequests.load();
                const std::int64_t last = FLastConnectAnnounceTick.load();
                if (last != 0 && MsSince(last) <= FReconnectTimeout.load()) {
                    SleepUntilStopped(FReconnectTimeout.load(), requests);
                } else {
                    Announce(stConnecting);
                    FLastConnectAnnounceTick = TickMs();
                    TConnStatus s = DoConnect();
                    FConnected = s;
                    if (s == stConnected) {
                        FWaitForConnect = false;
                        FLastReadDataTick = 0;
                    } else if (s == stConnecting && attempts == FConnectAttempts.load()) {
                        FWaitForConnect = false;
                        FWantDisconnect = true;
                        attempts = 0;
                        Announce(stUnableToConnect);
                        s = stConnectTimeout;
                    } else if (s == stConnecting) {
                        ++attempts;
                    } else {
                        FWaitForConnect = false;
                        FWantDisconnect = true;
                        attempts = 0;
                        Announce(stUnableToConnect);
                    }
                    if (s != stConnecting)
                        Announce(s);
                    // The pause paces attempts; after a successful one the
                    // connected phase starts at once, so that the encoder's
                    // first reply is not held back for a whole pause.
                    if (s != stConnected)
                        SleepUntilStopped(FReconnectTimeout.load(), requests);
                }
            } else {
                attempts = 0;
            }
        }

        // 2. Connected phase.
        if (FConnected.load() == stConnected && !FWantDisconnect.load()) {
            const TConnStatus s = DoProcess();
            if (s != stConnected) {
                Announce(s);
                FWantDisconnect = true;
            }
            ReadOnce(true);
            if (FLastReadDataTick.load() == 0)
                FLastReadDataTick = TickMs();
            if (FDisconnectInactive.load() && MsSince(FLastReadDataTick.load()) >= FNoDataTimeout.load()) {
                Announce(stSocketError);
                FWantDisconnect = true;
            }
        } else if (!FWantDisconnect.load()) {
            WaitIdle(100);
        }

        // 3. Disconnect phase.
        if (FWantDisconnect.load()) {
            FWantDisconnect = false;
            FWaitForConnect = false;
            if (FConnected.load() == stConnected) {
                DoProcess(); // transmits what is still queued
                ReadOnce(false);
                const TConnStatus s = DoDisconnect();
                FConnected = s;
                Announce(s);
                FConnected = stDisconnected;
                Announce(stDisconnected);
            } else {
                FConnected = stDisconnected;
                Announce(stNotConnected);
                Announce(DoDisconnect());
                Announce(stDisconnected);
            }
            FLastConnectAnnounceTick = 0;
        }
    }
}

bool TCustomConnection::Connect()
{
    EnsureStarted();
    if (FConnected.load() == stConnected || FWaitForConnect.load()) {
        Announce(stAlreadyConnected);
        return false;
    }
    // Announced before the connect is marked pending, so that the connection
    // thread's own "Connecting" (and a quick "Connected") always come after it.
    Announce(stConnecting);
    FWaitForConnect = true;
    Wake();
    return true;
}

void TCustomConnection::Disconnect(TConnStatus DisconnectMessage)
{
    EnsureStarted();
    Announce(DisconnectMessage);
    FWantDisconnect = true;
    ++FDisconnectRequests;
    Wake();
}

void TCustomConnection::ClearBuffer()
{
    FBuffer->Clear();
}

void TCustomConnection::PushCommand(const void* Data, std::int32_t DataSize)
{
    if (Data && DataSize > 0)
        DoWrite(Data, DataSize);
}

void TCustomConnection::PushCommand(const std::string& ACommand)
{
    PushCommand(ACommand.data(), static_cast<std::int32_t>(ACommand.size()));
}

void TCustomConnection::PushCommand(std::span<const std::uint8_t> ABytes)
{
    PushCommand(ABytes.data(), static_cast<std::int32_t>(ABytes.size()));
}

bool TCustomConnection::DoWrite(const void* Data, std::int32_t DataSize)
{
    if (DataSize <= 0 || !Data || FConnected.load() != stConnected)
        return false;
    if (!FBufferedSend.load())
        return true;
    {
        std::lock_guard<std::mutex> g(FSendBufferCS);
        if (FSendIdx == FSendLength) {
            FSendIdx = 0;
            FSendLength = 0;
        }
        const std::size_t need = static_cast<std::size_t>(FSendLength) + static_cast<std::size_t>(DataSize);
        std::size_t size = FSendBuffer.size();
        while (size < need)
            size += 1024;
        if (size != FSendBuffer.size())
            FSendBuffer.resize(size);
        std::memcpy(FSendBuffer.data() + FSendLength, Data, static_cast<std::size_t>(DataSize));
        FSendLength += DataSize;
    }
    Wake();
    return true;
}

void TCustomConnection::AddThreadListener(std::uint32_t ThrID)
{
    std::lock_guard<std::mutex> g(FLisCS);
    auto it = std::find(FThrdListeners.begin(), FThrdListeners.end(), ThrID);
    if (it != FThrdListeners.end())
        FThrdListeners.erase(it);
    else
        FThrdListeners.push_back(ThrID);
}

void TCustomConnection::AddWindowListener(HWND Wnd)
{
    std::lock_guard<std::mutex> g(FLisCS);
    auto it = std::find(FWndListeners.begin(), FWndListeners.end(), Wnd);
    if (it != FWndListeners.end())
        FWndListeners.erase(it);
    else
        FWndListeners.push_back(Wnd);
}

void TCustomConnection::DispatchMessage(UINT MsgID, PInnerMessage Msg)
{
    std::lock_guard<std::mutex> g(FLisCS);
    DispatchLocked(MsgID, Msg);
}

void TCustomConnection::DispatchLocked(UINT MsgID, PInnerMessage Msg)
{
    const auto listeners = static_cast<std::int32_t>(FThrdListeners.size() + FWndListeners.size());
    // Each listener holds the message until it is done; the buffer thread holds
    // it as well, so none of them can free it while it is being posted.
    Msg->Used = listeners;
    Msg->Refs.fetch_add(listeners);
    const auto w = reinterpret_cast<WPARAM>(this);
    const auto l = reinterpret_cast<LPARAM>(Msg);
    for (std::uint32_t id : FThrdListeners) {
        // A listener that cannot take the message will never finish it.
        if (!PostThreadMessage(id, MsgID, w, l)) {
            Msg->Used.fetch_sub(1);
            Msg->Refs.fetch_sub(1);
        }
    }
    for (HWND wnd : FWndListeners) {
        // Retried until accepted, while the window exists and the buffer runs.
        bool posted = false;
        while (!(posted = PostMessage(wnd, MsgID, w, l))) {
            if (!IsWindow(wnd) || FBuffer->Terminated())
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        if (!posted) {
            Msg->Used.fetch_sub(1);
            Msg->Refs.fetch_sub(1);
        }
    }
}

void TCustomConnection::SetProp(
    const std::string& PropName, TPropValueType PropType, const void* PropValue, std::int32_t PropSize)
{
    FProps.Set(PropName, PropType, PropValue, PropSize);
    const PConnProp p = FProps.Find("PORT");
    if (p && p->ValueType == pvtString) {
        std::lock_guard lock(FPortLock);
        FPort = PropAsString(p);
    }
}

void TCustomConnection::SetProp(const std::string& PropName, const std::string& PropValue)
{
    std::u16string text = Utf8ToUtf16(PropValue);
    text.push_back(u'\0');
    SetProp(PropName, pvtString, text.data(), static_cast<std::int32_t>(text.size() * 2));
}

void TCustomConnection::SetProp(const std::string& PropName, std::int32_t PropValue)
{
    SetProp(PropName, pvtInteger, &PropValue, 4);
}

void TCustomConnection::SetProperties(const TStringDynArray& /*AProps*/)
{
}

PConnProp TCustomConnection::GetProp(int Index) const
{
    return FProps.Get(Index);
}

PConnProp TCustomConnection::GetPropS(const std::string& Name) const
{
    return FProps.Find(Name);
}

std::string TCustomConnection::Port() const
{
    std::lock_guard lock(FPortLock);
    return FPort;
}

void TCustomConnection::SetPort(const std::string& Value)
{
    if (Value != Port())
        SetProp("PORT", Value);
}
