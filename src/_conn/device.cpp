#include "_conn/device.h"

#include "platform/assertion.h"
#include "platform/log.h"
#include "platform/message_queue.h"

#include <cstdio>
#include <cstdlib>

namespace {

template <typename E>
void Toggle(std::vector<E>& L, const E& Value)
{
    for (E& H : L)
        if (H.Assigned() && H.SameCode(Value)) {
            H = E(); // cleared in place: the list keeps its length
            return;
        }
    L.push_back(Value);
}

template <typename E, typename... A>
void CallAll(const std::vector<E>& L, A... Args)
{
    for (const E& H : L)
        if (H.Assigned())
            H(Args...);
}

// Whether a list holds a handler to call (cleared entries keep their place).
template <typename E>
bool AnyAssigned(const std::vector<E>& L)
{
    for (const E& H : L)
        if (H.Assigned())
            return true;
    return false;
}

} // namespace

// ---------------------------------------------------------------- form

TCustomDeviceForm::~TCustomDeviceForm()
{
    FRequestListeners.clear();
    TCustomDeviceForm::SetDevice(nullptr);
}

void TCustomDeviceForm::SetDevice(TCustomDevice* Value)
{
    if (Value == FDevice)
        return;
    const TDeviceStatusEvent S(this, &TCustomDeviceForm::DeviceStatus);
    const TDevicePacketEvent P(this, &TCustomDeviceForm::DevicePacket);
    const TDeviceActionEvent A(this, &TCustomDeviceForm::DeviceAction);
    if (FDevice) {
        FDevice->SetOnDeviceStatus(S);
        FDevice->SetOnDevicePacket(P);
        FDevice->SetOnDeviceAction(A);
    }
    FDevice = Value;
    if (FDevice) {
        FDevice->SetOnDeviceStatus(S);
        FDevice->SetOnDevicePacket(P);
        FDevice->SetOnDeviceAction(A);
    }
}

void TCustomDeviceForm::Order(int, const void*, std::int32_t, void*& NewData, std::int32_t& NewDataSize)
{
    NewData = nullptr;
    NewDataSize = 0;
}

void TCustomDeviceForm::SetOnRequest(const TDeviceFormRequestEvent& Value)
{
    for (const auto& H : FRequestListeners)
        if (H.SameCode(Value))
            return;
    FRequestListeners.push_back(Value);
}

void TCustomDeviceForm::Request(int ARequest, int AResult, TCustomDevice* ADevice)
{
    TCustomDevice* D = ADevice ? ADevice : Device();
    const auto L = FRequestListeners;
    CallAll(L, D, ARequest, AResult);
}

// ---------------------------------------------------------------- device

namespace {

std::string DeviceThreadName(const std::string& Name, std::uint32_t Ver)
{
    char Buf[64];
    std::snprintf(Buf, sizeof Buf, "%s:%x", Name.c_str(), static_cast<unsigned>(Ver));
    return Buf;
}

} // namespace

TCustomDevice::TCustomDevice() : TThread(true)
{
    FSilent = true;
    FAdoptC = false;
    // The thread starts later (EnsureStarted): a derived device is not built yet.
    SetName(DeviceThreadName(TCustomDevice::GetName(), TCustomDevice::GetVer()));
    SetFreeOnTerminate(false);
}

void TCustomDevice::EnsureStarted()
{
    std::call_once(FStartOnce, [this] {
        SetName(DeviceThreadName(GetName(), GetVer()));
        Start();
        // A connection can post to the device thread only once its queue exists.
        FLoopReady.wait(false);
    });
}

