#pragma once
// Who may change what is on air: the addresses the inputs listen on, the
// sources a datagram is taken from, the shared secret, and a bound on how
// often one source may ask.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include <sys/socket.h>

// An address and port to listen on: "PORT", "ADDR:PORT" or "[IPV6]:PORT".
// Without an address the loopback (127.0.0.1). Port 0 takes any free port.
struct TListenAddress {
    std::string Host = "127.0.0.1";
    std::uint16_t Port = 0;

    std::string Text() const;
    // Whether Host is a loopback address.
    bool Loopback() const;
};
// Answers why Spec is no address to listen on, or nothing.
std::optional<std::string> ParseListenAddress(const std::string& Spec, TListenAddress& Out);

// A source address: IPv4 or IPv6 (an IPv4-mapped IPv6 address counts as IPv4).
struct TSourceAddress {
    int Family = 0; // AF_INET or AF_INET6; 0 for none
    std::uint8_t Bytes[16] {};

    static TSourceAddress From(const sockaddr* Addr);
    // From the text of an address ("127.0.0.1", "::1"); Family 0 when it is none.
    static TSourceAddress Parse(const std::string& Text);
    std::string Text() const;
};

// ADDRESS/PREFIX ("192.168.1.0/24", "::1"; the whole address without a prefix).
struct TAddressPrefix {
    TSourceAddress Address;
    int Bits = 0;

    bool Matches(const TSourceAddress& A) const;
    std::string Text() const;
};
// Answers why Spec is no ADDRESS/PREFIX, or nothing.
std::optional<std::string> ParseAddressPrefix(const std::string& Spec, TAddressPrefix& Out);

// Whether A is among Allowed.
bool SourceAllowed(const std::vector<TAddressPrefix>& Allowed, const TSourceAddress& A);
// 127.0.0.0/8 and ::1.
std::vector<TAddressPrefix> LoopbackPrefixes();

// Compares a given token with the secret in time that does not depend on
// where they differ.
bool TokenMatches(const std::string& Given, const std::string& Secret);

// At most Rate requests a second from one source, with bursts of up to
// twice that. Safe to call from any thread. Keeps at most 1024 sources; the
// least recently seen is forgotten first.
class TRateLimiter {
public:
    explicit TRateLimiter(double Rate) : FRate(Rate) { }

    enum TVerdict : std::uint8_t {
        rvAllowed,
        rvRefused,      // refused, and the first refusal since the source was last allowed
        rvRefusedAgain, // refused again: not worth another log line
    };
    TVerdict Take(const std::string& Source, std::chrono::steady_clock::time_point Now);
    TVerdict Take(const std::string& Source) { return Take(Source, std::chrono::steady_clock::now()); }
    double Rate() const { return FRate; }

private:
    struct TBucket {
        double Tokens = 0;
        std::chrono::steady_clock::time_point Seen;
        bool Refusing = false;
    };
    const double FRate;
    std::mutex FLock;
    std::map<std::string, TBucket> FBuckets;
};

// The longest request an input takes: an HTTP body, a TCP line, a datagram,
// the first line of a file.
constexpr std::size_t MaxRequestBytes = 4096;
