#pragma once
// The device: binds one connection and one protocol automaton and runs a
// thread of its own that listens to the connection. Received bytes go through
// the automaton; statuses and packets are raised on the device thread ("Async"
// handlers) and handed to the main thread (the others), which runs them while
// the device thread waits; when no such handler is set, there is nothing to
// hand over and the device thread goes on by itself. Commands travel on the
// caller's thread: the automaton formats them and the connection sends them.
//
// The device thread starts when the first connection is attached (SetConn), once
// a derived device is fully built: it calls the device's virtual operations. It
// sleeps until a message arrives. A derived device that overrides Idle or
// PacketReady stops the thread in its own destructor (Terminate, WaitFor).

#include "_conn/automata.h"
#include "_conn/custom_connection.h"
#include "platform/event.h"
#include "platform/thread.h"

#include <atomic>
#include <cstdint>
#include <initializer_list>
#include <mutex>
#include <string>
#include <vector>

enum TdAction : std::uint8_t {
    daUnknown = 0,
    daBeforeConnect = 1,
    daBeforeDisconnect = 2,
    daBeforeChangeSilent = 3,
    daBeforeChangeConnection = 4,
    daAfterChangeConnection = 5,
    daBeforeChangeProtocol = 6,
    daBeforeChangeForm = 7,
    daBeforeChangeConfig = 8,
    daAfterChangeConfig = 9,
};

enum TDataDirection : std::uint8_t { ddIncoming = 0, ddOutgoing = 1 };

class TCustomDevice;
class TCustomDeviceForm;

using TDeviceActionEvent = TEvent<TCustomDevice*, TdAction>;
using TDeviceStatusEvent = TEvent<TCustomDevice*, TConnStatus>;
using TDevicePacketEvent = TEvent<TCustomDevice*, TCustomAutomata*>;
using TDeviceQueryDataEvent = TEvent<TCustomDevice*, const void*, std::int32_t, TDataDirection, bool&>;
using TDeviceNewFormEvent = TEvent<TCustomDevice*, TCustomDeviceForm*&>;
using TDeviceFormRequestEvent = TEvent<TCustomDevice*, int, int>;

// A form bound to a device. Free of any toolkit: a window that wants to follow
// a device derives from it and overrides the three handlers.
class TCustomDeviceForm {
public:
    TCustomDeviceForm() = default;
    virtual ~TCustomDeviceForm();
    TCustomDeviceForm(const TCustomDeviceForm&) = delete;
    TCustomDeviceForm& operator=(const TCustomDeviceForm&) = delete;

    virtual TCustomDevice* Device() const { return FDevice; }
    // Takes the three handlers off the old device and puts them on the new one.
    virtual void SetDevice(TCustomDevice* Value);

    virtual void DeviceStatus(TCustomDevice*, TConnStatus) { }
    virtual void DevicePacket(TCustomDevice*, TCustomAutomata*) { }
    virtual void DeviceAction(TCustomDevice*, TdAction) { }
    virtual void Order(
        int AOrder, const void* AData, std::int32_t ADataSize, void*& NewData, std::int32_t& NewDataSize);

    // Appends unless a handler with the same code is listed.
    void SetOnRequest(const TDeviceFormRequestEvent& Value);
    // Calls every request handler with ADevice, or the form's device when nil.
    void Request(int ARequest, int AResult, TCustomDevice* ADevice = nullptr);

protected:
    TCustomDevice* FDevice = nullptr;
    std::vector<TDeviceFormRequestEvent> FRequestListeners;
};

class TCustomDevice : public TThread {
public:
    TCustomDevice();
    ~TCustomDevice() override;

    virtual void Connect();
    virtual void Disconnect();
    bool Connected() const;

    // Formatted: the automaton frames the command first (for TOKNO: CR LF appended).
    virtual void PushCommand(const void* ACommand, std::uint32_t ASize, bool Formatted);
    void PushCommand(const std::string& ACommand, bool Formatted);
    void PushCommand(std::initializer_list<std::uint8_t> ACommand, bool Formatted);

    std::string Name() const { return GetName(); }
    std::uint32_t Ver() const { return GetVer(); }

    bool Silent() const { return FSilent.load(); }
    void SetSilent(bool Value);
    TCustomConnection* Conn() const { return FConn.load(); }
    virtual void SetConn(TCustomConnection* Value);
    TCustomAutomata* PA() const { return FPA.load(); }
    // The device owns its automaton: the one replaced is freed.
    void SetPA(TCustomAutomata* Value);
    void* Config() const { return FConfig; }
    // A malloc'd block, released with std::free when the device is destroyed.
    void SetConfig(void* Value);
    TCustomDeviceForm* Form();
    void SetForm(TCustomDeviceForm* Value);
    bool FormAvailable() const { return FForm != nullptr; }
    bool AdoptConnections() const { return FAdoptC.load(); }
    void SetAdoptConnections(bool Value) { FAdoptC = Value; }

    // Handler lists: writing toggles by code (a listed code is cleared in place).
    void SetOnDeviceStatusAsync(const TDeviceStatusEvent& Value);
    void SetOnDevicePacketAsync(const TDevicePacketEvent& Value);
    void SetOnDeviceAction(const TDeviceActionEvent& Value);
    void SetOnDeviceStatus(const TDeviceStatusEvent& Value);
    void SetOnDevicePacket(const TDevicePacketEvent& Value);
    // Action 0 toggles, 1 appends unless listed, 2 clears when listed, others nothing.
    void SetOnDeviceStatusEx(int Action, const TDeviceStatusEvent& Value);

    void SetOnDeviceData(const TDeviceQueryDataEvent& Value);
    void SetOnDeviceDataAsync(const TDeviceQueryDataEvent& Value);
    void SetOnNewForm(const TDeviceNewFormEvent& Value);

    // Length of a handler list, cleared entries included.
    std::size_t DeviceStatusListLength() const;

protected:
    void Execute() override;
    void TerminatedSet() override;
    // Starts the device thread once (named "%s:%x" from Name and Ver) and waits
    // until its queue exists.
    void EnsureStarted();
    virtual void Idle() { }
    virtual std::string GetName() const { return "DEV_"; }
    virtual std::uint32_t GetVer() const { return 4; }
    virtual void PacketReady(TCustomAutomata* Sender);

    void DoAction(TdAction A);

    std::atomic<bool> FSilent {true};
    std::atomic<TCustomConnection*> FConn {nullptr};
    std::atomic<TCustomAutomata*> FPA {nullptr};
    std::vector<TDeviceStatusEvent> FOnDeviceStatusAsync;
    std::vector<TDevicePacketEvent> FOnDevicePacketAsync;
    bool FProcAsyncData = true;
    TDeviceQueryDataEvent FOnDeviceDataAsync;
    TDeviceNewFormEvent FOnNewForm;
    TCustomDeviceForm* FForm = nullptr;
    void* FConfig = nullptr;
    std::atomic<bool> FAdoptC {false};
    std::vector<TDeviceActionEvent> FOnDeviceAction;
    std::vector<TDeviceStatusEvent> FOnDeviceStatus;
    std::vector<TDevicePacketEvent> FOnDevicePacket;
    bool FProcData = true;
    TDeviceQueryDataEvent FOnDeviceData;

private:
    void HandleMessage(const TMsg& M);
    void IncomingQueries(PInnerMessage Msg);

    // Guards the handler lists and single handlers against a change on the main
    // thread while the device thread walks them (calls work on a copy).
    mutable std::mutex FHandlersCS;
    std::atomic<bool> FLoopReady {false};
    std::once_flag FStartOnce;
};
