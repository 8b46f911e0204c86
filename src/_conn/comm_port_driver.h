#pragma once
// TCommPortDriver: one serial port opened through termios, with its line
// settings, buffer sizes, time-outs, modem lines and a timer-driven receive
// path that hands received bytes (or fixed-size packets) to event handlers.
//
// The port is named by its device path ("/dev/ttyUSB0"). The receive path runs
// on a timer thread of the driver, started with the first open and ended by the
// driver's destruction; callers that read on their own thread keep it paused
// (PausePolling). A paused timer thread, or one whose port is closed, sleeps
// until polling resumes or the port opens. A receive handler may close and reopen
// the port; it must not destroy the driver.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "_conn/port_descriptor.h"
#include "platform/event.h"

enum TBaudRate : std::uint8_t {
    brCustom,
    br110,
    br300,
    br600,
    br1200,
    br2400,
    br4800,
    br9600,
    br14400,
    br19200,
    br38400,
    br56000,
    br57600,
    br115200,
    br128000,
    br256000
};

enum TPortNumber : std::uint8_t {
    pnCustom,
    pnCOM1,
    pnCOM2,
    pnCOM3,
    pnCOM4,
    pnCOM5,
    pnCOM6,
    pnCOM7,
    pnCOM8,
    pnCOM9,
    pnCOM10,
    pnCOM11,
    pnCOM12,
    pnCOM13,
    pnCOM14,
    pnCOM15,
    pnCOM16
};

// Bits per character = ordinal + 5.
enum TDataBits : std::uint8_t { db5BITS, db6BITS, db7BITS, db8BITS };
enum TStopBits : std::uint8_t { sb1BITS, sb1HALFBITS, sb2BITS };
enum TParity : std::uint8_t { ptNONE, ptODD, ptEVEN, ptMARK, ptSPACE };
enum THwFlowControl : std::uint8_t { hfNONE, hfNONERTSON, hfRTSCTS };
enum TSwFlowControl : std::uint8_t { sfNONE, sfXONXOFF };
enum TPacketMode : std::uint8_t { pmDiscard, pmPass };
enum TLineStatus : std::uint8_t { lsCTS, lsDSR, lsRING, lsCD };

// A set of modem-line states.
class TLineStatusSet {
public:
    void Include(TLineStatus S) { FBits = static_cast<std::uint8_t>(FBits | (1u << S)); }
    bool Contains(TLineStatus S) const { return (FBits & (1u << S)) != 0; }
    bool Empty() const { return FBits == 0; }
    bool operator==(const TLineStatusSet&) const = default;

private:
    std::uint8_t FBits = 0;
};

// Bits per second of a rate; 0 for brCustom.
std::uint32_t BaudValue(TBaudRate Rate);

class TCommPortDriver;
using TReceiveDataEvent = TEvent<TCommPortDriver*, void*, std::uint32_t>;
using TReceivePacketEvent = TEvent<TCommPortDriver*, void*, std::uint32_t>;

// A port handle is a file descriptor.
using TPortHandle = int;
constexpr TPortHandle INVALID_PORT_HANDLE = -1;
// Written to Handle, forgets the descriptor without closing it.
constexpr TPortHandle DETACH_PORT_HANDLE = -2;

// What WaitForInput saw.
enum TPortWait : std::uint8_t {
    pwData,    // bytes are waiting
    pwTimeout, // nothing arrived in time
    pwLost,    // the port went away (hang-up, error, unplugged device)
    pwClosed   // the driver has no port open
};

class TCommPortDriver {
public:
    static constexpr std::uint32_t MinBufSize = 128;
    static constexpr std::uint32_t MaxBufSize = 8192;
    static constexpr std::uint16_t MinPollingDelay = 5;

    TCommPortDriver();
    virtual ~TCommPortDriver();
    TCommPortDriver(const TCommPortDriver&) = delete;
    TCommPortDriver& operator=(const TCommPortDriver&) = delete;

    // Port name.
    TPortNumber Port() const { return FPort; }
    void SetPort(TPortNumber Value);
    std::string PortName() const;
    void SetPortName(const std::string& Value);
    // Device path of a numbered port: COM1 is the first on-board UART, ttyS0.
    static std::string PortNumberPath(TPortNumber Value);

    // Line settings; each re-applies the whole set while the port is open.
    TBaudRate BaudRate() const { return FBaudRate; }
    void SetBaudRate(TBaudRate Value);
    std::uint32_t BaudRateValue() const { return FBaudRateValue; }
    void SetBaudRateValue(std::uint32_t Value);
    TDataBits DataBits() const { return FDataBits; }
    void SetDataBits(TDataBits Value);
    TStopBits StopBits() const { return FStopBits; }
    void SetStopBits(TStopBits Value);
    TParity Parity() const { return FParity; }
    void SetParity(TParity Value);
    THwFlowControl HwFlow() const { return FHwFlow; }
    void SetHwFlow(THwFlowControl Value);
    TSwFlowControl SwFlow() const { return FSwFlow; }
    void SetSwFlow(TSwFlowControl Value);
    bool EnableDTROnOpen() const { return FEnableDTROnOpen; }
    void SetEnableDTROnOpen(bool Value) { FEnableDTROnOpen = Value; }

