#include "_conn/port_connection.h"

#include "_conn/socket_lib.h"
#include "_conn/tcp_connection.h"

TTransportKind TransportForPort(const std::string& Port)
{
    return IsTcpPortName(Port) ? tkTcp : tkSerial;
}

bool ConnectionFitsPort(const TCustomConnection* Conn, const std::string& Port)
{
    return Conn && Conn->Transport() == TransportForPort(Port);
}

TCustomConnection* NewConnectionForPort(const std::string& Port, bool ASilent, const TSerialLine& Line)
{
    if (TransportForPort(Port) == tkTcp)
        return new TConnTCP(ASilent);
    auto* Com = new TConnCOM(ASilent);
    Com->SetLine(Line);
    return Com;
}

std::string ConnectionErrorText(const TCustomConnection* Conn)
{
    return Conn ? Conn->ProblemText() : std::string();
}
