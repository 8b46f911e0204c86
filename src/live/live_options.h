#pragma once
// The options of the now-playing bridge ("kvxctl live" and the window's Live
// Text page): where updates come from, what they become, how often the
// encoder is written and who may write.

#include "live/access.h"
#include "live/live_update.h"

#include <optional>
#include <string>
#include <vector>

struct TLiveOptions {
    // The encoder's port: a serial port or tcp://HOST:PORT.
    std::string Port;
    // Longest wait for one reply of the encoder, in seconds (0: without end).
    double Timeout = 3;

    std::vector<TListenAddress> Http;
    std::vector<TListenAddress> Tcp;
    std::vector<TListenAddress> Udp;
    std::vector<std::string> Files;

    TLiveRules Rules;
    // Sent after IdleAfter seconds without an update (empty: nothing is).
    std::string IdleText;
    double IdleAfter = 0;
    // At most one write to the encoder in this many seconds.
    double MinInterval = 15;

    // HTTP and TCP take updates only with it (empty: without).
    std::string Token;
    // Sources taken by every input; empty: UDP takes the loopback only.
    std::vector<TAddressPrefix> Allow;
    // Requests a second one source may make.
    double MaxRate = 10;

    // -v: Debug records and every line to and from the encoder; -q: problems only.
    bool Verbose = false;
    bool Quiet = false;
    // A transcript of every line sent and received (kvxctl's --transcript; empty: none).
    std::string Transcript;

    bool HasInput() const { return !Http.empty() || !Tcp.empty() || !Udp.empty() || !Files.empty(); }
};

// The default template.
inline constexpr const char* DefaultLiveTemplate = "{artist} - {title}";
// The default pause after the last update before the idle text is sent.
inline constexpr double DefaultIdleAfter = 300;

// Parses the bridge's arguments ("--http 8080", "--http=8080", --config FILE
// read in place) into Out. Answers a one-line reason when they are not
// usable, or nothing. --help is not handled here.
std::optional<std::string> ParseLiveOptions(const std::vector<std::string>& Args, TLiveOptions& Out);

// The lines of a configuration file as arguments: "name value" or
// "name = value" a line (names without "--"; a value in double quotes keeps
// its blanks), "#" starts a comment. Answers a reason with the line number
// when a line is not usable.
std::optional<std::string> LiveConfigArguments(const std::string& Path, std::vector<std::string>& Args);

// The options in words for --help.
extern const char* const LiveUsage;
