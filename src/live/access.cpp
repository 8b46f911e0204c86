#include "live/access.h"

#include "platform/number_parse.h"

#include <algorithm>
#include <cstring>

#include <arpa/inet.h>
#include <netinet/in.h>

namespace {

constexpr std::uint8_t MappedPrefix[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF};

constexpr std::size_t MaxSources = 1024;

int AddressBits(int Family)
{
    return Family == AF_INET ? 32 : 128;
}

} // namespace

std::string TListenAddress::Text() const
{
    const bool V6 = Host.find(':') != std::string::npos;
    return (V6 ? "[" + Host + "]" : Host) + ":" + std::to_string(Port);
}

bool TListenAddress::Loopback() const
{
    const TSourceAddress A = TSourceAddress::Parse(Host);
    return SourceAllowed(LoopbackPrefixes(), A);
}

std::optional<std::string> ParseListenAddress(const std::string& Spec, TListenAddress& Out)
{
    std::string Host = "127.0.0.1";
    std::string Port = Spec;
    if (!Spec.empty() && Spec.front() == '[') {
        const std::size_t Close = Spec.find(']');
        if (Close == std::string::npos || Close + 1 >= Spec.size() || Spec[Close + 1] != ':')
            return "\"" + Spec + "\" is not [IPV6]:PORT";
        Host = Spec.substr(1, Close - 1);
        Port = Spec.substr(Close + 2);
    } else if (const std::size_t Colon = Spec.rfind(':'); Colon != std::string::npos) {
        if (Spec.find(':') != Colon)
            return "\"" + Spec + "\": an IPv6 address goes in brackets ([::1]:8080)";
        Host = Spec.substr(0, Colon);
        Port = Spec.substr(Colon + 1);
    }
    const std::optional<long long> N = ParseDecimal<long long>(Port);
    if (!N || *N < 0 || *N > 65535)
        return "\"" + Spec + "\": the port must be a number from 0 to 65535";
    if (TSourceAddress::Parse(Host).Family == 0)
        return "\"" + Spec + "\": \"" + Host + "\" is not an IPv4 or IPv6 address";
    Out.Host = Host;
    Out.Port = static_cast<std::uint16_t>(*N);
    return std::nullopt;
}

TSourceAddress TSourceAddress::From(const sockaddr* Addr)
{
    TSourceAddress A;
    if (!Addr)
        return A;
    if (Addr->sa_family == AF_INET) {
        sockaddr_in In {};
        std::memcpy(&In, Addr, sizeof In);
        A.Family = AF_INET;
        std::memcpy(A.Bytes, &In.sin_addr, 4);
    } else if (Addr->sa_family == AF_INET6) {
        sockaddr_in6 In6 {};
        std::memcpy(&In6, Addr, sizeof In6);
        if (std::memcmp(&In6.sin6_addr, MappedPrefix, sizeof MappedPrefix) == 0) {
            A.Family = AF_INET;
            std::memcpy(A.Bytes, reinterpret_cast<const std::uint8_t*>(&In6.sin6_addr) + 12, 4);
        } else {
            A.Family = AF_INET6;
            std::memcpy(A.Bytes, &In6.sin6_addr, 16);
        }
    }
    return A;
}

TSourceAddress TSourceAddress::Parse(const std::string& Text)
{
    TSourceAddress A;
    if (::inet_pton(AF_INET, Text.c_str(), A.Bytes) == 1) {
        A.Family = AF_INET;
        return A;
    }
    std::uint8_t V6[16] {};
    if (::inet_pton(AF_INET6, Text.c_str(), V6) == 1) {
        if (std::memcmp(V6, MappedPrefix, sizeof MappedPrefix) == 0) {
            A.Family = AF_INET;
            std::memcpy(A.Bytes, V6 + 12, 4);
        } else {
            A.Family = AF_INET6;
            std::memcpy(A.Bytes, V6, 16);
        }
        return A;
    }
    return TSourceAddress {};
}

