#pragma once
// The connection framework: TCustomConnection, the abstract base of every
// transport, and TCustomBuffer (custom_buffer.h), its companion thread.
//
// The connection thread opens the transport, retries an open that has not
// succeeded yet, polls for received bytes, transmits queued bytes, watches for
// silence on the line and closes the transport on request. Everything it learns
// leaves it as a TInnerMessage (received bytes or a status) posted to the buffer
// thread, which keeps the message alive while listeners look at it and posts a
// pointer to it to every listener thread and listener window (a sole thread
// listener gets it straight from the posting thread, see custom_buffer.h).
//
// A listener receives WM_CONN_STATUS / WM_CONN_DATA with wParam = the connection
// and lParam = the PInnerMessage; when it has finished reading the message it
// calls InnerMessageDone (which decreases Used), exactly once, and does not
// touch the message afterwards. A message lives as long as someone holds it:
// the buffer thread while it retains the message, and each listener until it
// is done. The last one to let go frees it, so a message is never freed under a
// listener however long it takes, and a clear or the connection's destruction
// leaves held messages to their listeners. The buffer thread looks at the
// retained messages on its own a moment after the last one came; a message a
// listener still holds then wakes it when the listener is done.
//
// Memory blocks: a data block handed to PostData / DoDataReceived, and the block
// a DoRead override returns, comes from std::malloc (or std::realloc); the
// framework frees it with std::free.

#include "_conn/connection_props.h"
#include "_conn/custom_buffer.h"
#include "_conn/inner_message.h"
#include "_conn/status_words.h"
#include "platform/date_time.h"
#include "platform/message_queue.h"
#include "platform/thread.h"
#include "platform/wake_event.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <span>
#include <string>
#include <vector>

// The transports, as a port name asks for them.
enum TTransportKind : std::uint8_t {
    tkNone,   // the framework's own base
    tkSerial, // a serial port (TConnCOM)
    tkTcp,    // a serial line behind a TCP socket (TConnTCP)
};

class TCustomConnection : public TThread, private TBufferOwner {
public:
    // The connection thread starts on the first Connect or Disconnect (or an
    // explicit Start), once the transport object is fully built: it calls the
    // transport's virtual operations. The buffer thread starts at once.
    explicit TCustomConnection(bool ASilent);
    // The owner stops the connection thread (Terminate, WaitFor) before deleting.
    ~TCustomConnection() override;

    virtual bool Connect();
    virtual void Disconnect(TConnStatus DisconnectMessage);
    virtual void ClearBuffer();

    virtual void PushCommand(const void* Data, std::int32_t DataSize);
    void PushCommand(const std::string& ACommand);
    void PushCommand(std::span<const std::uint8_t> ABytes);

    // Toggles: a listener already registered is removed, any other is appended.
    void AddThreadListener(std::uint32_t ThrID);
    void AddWindowListener(HWND Wnd);

    // Posts the message to every listener (see the buffer thread for who calls it).
    void DispatchMessage(UINT MsgID, PInnerMessage Msg);

    virtual void SetProp(
        const std::string& PropName, TPropValueType PropType, const void* PropValue, std::int32_t PropSize);
    void SetProp(const std::string& PropName, const std::string& PropValue);
    void SetProp(const std::string& PropName, std::int32_t PropValue);
    virtual void SetProperties(const TStringDynArray& AProps);
    PConnProp GetProp(int Index) const;
    PConnProp GetPropS(const std::string& Name) const;
    int PropCount() const { return FProps.Count(); }

    // The port name: the "PORT" property as text, readable from any thread
    // (a serial port's name, or "tcp://HOST:PORT").
    std::string Port() const;
    void SetPort(const std::string& Value);

    // Which transport this is.
    virtual TTransportKind Transport() const { return tkNone; }
    // Why the last connect or the link failed, in words, when the transport
    // knows more than its status says (empty otherwise).
    virtual std::string ProblemText() const { return {}; }

    TConnStatus Connected() const { return GetConnected(); }
    std::string Name() const { return GetName(); }
    std::uint32_t Ver() const { return GetVer(); }

    bool Silent() const override { return FSilent.load(); }
    void SetSilent(bool Value) { FSilent = Value; }
    int ReconnectTimeout() const { return FReconnectTimeout.load(); }
    void SetReconnectTimeout(int Value) { FReconnectTimeout = Value; }
    int ConnectAttempts() const { return FConnectAttempts.load(); }
    void SetConnectAttempts(int Value) { FConnectAttempts = Value; }
    bool DisconnectInactive() const { return FDisconnectInactive.load(); }
    void SetDisconnectInactive(bool Value);
    int NoDataTimeout() const { return FNoDataTimeout.load(); }
    void SetNoDataTimeout(int Value);
    bool BufferedSend() const { return FBufferedSend.load(); }
    void SetBufferedSend(bool Value) { FBufferedSend = Value; }

    TCustomBuffer* Buffer() const { return FBuffer; }

protected:
    // Stops the connection thread and then the buffer thread; a derived
    // connection calls it first in its destructor, as both threads call into
    // the whole object. Once stopped, a second call does nothing.
    void StopThreads();

