#include "_conn/custom_connection.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

const char* const ConnStatusStr[ConnStatusCount] = {
    "Unknown",
    "Strobe",
    "Idle",
    "Buffer Overrun",
    "Clear Buffer",
    "Connecting",
    "Resolving",
    "Connected",
    "Already Connected",
    "Disconnecting",
    "Disconnected",
    "Not Connected",
    "Socket Error",
    "Connection Timeout",
    "Connection Refused",
    "Disconnected from Device",
    "Unable to Connect",
    "Invalid Connection Params",
};

const char* ConnStatusText(TConnStatus Status)
{
    return Status < ConnStatusCount ? ConnStatusStr[Status] : ConnStatusStr[stUnknown];
}

namespace {

std::string UpperCase(const std::string& S)
{
    std::string r = S;
    for (char& c : r)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return r;
}

// UTF-8 to UTF-16; a byte that does not start a valid sequence stands for itself (Latin-1).
std::u16string Utf8ToUtf16(const std::string& S)
{
    std::u16string out;
    const auto* p = reinterpret_cast<const unsigned char*>(S.data());
    const std::size_t n = S.size();
    std::size_t i = 0;
    while (i < n) {
        const unsigned char c = p[i];
        std::uint32_t cp = c;
        std::size_t len = 1;
        if (c >= 0xC2 && c <= 0xDF)
            len = 2, cp = c & 0x1F;
        else if (c >= 0xE0 && c <= 0xEF)
            len = 3, cp = c & 0x0F;
        else if (c >= 0xF0 && c <= 0xF4)
            len = 4, cp = c & 0x07;
        bool ok = len == 1 ? c < 0x80 : i + len <= n;
        for (std::size_t k = 1; ok && k < len; ++k) {
            if ((p[i + k] & 0xC0) != 0x80)
                ok = false;
            else
                cp = (cp << 6) | (p[i + k] & 0x3F);
        }
        if (ok && len > 1
            && ((len == 3 && cp < 0x800) || (len == 4 && (cp < 0x10000 || cp > 0x10FFFF))
                || (cp >= 0xD800 && cp <= 0xDFFF)))
            ok = false;
        if (!ok) {
            out.push_back(static_cast<char16_t>(c));
            ++i;
            continue;
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
        i += len;
    }
    return out;
}

void AppendUtf8(std::string& Out, std::uint32_t Cp)
{
    if (Cp < 0x80) {
        Out.push_back(static_cast<char>(Cp));
    } else if (Cp < 0x800) {
        Out.push_back(static_cast<char>(0xC0 | (Cp >> 6)));
        Out.push_back(static_cast<char>(0x80 | (Cp & 0x3F)));
    } else if (Cp < 0x10000) {
        Out.push_back(static_cast<char>(0xE0 | (Cp >> 12)));
        Out.push_back(static_cast<char>(0x80 | ((Cp >> 6) & 0x3F)));
        Out.push_back(static_cast<char>(0x80 | (Cp & 0x3F)));
    } else {
        Out.push_back(static_cast<char>(0xF0 | (Cp >> 18)));
        Out.push_back(static_cast<char>(0x80 | ((Cp >> 12) & 0x3F)));
        Out.push_back(static_cast<char>(0x80 | ((Cp >> 6) & 0x3F)));
        Out.push_back(static_cast<char>(0x80 | (Cp & 0x3F)));
    }
}

std::atomic<std::size_t> MessagesAlive {0};

PInnerMessage NewMessage()
{
    auto* msg = new TInnerMessage;
    ++MessagesAlive;
    return msg;
}

void FreeMessage(PInnerMessage Msg)
{
    if (Msg->MT == mtData && Msg->DataSize > 0 && Msg->Data)
        std::free(Msg->Data);
    delete Msg;
    --MessagesAlive;
}

// Lets go of one hold; the last holder frees the message. Answers whether it did.
bool DropHold(PInnerMessage Msg)
{
    if (Msg->Refs.fetch_sub(1, std::memory_order_acq_rel) == 1) {
        FreeMessage(Msg);
        return true;
    }
    return false;
}

std::string ThreadNameOf(const std::string& Prefix, const std::string& Name, std::uint32_t Ver)
{
    char ver[16];
    std::snprintf(ver, sizeof ver, "%X", static_cast<unsigned>(Ver));
    return Prefix + Name + ":" + ver;
}

} // namespace

void InnerMessageDone(TInnerMessage* Msg)
{
    // Read before letting go: afterwards the message may be gone.
    const std::uint32_t buffer = Msg->BufferThread;
    const bool lastListener = Msg->Used.fetch_sub(1) == 1;
    if (!DropHold(Msg) && lastListener)
        WakeThread(buffer); // the buffer thread can let go of it now
}

std::size_t InnerMessagesAlive()
{
    return MessagesAlive.load();
}

std::string PropAsString(const TConnProp* Prop)
{
    std::string out;
    if (!Prop || Prop->ValueType != pvtString || !Prop->ValueData)
        return out;
    const std::size_t units = static_cast<std::size_t>(Prop->ValueSize) / 2;
    const auto* bytes = static_cast<const unsigned char*>(Prop->ValueData);
    for (std::size_t i = 0; i < units; ++i) {
        char16_t u;
        std::memcpy(&u, bytes + 2 * i, 2);
        if (u == 0)
            break;
        std::uint32_t cp = u;
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < units) {
            char16_t lo;
            std::memcpy(&lo, bytes + 2 * (i + 1), 2);
            if (lo >= 0xDC00 && lo <= 0xDFFF) {
                cp = 0x10000 + ((static_cast<std::uint32_t>(u) - 0xD800) << 10) + (lo - 0xDC00);
                ++i;
            }
        }
        AppendUtf8(out, cp);
    }
    return out;
}

