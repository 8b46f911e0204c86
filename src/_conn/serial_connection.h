#pragma once
// TConnCOM: the serial transport of the connection framework. It opens, reads,
// writes and closes a serial port through its own TCommPortDriver, whose
// timer-driven receive path stays paused because this connection reads on its
// own thread. EnumerateDevices lists the serial ports present.
//
// A port is named as the user knows it ("ttyUSB0"), without "/dev/"; a name
// that starts with "/" is used as the device path itself ("/dev/pts/3").

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "_conn/comm_port_driver.h"
#include "_conn/custom_connection.h"
#include "_conn/port_enumeration.h"
#include "_conn/port_problem.h"

// Raised when a text that should hold an integer does not.
class EConvertError : public std::invalid_argument {
public:
    using std::invalid_argument::invalid_argument;
};

// The integer a text holds: optional blanks, an optional sign and decimal
// digits, or hexadecimal after "$" or "0x". Raises EConvertError otherwise,
// also when the value does not fit 32 bits.
std::int32_t StrToInt(const std::string& S);

// A serial line's settings, by name. A custom rate (brCustom) runs at
// BaudRateValue bit/s; 0 keeps the rate the port has.
struct TSerialLine {
    TBaudRate BaudRate = brCustom;
    std::uint32_t BaudRateValue = 0;
    TDataBits DataBits = db8BITS;
    TParity Parity = ptNONE;
    TStopBits StopBits = sb1BITS;
    THwFlowControl HwFlow = hfNONE;
    TSwFlowControl SwFlow = sfNONE;
};

class TConnCOM : public TCustomConnection {
public:
    static constexpr std::uint32_t ConnCOMVer = 0x104;

    explicit TConnCOM(bool ASilent);
    ~TConnCOM() override;

    bool Connect() override;
    void Disconnect(TConnStatus DisconnectMessage) override;

    // The line's settings, applied as a reopen would.
    void SetLine(const TSerialLine& Line);
    std::uint32_t Speed() const;
    void SetSpeed(std::uint32_t Value);

    // By position: port name, NoDataTimeout, BaudRate, DataBits, Parity,
    // StopBits, HwFlow, SwFlow, BaudRateValue. Every element is checked before
    // any is applied, so a bad one changes nothing.
    void SetProperties(const TStringDynArray& AProps) override;

    // The driver, for reading its settings back.
    const TCommPortDriver& Driver() const { return *FCPD; }

    // Device path of a port name.
    static std::string PortPath(const std::string& PortName);

    // Opens a port the way Connect probes it and closes it again: answers
    // whether it could be had for our exclusive use.
    static bool ProbePort(const std::string& PortName);
    // What keeps the port from us: the errno of a failed exclusive open, or
    // another process that holds it open (found even when it took no lock).
    // The port is opened and locked first, so that nobody comes in while the
    // others are looked for; Keep, when given, receives it when nothing keeps
    // it from us (otherwise it is closed again).
    static TPortProblem CheckPort(const std::string& PortName, TFileDescriptor* Keep = nullptr);
    // The same for several ports, with one look at the other processes. The
    // ports are closed again.
    static std::vector<TPortProblem> CheckPorts(const std::vector<std::string>& PortNames);
    // The same, but each port that nobody else holds stays open and locked,
    // kept for the next Connect to it, which takes it as it is instead of
    // looking at the other processes again: a run over many encoders pays
    // for one walk of /proc, not one a port. ReleaseCheckedAhead lets go of
    // the ports of PortNames that no Connect took (all of them when empty).
    static std::vector<TPortProblem> CheckPortsAhead(const std::vector<std::string>& PortNames);
    static void ReleaseCheckedAhead(const std::vector<std::string>& PortNames = {});

    // Why the last Connect was refused, or the port went away; ppNone otherwise.
    TPortProblem LastProblem() const;
    // The last problem and its fix in words (empty when there is none).
    std::string ProblemText() const override;
    TTransportKind Transport() const override { return tkSerial; }

    // Serial ports present (EnumerateSerialPorts, port_enumeration.h).
    static TStringDynArray EnumerateDevices(
        bool OnlyUseable, const std::string& SysRoot = "/sys/class/tty", const std::string& DevRoot = "/dev")
    {
        return EnumerateSerialPorts(OnlyUseable, SysRoot, DevRoot);
    }

protected:
    TConnStatus DoConnect() override;
    TConnStatus DoDisconnect() override;
    TConnStatus DoRead(void*& Data, std::int32_t& DataSize) override;
    TConnStatus DoProcess() override;
    std::string GetName() const override { return "Conn1_COM_Client_CPD_"; }
    std::uint32_t GetVer() const override { return ConnCOMVer; }
    bool DoWrite(const void* Data, std::int32_t DataSize) override;
    // Sleeps until bytes are readable, the port goes away, or the framework
    // wants the thread (connect, disconnect, a queued write, termination).
    void WaitForActivity(int TimeoutMs) override;

private:
    static bool CheckVersion(bool ASilent);
    // Records that the port went away; the status that says so.
    TConnStatus PortWentAway();

    TCommPortDriver* FCPD = nullptr;
    mutable std::mutex FCheckLock;
    TPortProblem FLastProblem; // under FCheckLock
    TFileDescriptor FChecked;  // under FCheckLock: the port Connect opened and checked, for the next attempt
};
