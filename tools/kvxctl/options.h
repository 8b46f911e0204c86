#pragma once
// kvxctl's command line, read by getopt_long's rules: options before or after
// the command, "--opt=value" or "--opt value", unique abbreviations of long
// options, "--" to end them, "-" for standard input or output where a file is
// named. Every fault is one line on standard error that names it.

#include "output.h"

#include <cstdint>
#include <map>
#include <span>
#include <string>
#include <utility>
#include <vector>

struct TOptionSpec {
    const char* Long;  // "port"
    char Short;        // 'p', or 0
    const char* Value; // what it takes ("NAME"), nullptr for a switch
    const char* Help;  // lines of at most 52 characters, separated by \n
};

// Options that several commands take.
inline constexpr TOptionSpec YesOption {
    "yes", 'y', nullptr, "answer yes to every question (needed without\na terminal)"};
inline constexpr TOptionSpec SyncClockOption {
    "sync-clock", 0, nullptr, "also set the encoder's clock from the computer's\n(DATE, TIME and OFFSET)"};
inline constexpr TOptionSpec NoVerifyOption {"no-verify", 0, nullptr, "do not read the encoder back after writing"};
inline constexpr TOptionSpec OutputOption {
    "output", 'o', "FILE", "write the result to FILE, replacing it in one step\n(- for standard output)"};

// The options every command takes.
std::span<const TOptionSpec> GlobalOptions();

struct TOptions {
    std::string Command;
    std::vector<std::string> Args;
    // The options given, by long name: their value ("" for a switch); the last one given counts.
    std::map<std::string, std::string> Given;
    // Every option given, in order, by long name with its value: the options
    // a command takes more than once (live's --http, --skip-if).
    std::vector<std::pair<std::string, std::string>> InOrder;

    bool Has(const std::string& Long) const { return Given.count(Long) != 0; }
    std::string Value(const std::string& Long) const;

    // The port to use (--port, else $KVXCTL_PORT), as the connection takes it.
    std::string Port;
    // The reply time-out; 0 waits without end.
    std::int64_t TimeoutMs = 3000;
    bool Json = false;
    TVerbosity Verbosity = vbNormal;
};

// Seconds as an option gives them (a number from 0 to 1000000), in
// milliseconds; false when the text is not one.
bool ParseSeconds(const std::string& Text, std::int64_t& Ms);

// The port name as the connection takes it: tcp://... and absolute paths as
// given; a path relative to the current folder ("./ttyKVX", "../x") made
// absolute; any other name is a name under /dev ("ttyUSB0", "serial/by-id/...").
std::string ResolvePort(const std::string& Given);