std::int32_t PropAsInteger(const TConnProp* Prop)
{
    if (!Prop || Prop->ValueType != pvtInteger || !Prop->ValueData || Prop->ValueSize < 4)
        return 0;
    std::int32_t v;
    std::memcpy(&v, Prop->ValueData, 4);
    return v;
}

// ---------------------------------------------------------------------------
// TCustomBuffer

TCustomBuffer::TCustomBuffer(TCustomConnection* AOwner) : TThread(true), FOwner(AOwner)
{
}

TCustomBuffer::~TCustomBuffer()
{
    Terminate();
    WaitFor();
    // Messages a listener still holds stay alive until it is done with them.
    for (PInnerMessage m : FData)
        DropHold(m);
    FData.clear();
    FRetained = 0;
}

void TCustomBuffer::Release(PInnerMessage Msg)
{
    FreeMessage(Msg);
}

void TCustomBuffer::Retain(PInnerMessage Msg)
{
    Msg->BufferThread = ThreadID();
    Msg->Refs = 1;
    FData.push_back(Msg);
    FRetained = FData.size();
}

void TCustomBuffer::TakeInner(const TMsg& M)
{
    auto* msg = reinterpret_cast<PInnerMessage>(M.lParam);
    if (!msg)
        return;
    if (M.wParam == 0) {
        if (!FOwner->Silent()) {
            Retain(msg);
            FOwner->DispatchMessage(WM_CONN_DATA, msg);
        } else {
            Release(msg);
        }
    } else if (M.wParam == 1) {
        if (!FOwner->Silent() && InnerStatus(msg) != stStrobe) {
            Retain(msg);
            FOwner->DispatchMessage(WM_CONN_STATUS, msg);
        } else {
            Release(msg);
        }
    }
    // Any other first parameter: the queue entry is dropped.
}

void TCustomBuffer::Execute()
{
    TMsg m;
    PeekMessage(m, 0, WM_CONN_INNER, WM_CONN_INNER, PM_NOREMOVE); // the queue exists from here
    while (!Terminated()) {
        if (FWantToClear.load()) {
            Drain();
            FWantToClear = false;
        }
        while (PeekMessage(m, 0, WM_CONN_INNER, WM_CONN_INNER, PM_REMOVE))
            TakeInner(m);
        Purge(true);
        // Until a message arrives, a listener lets go of one (InnerMessageDone
        // wakes the thread), or Terminate wakes it.
        if (!Terminated() && !FWantToClear.load())
            WaitMessage(-1, WM_CONN_INNER, WM_CONN_INNER);
    }
    if (FWantToClear.load()) {
        Drain();
        FWantToClear = false;
    }
    // Nothing posted may outlive the queue, which ends with this thread.
    while (PeekMessage(m, 0, WM_CONN_INNER, WM_CONN_INNER, PM_REMOVE))
        if (auto* msg = reinterpret_cast<PInnerMessage>(m.lParam))
            Release(msg);
}

void TCustomBuffer::Drain()
{
    TMsg m;
    while (PeekMessage(m, 0, WM_CONN_INNER, WM_CONN_INNER, PM_REMOVE)) {
        auto* msg = reinterpret_cast<PInnerMessage>(m.lParam);
        if (!msg)
            continue;
        if (msg->MT == mtStatus && m.wParam == 1 && !FOwner->Silent() && InnerStatus(msg) != stStrobe) {
            Retain(msg);
            FOwner->DispatchMessage(WM_CONN_STATUS, msg);
        } else {
            Release(msg);
        }
    }
    Purge(false);
}

void TCustomBuffer::Purge(bool Aged)
{
    for (auto it = FData.begin(); it != FData.end();) {
        PInnerMessage msg = *it;
        if (!Aged || msg->Used.load() <= 0) {
            DropHold(msg);
            it = FData.erase(it);
        } else {
            ++it;
        }
    }
    FRetained = FData.size();
}