std::string TSourceAddress::Text() const
{
    char Buf[INET6_ADDRSTRLEN] = {};
    if (Family == 0 || !::inet_ntop(Family, Bytes, Buf, sizeof Buf))
        return "?";
    return Buf;
}

bool TAddressPrefix::Matches(const TSourceAddress& A) const
{
    if (A.Family != Address.Family)
        return false;
    int Left = Bits;
    for (int i = 0; Left > 0; ++i, Left -= 8) {
        const std::uint8_t Mask = Left >= 8 ? 0xFF : static_cast<std::uint8_t>(0xFF << (8 - Left));
        if ((A.Bytes[i] & Mask) != (Address.Bytes[i] & Mask))
            return false;
    }
    return true;
}

std::string TAddressPrefix::Text() const
{
    return Address.Text() + "/" + std::to_string(Bits);
}

std::optional<std::string> ParseAddressPrefix(const std::string& Spec, TAddressPrefix& Out)
{
    const std::size_t Slash = Spec.find('/');
    const TSourceAddress A = TSourceAddress::Parse(Spec.substr(0, Slash));
    if (A.Family == 0)
        return "\"" + Spec + "\" is not ADDRESS/PREFIX (an IPv4 or IPv6 address, a slash and the prefix length)";
    int Bits = AddressBits(A.Family);
    if (Slash != std::string::npos) {
        const std::optional<long long> N = ParseDecimal<long long>(Spec.substr(Slash + 1));
        if (!N || *N < 0 || *N > Bits)
            return "\"" + Spec + "\": the prefix length must be a number from 0 to " + std::to_string(Bits);
        Bits = static_cast<int>(*N);
    }
    Out.Address = A;
    Out.Bits = Bits;
    return std::nullopt;
}

bool SourceAllowed(const std::vector<TAddressPrefix>& Allowed, const TSourceAddress& A)
{
    return std::any_of(Allowed.begin(), Allowed.end(), [&](const TAddressPrefix& P) { return P.Matches(A); });
}

std::vector<TAddressPrefix> LoopbackPrefixes()
{
    TAddressPrefix V4, V6;
    ParseAddressPrefix("127.0.0.0/8", V4);
    ParseAddressPrefix("::1/128", V6);
    return {V4, V6};
}

bool TokenMatches(const std::string& Given, const std::string& Secret)
{
    // Every byte of the longer text is looked at, whatever the outcome.
    const std::size_t N = std::max(Given.size(), Secret.size());
    unsigned Diff = Given.size() == Secret.size() ? 0U : 1U;
    for (std::size_t i = 0; i < N; ++i) {
        const unsigned char G = i < Given.size() ? static_cast<unsigned char>(Given[i]) : 0;
        const unsigned char S = i < Secret.size() ? static_cast<unsigned char>(Secret[i]) : 0;
        Diff |= static_cast<unsigned>(G ^ S);
    }
    return Diff == 0 && !Secret.empty();
}

TRateLimiter::TVerdict TRateLimiter::Take(const std::string& Source, std::chrono::steady_clock::time_point Now)
{
    const double Burst = std::max(1.0, 2 * FRate);
    std::lock_guard<std::mutex> G(FLock);
    auto It = FBuckets.find(Source);
    if (It == FBuckets.end()) {
        if (FBuckets.size() >= MaxSources) {
            auto Oldest = std::min_element(FBuckets.begin(), FBuckets.end(),
                [](const auto& A, const auto& B) { return A.second.Seen < B.second.Seen; });
            FBuckets.erase(Oldest);
        }
        It = FBuckets.emplace(Source, TBucket {Burst, Now, false}).first;
    }
    TBucket& B = It->second;
    const double Elapsed = std::chrono::duration<double>(Now - B.Seen).count();
    B.Tokens = std::min(Burst, B.Tokens + std::max(0.0, Elapsed) * FRate);
    B.Seen = Now;
    if (B.Tokens >= 1) {
        B.Tokens -= 1;
        B.Refusing = false;
        return rvAllowed;
    }
    const bool First = !B.Refusing;
    B.Refusing = true;
    return First ? rvRefused : rvRefusedAgain;
}