TCustomDevice::~TCustomDevice()
{
    if (FForm) {
        TCustomDeviceForm* F = FForm;
        FForm = nullptr;
        delete F;
    }
    TCustomConnection* C = FConn.load();
    if (C)
        C->AddThreadListener(ThreadID());
    // The device thread ends before the connection or the automaton is released,
    // so it never touches either after they are gone; on its way out it
    // acknowledges the messages still queued for it.
    TerminateAndWait();
    if (C && FAdoptC) {
        FConn = nullptr;
        C->Disconnect(stDisconnecting);
        C->TerminateAndWait();
        delete C;
    }
    delete FPA.exchange(nullptr);
    if (FConfig) {
        std::free(FConfig);
        FConfig = nullptr;
    }
}

void TCustomDevice::TerminatedSet()
{
    WakeThread(ThreadID());
}

void TCustomDevice::Execute()
{
    TMsg M;
    PeekMessage(M, 0, WM_CONN_STATUS, WM_CONN_DATA, PM_NOREMOVE); // creates the queue
    FLoopReady = true;
    FLoopReady.notify_all();
    while (!Terminated()) {
        while (!Terminated() && PeekMessage(M, 0, WM_CONN_STATUS, WM_CONN_DATA, PM_REMOVE))
            HandleMessage(M);
        try {
            Idle();
        } catch (...) {
            kvx::log::Caught("device: Idle threw");
        }
        // Until a message arrives, or Terminate wakes the thread.
        if (!Terminated())
            WaitMessage(-1, WM_CONN_STATUS, WM_CONN_DATA);
    }
    // Messages that will never be handled are still acknowledged.
    while (PeekMessage(M, 0, WM_CONN_STATUS, WM_CONN_DATA, PM_REMOVE))
        if (M.lParam)
            InnerMessageDone(reinterpret_cast<PInnerMessage>(M.lParam));
}

void TCustomDevice::HandleMessage(const TMsg& M)
{
    auto* Msg = reinterpret_cast<PInnerMessage>(M.lParam);
    if (!Msg)
        return;
    // A handler that throws must not end the device thread.
    try {
        if (!FSilent) {
            if (Msg->MT == mtStatus) {
                const TConnStatus S = InnerStatus(Msg);
                TCustomAutomata* A = FPA.load();
                if (A && S >= stDisconnected && S <= stInvalidConnectionParams)
                    A->Clear();
                std::vector<TDeviceStatusEvent> Async, Sync;
                {
                    std::lock_guard<std::mutex> G(FHandlersCS);
                    Async = FOnDeviceStatusAsync;
                    Sync = FOnDeviceStatus;
                }
                CallAll(Async, this, S);
                // A hand-over with no handler to run is not made.
                if (AnyAssigned(Sync))
                    Synchronize([&] { CallAll(Sync, this, S); });
            } else if (Msg->MT == mtData) {
                IncomingQueries(Msg);
                TCustomAutomata* A = FPA.load();
                if (A && FProcAsyncData && FProcData)
                    A->OnData(Msg->Data, Msg->DataSize);
            }
        }
    } catch (...) {
        kvx::log::Caught(Msg->MT == mtStatus ? "device: status handler threw" : "device: data or packet handler threw");
    }
    InnerMessageDone(Msg); // the message may be gone from here on
}

void TCustomDevice::IncomingQueries(PInnerMessage Msg)
{
    TDeviceQueryDataEvent Async, Sync;
    {
        std::lock_guard<std::mutex> G(FHandlersCS);
        Async = FOnDeviceDataAsync;
        Sync = FOnDeviceData;
    }
    FProcAsyncData = true;
    if (Async) {
        FProcAsyncData = false;
        Async(this, Msg->Data, Msg->DataSize, ddIncoming, FProcAsyncData);
    }
    FProcData = true;
    // Without a handler the bytes go through, and the main thread has nothing to do.
    if (Sync)
        Synchronize([&] {
            FProcData = false;
            Sync(this, Msg->Data, Msg->DataSize, ddIncoming, FProcData);
        });
}