void TCustomBuffer::Clear()
{
    auto* msg = NewMessage();
    msg->MT = mtStatus;
    msg->DataSize = 0;
    msg->Data = reinterpret_cast<void*>(static_cast<std::uintptr_t>(stStrobe));
    msg->PID = 0;
    msg->TimeStamp = Now();
    msg->Tick = TickMs();
    FWantToClear = true;
    while (!PostThreadMessage(ThreadID(), WM_CONN_INNER, 1, reinterpret_cast<LPARAM>(msg))) {
        if (Finished() || !Started()) {
            Release(msg);
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

// ---------------------------------------------------------------------------
// TCustomConnection

TCustomConnection::TCustomConnection(bool ASilent) : TThread(true)
{
    FConnected = stDisconnected;
    FSilent = ASilent;
    FWakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
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
    // Normally the owner has stopped this thread already.
    Terminate();
    WaitFor();
    FBuffer->Clear();
    FBuffer->Terminate();
    FBuffer->WaitFor();
    delete FBuffer;
    FBuffer = nullptr;
    for (PConnProp p : FProps) {
        if (p->ValueSize > 0 || p->ValueData)
            std::free(p->ValueData);
        delete p;
    }
    FProps.clear();
    FThrdListeners.clear();
    FWndListeners.clear();
    FSendBuffer.clear();
    if (FWakeFd >= 0)
        ::close(FWakeFd);
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
    if (FWakeFd >= 0) {
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t n = ::write(FWakeFd, &one, sizeof one);
    }
}

void TCustomConnection::ConsumeWake()
{
    if (FWakeFd >= 0) {
        std::uint64_t v;
        [[maybe_unused]] const ssize_t n = ::read(FWakeFd, &v, sizeof v);
    }
}

bool TCustomConnection::WaitWake(int Ms)
{
    pollfd p {FWakeFd, POLLIN, 0};
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
    FLastConnectAnnounce = Now();
    FLastConnectAnnounceTick = TickMs();
    return stConnected;
}

TConnStatus TCustomConnection::DoDisconnect()
{
    FLastConnectAnnounce = 0;
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
    FLastReadData = Now();
    FLastReadDataTick = TickMs();
    PostData(Data, DataSize);
}

void TCustomConnection::PostInner(WPARAM Kind, PInnerMessage Msg)
{
    // The buffer's queue exists once its thread first looked into it, and a full
    // queue refuses posts: retry until accepted. Only a buffer thread that has
    // ended can no longer take it; the message is then released.
    while (!PostThreadMessage(FBuffer->ThreadID(), WM_CONN_INNER, Kind, reinterpret_cast<LPARAM>(Msg))) {
        if (FBuffer->Finished()) {
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
    msg->PID = FPID.fetch_add(1);
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
    msg->PID = FPID.fetch_add(1);
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
    FLastConnectAnnounce = 0;
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
                    FLastConnectAnnounce = Now();
                    FLastConnectAnnounceTick = TickMs();
                    TConnStatus s = DoConnect();
                    FConnected = s;
                    if (s == stConnected) {
                        FWaitForConnect = false;
                        FLastReadData = 0;
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
            if (FLastReadDataTick.load() == 0) {
                FLastReadData = Now();
                FLastReadDataTick = TickMs();
            }
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
            FLastConnectAnnounce = 0;
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

PConnProp TCustomConnection::FindProp(const std::string& Name) const
{
    const std::string upper = UpperCase(Name);
    for (PConnProp p : FProps)
        if (UpperCase(p->Name) == upper)
            return p;
    return nullptr;
}

void TCustomConnection::SetProp(
    const std::string& PropName, TPropValueType PropType, const void* PropValue, std::int32_t PropSize)
{
    PConnProp p = FindProp(PropName);
    if (!p) {
        p = new TConnProp;
        p->Name = UpperCase(PropName);
        p->ValueType = PropType;
        FProps.push_back(p);
    }
    const std::size_t size = PropSize > 0 ? static_cast<std::size_t>(PropSize) : 0;
    if (size == 0) {
        std::free(p->ValueData);
        p->ValueData = nullptr;
    } else if (!p->ValueData) {
        p->ValueData = std::malloc(size);
    } else if (static_cast<std::size_t>(p->ValueSize) != size) {
        void* grown = std::realloc(p->ValueData, size);
        if (!grown)
            throw std::bad_alloc();
        p->ValueData = grown;
    }
    if (size > 0 && !p->ValueData)
        throw std::bad_alloc();
    p->ValueSize = static_cast<std::int32_t>(size);
    if (size > 0) {
        if (PropValue)
            std::memcpy(p->ValueData, PropValue, size);
        else
            std::memset(p->ValueData, 0, size);
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
    if (Index < 0 || Index >= PropCount())
        return nullptr;
    return FProps[static_cast<std::size_t>(Index)];
}

PConnProp TCustomConnection::GetPropS(const std::string& Name) const
{
    return FindProp(Name);
}
