#include "dialogue/device_factory.h"

#include "_conn/ok_no_automaton.h"
#include "_conn/port_connection.h"

namespace {

// The encoder's serial line: 8 data bits, no parity, one stop bit, no flow
// control, and the bit rate the port already has (a custom rate of 0).
constexpr TSerialLine EncoderLine {.BaudRate = brCustom,
    .BaudRateValue = 0,
    .DataBits = db8BITS,
    .Parity = ptNONE,
    .StopBits = sb1BITS,
    .HwFlow = hfNONE,
    .SwFlow = sfNONE};

} // namespace

void SetUpEncoderDevice(TCustomDevice& Device)
{
    Device.SetPA(new TOKNO);
    Device.SetAdoptConnections(true);
    Device.SetSilent(false);
}

void SetUpEncoderConnection(TCustomConnection& Conn, const std::string& Port)
{
    Conn.SetPort(Port);
    Conn.SetSilent(false);
    // An encoder speaks only when asked, so a quiet line is no lost link: the
    // connection never disconnects for silence (its no-data time-out is off).
    // A link that is gone shows as the port or the socket failing, and a
    // command left unanswered ends with the dialogue's reply time-out.
    Conn.SetDisconnectInactive(false);
}

TCustomConnection* NewEncoderConnection(const std::string& Port)
{
    TCustomConnection* Conn = NewConnectionForPort(Port, true, EncoderLine);
    SetUpEncoderConnection(*Conn, Port);
    return Conn;
}

std::unique_ptr<TCustomDevice> NewEncoderDevice(const std::string& Port)
{
    auto Device = std::make_unique<TCustomDevice>();
    SetUpEncoderDevice(*Device);
    Device->SetConn(NewEncoderConnection(Port));
    return Device;
}