void TCustomDevice::PacketReady(TCustomAutomata* Sender)
{
    std::vector<TDevicePacketEvent> Async, Sync;
    {
        std::lock_guard<std::mutex> G(FHandlersCS);
        Async = FOnDevicePacketAsync;
        Sync = FOnDevicePacket;
    }
    CallAll(Async, this, Sender);
    if (AnyAssigned(Sync)) {
        TCustomAutomata* A = FPA.load();
        Synchronize([&] { CallAll(Sync, this, A); });
    }
}

void TCustomDevice::DoAction(TdAction A)
{
    std::vector<TDeviceActionEvent> L;
    {
        std::lock_guard<std::mutex> G(FHandlersCS);
        L = FOnDeviceAction;
    }
    CallAll(L, this, A);
}

void TCustomDevice::Connect()
{
    DoAction(daBeforeConnect);
    if (TCustomConnection* C = FConn.load())
        C->Connect();
}

void TCustomDevice::Disconnect()
{
    DoAction(daBeforeDisconnect);
    TCustomConnection* C = FConn.load();
    if (C && C->Connected() != stDisconnected)
        C->Disconnect(stDisconnecting);
}

bool TCustomDevice::Connected() const
{
    TCustomConnection* C = FConn.load();
    return C && C->Connected() == stConnected;
}

void TCustomDevice::PushCommand(const void* ACommand, std::uint32_t ASize, bool Formatted)
{
    TCustomConnection* C = FConn.load();
    TCustomAutomata* A = FPA.load();
    if ((Formatted && !A) || !C)
        return;
    void* NewCmd = nullptr;
    std::int32_t NewSize = 0;
    if (Formatted)
        A->FormatCommand(ACommand, static_cast<std::int32_t>(ASize), NewCmd, NewSize);
    const void* Out = Formatted ? NewCmd : ACommand;
    const std::int32_t OutSize = Formatted ? NewSize : static_cast<std::int32_t>(ASize);
    TDeviceQueryDataEvent Q;
    {
        std::lock_guard<std::mutex> G(FHandlersCS);
        Q = FOnDeviceData;
    }
    bool Proceed = true;
    try {
        if (Q) {
            Proceed = false;
            Q(this, Out, OutSize, ddOutgoing, Proceed);
        }
        if (Proceed)
            C->PushCommand(Out, OutSize);
    } catch (...) {
        std::free(NewCmd);
        throw;
    }
    std::free(NewCmd);
}

void TCustomDevice::PushCommand(const std::string& ACommand, bool Formatted)
{
    PushCommand(ACommand.data(), static_cast<std::uint32_t>(ACommand.size()), Formatted);
}

void TCustomDevice::PushCommand(std::initializer_list<std::uint8_t> ACommand, bool Formatted)
{
    PushCommand(ACommand.begin(), static_cast<std::uint32_t>(ACommand.size()), Formatted);
}

void TCustomDevice::SetSilent(bool Value)
{
    if (Value == FSilent.load())
        return;
    DoAction(daBeforeChangeSilent);
    FSilent = Value;
    TCustomConnection* C = FConn.load();
    if (FAdoptC && C)
        C->SetSilent(Value);
}

void TCustomDevice::SetConn(TCustomConnection* Value)
{
    TCustomConnection* Old = FConn.load();
    if (!Value || Value == Old)
        return;
    EnsureStarted();
    if (Old)
        Old->AddThreadListener(ThreadID()); // toggles the device off
    DoAction(daBeforeChangeConnection);
    Assert((Value->Ver() & 0xFF) == 4, "Conn Version Differs");
    FConn = Value;
    Value->AddThreadListener(ThreadID());
    DoAction(daAfterChangeConnection);
}

void TCustomDevice::SetPA(TCustomAutomata* Value)
{
    if (Value == FPA.load())
        return;
    DoAction(daBeforeChangeProtocol);
    delete FPA.exchange(nullptr);
    if (Value) {
        Assert((Value->Ver() & 0xFF) == AutomataFrameworkVersion, "Automata Version Differs");
        Value->Clear();
        Value->SetOnPacket(TAutomataNotifyEvent(this, &TCustomDevice::PacketReady));
        FPA = Value;
    }
}