    virtual TConnStatus DoConnect();
    virtual TConnStatus DoDisconnect();
    // Must not wait for data. Answers stConnected with Data a malloc'd block of
    // DataSize bytes, or DataSize 0 when nothing waits; anything else is a failure.
    virtual TConnStatus DoRead(void*& Data, std::int32_t& DataSize);
    virtual TConnStatus DoProcess();
    virtual void DoDataReceived(void* Data, std::int32_t DataSize);
    virtual TConnStatus GetConnected() const { return FConnected.load(); }
    virtual std::string GetName() const { return "Conn1_"; }
    virtual std::uint32_t GetVer() const { return 4; }
    // Runs on the caller's thread; an override calls this one first.
    virtual bool DoWrite(const void* Data, std::int32_t DataSize);

    // Waits up to TimeoutMs for something to do on the connected line. The base
    // waits on WakeFd() only. A transport may also watch its own descriptor, and
    // may wait longer than asked when it watches WakeFd() too, as long as it
    // returns by ActivityWaitLimitMs().
    virtual void WaitForActivity(int TimeoutMs);
    // Readable when Connect, Disconnect, Terminate or a buffered write wants the
    // connection thread's attention. WaitForActivity consumes it (ConsumeWake).
    int WakeFd() const { return FWakeEvent.Fd(); }
    void ConsumeWake();
    void Wake();
    // Milliseconds until the no-data time-out is due (-1 when it is off).
    int ActivityWaitLimitMs() const;
    // What a transport's WaitForActivity does with its own descriptor Fd
    // (none when negative): sleeps until WakeFd() or Events on Fd, for up to
    // a second and no longer than a due no-data time-out; returns at once when
    // the thread is to stop or a queued write waits (its wake-up may have been
    // consumed earlier in this pass).
    void WaitOnDescriptor(int Fd, short Events);

    void Announce(TConnStatus Status);
    void PostData(void* Data, std::int32_t DataSize);

    // While a hold is alive the connection thread makes no connect attempt, so a
    // transport's Connect can still withdraw the pending connect it just made.
    class TAttemptHold {
    public:
        explicit TAttemptHold(TCustomConnection& C) : FC(C) { ++FC.FAttemptHolds; }
        ~TAttemptHold()
        {
            --FC.FAttemptHolds;
            FC.Wake();
        }
        TAttemptHold(const TAttemptHold&) = delete;
        TAttemptHold& operator=(const TAttemptHold&) = delete;

    private:
        TCustomConnection& FC;
    };

    void Execute() override;
    void TerminatedSet() override;

    // Starts the connection thread once (named "%s:%x" from Name and Ver).
    void EnsureStarted();

    std::atomic<bool> FSilent {false};
    TCustomBuffer* FBuffer = nullptr;
    std::atomic<std::uint32_t> FPID {1};
    std::atomic<int> FReconnectTimeout {1000};
    std::atomic<int> FConnectAttempts {5};
    std::atomic<std::int64_t> FLastConnectAnnounceTick {0}; // TickMs() of the last connect attempt; 0 = none
    std::vector<std::uint32_t> FThrdListeners;
    std::vector<HWND> FWndListeners;
    std::mutex FLisCS;
    TConnProps FProps;
    std::atomic<TConnStatus> FConnected {stDisconnected};
    std::atomic<bool> FWaitForConnect {false};
    std::atomic<bool> FWantDisconnect {false};
    std::atomic<bool> FDisconnectInactive {false};
    std::atomic<std::int64_t> FLastReadDataTick {0}; // TickMs() of the last bytes read; 0 = none yet
    std::atomic<int> FNoDataTimeout {60000};
    std::mutex FSendBufferCS;
    std::vector<std::uint8_t> FSendBuffer;
    std::int32_t FSendLength = 0;
    std::int32_t FSendIdx = 0;
    std::atomic<bool> FBufferedSend {false};

private:
    // Numbers the message and hands it to the buffer (straight to a sole
    // listener, or through the buffer thread's queue).
    void PostInner(WPARAM Kind, PInnerMessage Msg);
    // What the buffer thread asks of its connection.
    std::mutex& ListenerLock() final { return FLisCS; }
    bool HasSoleThreadListener() const override { return FThrdListeners.size() == 1 && FWndListeners.empty(); }
    // DispatchMessage with FLisCS held.
    void DispatchLocked(UINT MsgID, PInnerMessage Msg) override;
    void SleepUntilStopped(int Ms, std::uint32_t DisconnectRequestsAtStart);
    void WaitIdle(int Ms);
    bool WaitWake(int Ms);
    void ReadOnce(bool Waiting);

    TWakeEvent FWakeEvent;
    mutable std::mutex FPortLock;
    std::string FPort; // the "PORT" property's text, under FPortLock
    std::atomic<int> FAttemptHolds {0};
    std::atomic<std::uint32_t> FDisconnectRequests {0};
    std::once_flag FStartOnce;
};
