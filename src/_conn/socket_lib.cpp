#include "_conn/socket_lib.h"

#include "platform/number_parse.h"

#include <cerrno>
#include <cstring>
#include <strings.h>

#include <netdb.h>

std::string SocketErrorText(int ErrNo)
{
    char buf[256] = {};
    // The GNU strerror_r returns its text, which need not live in buf.
    const char* text = strerror_r(ErrNo, buf, sizeof buf);
    if (!text || !*text)
        return "Socket error " + std::to_string(ErrNo);
    return text;
}

std::string ResolveErrorText(int GaiCode, int ErrNo)
{
    if (GaiCode == EAI_SYSTEM)
        return SocketErrorText(ErrNo);
    const char* text = gai_strerror(GaiCode);
    if (!text || !*text)
        return "Name resolution error " + std::to_string(GaiCode);
    return text;
}

bool IsTcpPortName(const std::string& PortName)
{
    return PortName.size() >= 6 && strncasecmp(PortName.c_str(), "tcp://", 6) == 0;
}

TTcpAddress ParseTcpPortName(const std::string& PortName)
{
    const auto fail = [&PortName](const std::string& Why) -> TTcpAddress {
        throw ESocketLib(EINVAL, "Invalid network address \"" + PortName + "\": " + Why);
    };
    if (!IsTcpPortName(PortName))
        return fail("it does not start with tcp://");
    std::string rest = PortName.substr(6);
    // A trailing slash is what people type after a URL; nothing may follow it.
    if (!rest.empty() && rest.back() == '/')
        rest.pop_back();
    TTcpAddress a;
    std::string port;
    if (!rest.empty() && rest.front() == '[') {
        const std::size_t close = rest.find(']');
        if (close == std::string::npos)
            return fail("the IPv6 address has no closing bracket");
        a.Host = rest.substr(1, close - 1);
        if (a.Host.empty())
            return fail("the host is empty");
        if (a.Host.find(':') == std::string::npos)
            return fail("the bracketed host is not an IPv6 address");
        if (close + 1 >= rest.size() || rest[close + 1] != ':')
            return fail("the port is missing (tcp://[HOST]:PORT)");
        port = rest.substr(close + 2);
    } else {
        const std::size_t colon = rest.rfind(':');
        if (colon == std::string::npos)
            return fail("the port is missing (tcp://HOST:PORT)");
        a.Host = rest.substr(0, colon);
        port = rest.substr(colon + 1);
        if (a.Host.empty())
            return fail("the host is empty");
        if (a.Host.find(':') != std::string::npos)
            return fail("an IPv6 address must be written in brackets (tcp://[::1]:PORT)");
        if (a.Host.find_first_of(" \t/@") != std::string::npos)
            return fail("the host holds a character no host name has");
    }
    if (port.empty())
        return fail("the port is missing");
    if (port.size() > 5 || port.find_first_not_of("0123456789") != std::string::npos)
        return fail("the port is not a number");
    const int n = ParseDecimal<int>(port, false).value_or(0);
    if (n < 1 || n > 65535)
        return fail("the port is outside 1-65535");
    a.Service = std::to_string(n);
    return a;
}