void TCustomDevice::SetConfig(void* Value)
{
    DoAction(daBeforeChangeConfig);
    FConfig = Value;
    DoAction(daAfterChangeConfig);
}

TCustomDeviceForm* TCustomDevice::Form()
{
    TDeviceNewFormEvent NF;
    {
        std::lock_guard<std::mutex> G(FHandlersCS);
        NF = FOnNewForm;
    }
    if (!FForm && NF) {
        DoAction(daBeforeChangeForm);
        TCustomDeviceForm* F = nullptr;
        NF(this, F);
        if (F) {
            FForm = F;
            F->SetDevice(this);
        }
    }
    return FForm;
}

void TCustomDevice::SetForm(TCustomDeviceForm* Value)
{
    if (Value == FForm)
        return;
    TCustomDeviceForm* Old = FForm;
    FForm = nullptr;
    delete Old;
    DoAction(daBeforeChangeForm);
    FForm = Value;
    if (Value)
        Value->SetDevice(this);
}

void TCustomDevice::SetOnDeviceStatusAsync(const TDeviceStatusEvent& Value)
{
    std::lock_guard<std::mutex> G(FHandlersCS);
    Toggle(FOnDeviceStatusAsync, Value);
}

void TCustomDevice::SetOnDevicePacketAsync(const TDevicePacketEvent& Value)
{
    std::lock_guard<std::mutex> G(FHandlersCS);
    Toggle(FOnDevicePacketAsync, Value);
}

void TCustomDevice::SetOnDeviceAction(const TDeviceActionEvent& Value)
{
    std::lock_guard<std::mutex> G(FHandlersCS);
    Toggle(FOnDeviceAction, Value);
}

void TCustomDevice::SetOnDeviceStatus(const TDeviceStatusEvent& Value)
{
    SetOnDeviceStatusEx(0, Value);
}

void TCustomDevice::SetOnDevicePacket(const TDevicePacketEvent& Value)
{
    std::lock_guard<std::mutex> G(FHandlersCS);
    Toggle(FOnDevicePacket, Value);
}

void TCustomDevice::SetOnDeviceStatusEx(int Action, const TDeviceStatusEvent& Value)
{
    std::lock_guard<std::mutex> G(FHandlersCS);
    auto Listed = FOnDeviceStatus.end();
    for (auto It = FOnDeviceStatus.begin(); It != FOnDeviceStatus.end(); ++It)
        if (It->Assigned() && It->SameCode(Value)) {
            Listed = It;
            break;
        }
    switch (Action) {
    case 0:
        Toggle(FOnDeviceStatus, Value);
        break;
    case 1:
        if (Listed == FOnDeviceStatus.end())
            FOnDeviceStatus.push_back(Value);
        break;
    case 2:
        if (Listed != FOnDeviceStatus.end())
            *Listed = TDeviceStatusEvent();
        break;
    default:
        break;
    }
}

void TCustomDevice::SetOnDeviceData(const TDeviceQueryDataEvent& Value)
{
    std::lock_guard<std::mutex> G(FHandlersCS);
    FOnDeviceData = Value;
}

void TCustomDevice::SetOnDeviceDataAsync(const TDeviceQueryDataEvent& Value)
{
    std::lock_guard<std::mutex> G(FHandlersCS);
    FOnDeviceDataAsync = Value;
}

void TCustomDevice::SetOnNewForm(const TDeviceNewFormEvent& Value)
{
    std::lock_guard<std::mutex> G(FHandlersCS);
    FOnNewForm = Value;
}

std::size_t TCustomDevice::DeviceStatusListLength() const
{
    std::lock_guard<std::mutex> G(FHandlersCS);
    return FOnDeviceStatus.size();
}