    // Buffers, polling and packets.
    std::uint32_t InBufSize() const { return FInBufSize; }
    void SetInBufSize(std::uint32_t Value);
    std::uint32_t OutBufSize() const { return FOutBufSize; }
    void SetOutBufSize(std::uint32_t Value);
    std::int16_t PacketSize() const { return FPacketSize; }
    void SetPacketSize(std::int16_t Value);
    std::int32_t PacketTimeout() const { return FPacketTimeout; }
    void SetPacketTimeout(std::int32_t Value);
    TPacketMode PacketMode() const { return FPacketMode; }
    void SetPacketMode(TPacketMode Value);
    std::uint16_t PollingDelay() const { return FPollingDelay; }
    void SetPollingDelay(std::uint16_t Value);
    void PausePolling();
    void ContinuePolling();
    bool IsPolling() const { return FRXPollingPauses.load() <= 0; }

    std::uint16_t OutputTimeout() const { return FOutputTimeout; }
    void SetOutputTimeout(std::uint16_t Value) { FOutputTimeout = Value; }
    std::uint32_t InputTimeout() const { return FInputTimeout; }
    void SetInputTimeout(std::uint32_t Value) { FInputTimeout = Value; }
    bool CheckLineStatus() const { return FCkLineStatus; }
    void SetCheckLineStatus(bool Value) { FCkLineStatus = Value; }

    TReceiveDataEvent OnReceiveData() const;
    void SetOnReceiveData(TReceiveDataEvent Value);
    TReceivePacketEvent OnReceivePacket() const;
    void SetOnReceivePacket(TReceivePacketEvent Value);

    // Open and close. Opened, when valid, is the port already opened with the
    // exclusive lock (OpenPortExclusive); the driver takes it instead of
    // opening the port again.
    bool Connect(TFileDescriptor Opened = {});
    void Disconnect();
    bool Connected() const { return FHandle.load() != INVALID_PORT_HANDLE; }
    TPortHandle Handle() const { return FHandle.load(); }
    void SetHandle(TPortHandle Value);

    // Data. CountRX and OutFreeSpace answer 65535 while closed.
    std::int32_t CountRX();
    std::uint16_t OutFreeSpace();
    std::uint32_t ReadData(std::uint8_t* DataPtr, std::uint32_t MaxDataSize);
    bool ReadByte(std::uint8_t& Value);
    bool ReadChar(char& Value);
    std::uint32_t SendDataEx(const char* DataPtr, std::uint32_t DataSize, std::uint32_t Timeout);
    std::uint32_t SendData(const void* DataPtr, std::uint32_t DataSize);
    bool SendByte(std::uint8_t Value);
    bool SendChar(char Value);
    // Text is sent as its bytes, one byte per character.
    bool SendString(const std::string& S);
    bool SendZString(const char* S);
    bool FlushBuffers(bool inBuf, bool outBuf);

    // Modem lines.
    TLineStatusSet GetLineStatus();
    void ToggleDTR(bool onOff);
    void ToggleRTS(bool onOff);
    void SetBreak();
    void ClearBreak();

    // Waits up to TimeoutMs (0: just looks) until bytes are readable, and tells
    // a port that has gone away (hang-up or error) from one that is merely quiet.
    TPortWait WaitForInput(int TimeoutMs);
    // True once a read, a write or a wait found that the open port went away.
    bool PortLost() const { return FPortLost.load(); }

    // One tick of the timer-driven receive path; the timer thread calls it.
    void PollTimerProc();

protected:
    bool ApplySettings();

private:
    void ReapplyIfOpen();
    std::uint32_t PacketDurationMs() const;
    // Arms the timer (starting its thread the first time); StopTimer disarms it.
    void StartTimer();
    void StopTimer();
    // Ends the timer thread and waits for it (destruction only).
    void EndTimer();
    void TimerLoop();
    void MarkLostIf(int Err);
    long ReadSome(std::uint8_t* Data, std::uint32_t Size);
    void DrainOutput();

    std::atomic<TPortHandle> FHandle {INVALID_PORT_HANDLE};
    TPortNumber FPort = pnCOM2;
    mutable std::mutex FNameLock;
    std::string FPortName;
    TBaudRate FBaudRate = br9600;
    std::uint32_t FBaudRateValue = 9600;
    TDataBits FDataBits = db8BITS;
    TStopBits FStopBits = sb1BITS;
    TParity FParity = ptNONE;
    THwFlowControl FHwFlow = hfNONERTSON;
    TSwFlowControl FSwFlow = sfNONE;
    std::uint32_t FInBufSize = 2048;
    std::uint32_t FOutBufSize = 2048;
    std::int16_t FPacketSize = -1;
    std::int32_t FPacketTimeout = -1;
    TPacketMode FPacketMode = pmDiscard;
    TReceiveDataEvent FOnReceiveData;
    TReceivePacketEvent FOnReceivePacket;
    std::atomic<std::uint16_t> FPollingDelay {50};
    bool FEnableDTROnOpen = true;
    std::uint16_t FOutputTimeout = 500;
    std::uint32_t FInputTimeout = 200;
    bool FCkLineStatus = false;
    std::vector<std::uint8_t> FTempInBuffer;
    // TickMs() at which a pending packet's first byte was seen; 0 = none.
    std::int64_t FFirstByteOfPacketTime = 0;
    std::atomic<int> FRXPollingPauses {0};

    // Serialises the receive block, the packet state and the handlers between
    // the timer thread and readers on other threads.
    mutable std::recursive_mutex FRxLock;
    // Keeps the descriptor from being closed under a write in progress.
    std::mutex FTxLock;
    std::atomic<bool> FPortLost {false};
    // Rate the port had before it was opened, used when BaudRateValue is 0.
    std::uint32_t FKeptRate = 0;

    std::thread FTimerThread;
    std::mutex FTimerLock;
    std::condition_variable FTimerCV;
    bool FTimerStop = false;
    bool FTimerRestart = false;
    bool FTimerArmed = false;
};
