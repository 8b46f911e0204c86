#pragma once
// The connection a port name asks for: "tcp://HOST:PORT" is an encoder behind
// a serial device server (TConnTCP), any other name a serial port (TConnCOM).
// The dialogue above them cannot tell them apart.

#include <string>

#include "_conn/custom_connection.h"
#include "_conn/serial_connection.h"

// The transport a port name asks for.
TTransportKind TransportForPort(const std::string& Port);
// Whether Conn is of the kind Port asks for (false for no connection).
bool ConnectionFitsPort(const TCustomConnection* Conn, const std::string& Port);
// A new connection of the kind Port asks for, not yet given its port; a
// serial one has Line.
TCustomConnection* NewConnectionForPort(const std::string& Port, bool ASilent, const TSerialLine& Line);
// Why the connection's last connect or link failed, in words, when the
// transport knows more than its status says (empty otherwise, and for no
// connection): a socket error, or for a serial port what kept it from us and
// how to mend that.
std::string ConnectionErrorText(const TCustomConnection* Conn);
