#include "_conn/port_connection.h"

#include "_conn/serial_connection.h"
#include "_conn/socket_lib.h"
#include "_conn/tcp_connection.h"

bool ConnectionFitsPort(const TCustomConnection* Conn, const std::string& Port)
{
    if (IsTcpPortName(Port))
        return dynamic_cast<const TConnTCP*>(Conn) != nullptr;
    return dynamic_cast<const TConnCOM*>(Conn) != nullptr;
}

TCustomConnection* NewConnectionForPort(const std::string& Port, bool ASilent)
{
    if (IsTcpPortName(Port))
        return new TConnTCP(ASilent);
    return new TConnCOM(ASilent);
}

void ApplyPortSettings(TCustomConnection* Conn, const std::string& Port)
{
    // Port name and a 30 s no-data time-out; a serial line also keeps its
    // current bit rate (a custom rate of 0) with 8 data bits, no parity, one
    // stop bit and no flow control.
    if (auto* tcp = dynamic_cast<TConnTCP*>(Conn))
        tcp->SetProperties({Port, "30000"});
    else if (Conn)
        Conn->SetProperties({Port, "30000", "0", "3", "0", "0", "0", "0", "0"});
}

std::string ConnectionErrorText(const TCustomConnection* Conn)
{
    if (const auto* tcp = dynamic_cast<const TConnTCP*>(Conn))
        return tcp->LastError();
    if (const auto* com = dynamic_cast<const TConnCOM*>(Conn)) {
        const TPortProblem problem = com->LastProblem();
        if (problem.Kind != ppNone)
            return PortProblemText(com->Port(), problem, TConnCOM::EnumerateDevices(false));
    }
    return {};
}
