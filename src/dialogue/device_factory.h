#pragma once
// The encoder device: a device that cuts replies at OK/NO and holds the
// connection a port name asks for (a serial port, or tcp://HOST:PORT) with the
// encoder's line settings. The front ends, the tests and the benchmarks all
// build it here.

#include "_conn/custom_connection.h"
#include "_conn/device.h"

#include <memory>
#include <string>

// Gives Device the OK/NO framing, lets it announce what it receives, and makes
// it adopt (and free) the connections it is given.
void SetUpEncoderDevice(TCustomDevice& Device);

// Gives Conn the port and the encoder's line settings; it announces its
// statuses and stays connected while the line is quiet. Answers why the
// settings do not fit (a serial port that cannot take them), empty when they
// do; the connection then reports invalid parameters when it connects.
std::string SetUpEncoderConnection(TCustomConnection& Conn, const std::string& Port);

// A new connection of the kind Port asks for, set up as above. Error, when
// given, receives what SetUpEncoderConnection answered.
TCustomConnection* NewEncoderConnection(const std::string& Port, std::string* Error = nullptr);

// A device set up as above that holds a new connection for Port; not connected yet.
std::unique_ptr<TCustomDevice> NewEncoderDevice(const std::string& Port, std::string* Error = nullptr);
