#pragma once
// Socket support: the texts of socket and name-resolution errors, and the
// exception that carries one.

#include <stdexcept>
#include <string>

class ESocketLib : public std::runtime_error {
public:
    ESocketLib(int ACode, const std::string& AMessage) : std::runtime_error(AMessage), FCode(ACode) { }
    int Code() const { return FCode; }

private:
    int FCode;
};

// The text of an errno value ("Connection refused"), never empty.
std::string SocketErrorText(int ErrNo);
// The text of a getaddrinfo result code ("Name or service not known"); for
// EAI_SYSTEM the text of ErrNo.
std::string ResolveErrorText(int GaiCode, int ErrNo);

// A "tcp://HOST:PORT" port name split into its host and service. HOST is a
// name, an IPv4 address or an IPv6 address in brackets; PORT is 1-65535.
struct TTcpAddress {
    std::string Host;
    std::string Service;
};

// Whether a port name asks for a TCP connection (starts with "tcp://", in any case).
bool IsTcpPortName(const std::string& PortName);
// Splits a "tcp://HOST:PORT" name. Raises ESocketLib (code EINVAL) with a text
// that says what is wrong: missing host, missing or bad port, bad brackets.
TTcpAddress ParseTcpPortName(const std::string& PortName);
