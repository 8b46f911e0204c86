#include "dialogue/device_factory.h"

#include "_conn/ok_no_automaton.h"
#include "_conn/port_connection.h"

#include <exception>

void SetUpEncoderDevice(TCustomDevice& Device)
{
    Device.SetPA(new TOKNO);
    Device.SetAdoptConnections(true);
    Device.SetSilent(false);
}

std::string SetUpEncoderConnection(TCustomConnection& Conn, const std::string& Port)
{
    std::string Error;
    try {
        ApplyPortSettings(&Conn, Port);
    } catch (const std::exception& E) {
        Error = E.what();
    }
    Conn.SetSilent(false);
    Conn.SetDisconnectInactive(false);
    return Error;
}

TCustomConnection* NewEncoderConnection(const std::string& Port, std::string* Error)
{
    TCustomConnection* Conn = NewConnectionForPort(Port, true);
    const std::string Why = SetUpEncoderConnection(*Conn, Port);
    if (Error)
        *Error = Why;
    return Conn;
}

std::unique_ptr<TCustomDevice> NewEncoderDevice(const std::string& Port, std::string* Error)
{
    auto Device = std::make_unique<TCustomDevice>();
    SetUpEncoderDevice(*Device);
    Device->SetConn(NewEncoderConnection(Port, Error));
    return Device;
}
