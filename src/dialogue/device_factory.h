#pragma once
// The encoder device and its connection, set up in one place: a device that
// cuts replies at OK/NO and holds the connection a port name asks for (a
// serial port, or tcp://HOST:PORT) with the encoder's line. The front ends,
// the tests and the benchmarks all build it here.

#include "_conn/custom_connection.h"
#include "_conn/device.h"

#include <memory>
#include <string>

// Gives Device the OK/NO framing, lets it announce what it receives, and makes
// it adopt (and free) the connections it is given.
void SetUpEncoderDevice(TCustomDevice& Device);

// Gives Conn the port and what the encoder's link asks of any transport: it
// announces its statuses and stays connected while the line is quiet (see
// device_factory.cpp). A port name that cannot be had is reported by the
// connection as invalid parameters when it connects.
void SetUpEncoderConnection(TCustomConnection& Conn, const std::string& Port);

// A new connection of the kind Port asks for (a serial one with the encoder's
// line: 8 data bits, no parity, one stop bit, no flow control, at the port's
// current rate), set up as above.
TCustomConnection* NewEncoderConnection(const std::string& Port);

// A device set up as above that holds a new connection for Port; not connected yet.
std::unique_ptr<TCustomDevice> NewEncoderDevice(const std::string& Port);
