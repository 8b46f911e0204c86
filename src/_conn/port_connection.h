#pragma once
// The connection a port name asks for: "tcp://HOST:PORT" is an encoder behind
// a serial device server (TConnTCP), any other name a serial port (TConnCOM).
// Both get the line settings the encoder uses, so the dialogue above them
// cannot tell them apart.

#include <string>

#include "_conn/custom_connection.h"

// Whether Conn is of the kind Port asks for (false for no connection).
bool ConnectionFitsPort(const TCustomConnection* Conn, const std::string& Port);
// A new connection of the kind Port asks for, not yet configured.
TCustomConnection* NewConnectionForPort(const std::string& Port, bool ASilent);
// Gives a connection of the fitting kind its port and fixed line settings.
// Raises EConvertError only for settings a serial port cannot take.
void ApplyPortSettings(TCustomConnection* Conn, const std::string& Port);
// Why the connection's last connect or link failed, in words, when the
// transport knows more than its status says (empty otherwise): a socket
// error, or for a serial port what kept it from us and how to mend that.
std::string ConnectionErrorText(const TCustomConnection* Conn);
