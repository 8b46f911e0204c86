#include "options.h"

#include <cmath>
#include <cstdlib>
#include <filesystem>

namespace {

const TOptionSpec Global[] = {
    {"port", 'p', "NAME",
        "the encoder's port: a name under /dev (ttyUSB0,\nserial/by-id/...), a path (/dev/ttyUSB0,\n"
        "./ttyKVX), or tcp://HOST:PORT for a serial device\nserver; default $KVXCTL_PORT"},
    {"timeout", 0, "SECONDS", "longest wait for one reply (default 3; 0 waits\nwithout end)"},
    {"transcript", 0, "FILE",
        "record every line sent and received, with\nmilliseconds since the start; a symbolic link at\n"
        "FILE is refused"},
    {"format", 0, "FORMAT", "kvx (text; settings-file form for read) or json"},
    {"json", 'j', nullptr, "the same as --format=json"},
    {"quiet", 'q', nullptr, "print failures only"},
    {"verbose", 'v', nullptr, "also print the status words and every line sent\nand received, with time stamps"},
    {"help", 'h', nullptr, "print the help of the command, or of kvxctl"},
    {"version", 0, nullptr, "print the version"},
};

} // namespace

std::span<const TOptionSpec> GlobalOptions()
{
    return Global;
}

bool ParseSeconds(const std::string& Text, std::int64_t& Ms)
{
    char* End = nullptr;
    const double S = std::strtod(Text.c_str(), &End);
    if (Text.empty() || *End || !std::isfinite(S) || S < 0 || S > 1e6)
        return false;
    Ms = std::llround(S * 1000);
    return true;
}

std::string TOptions::Value(const std::string& Long) const
{
    const auto It = Given.find(Long);
    return It == Given.end() ? std::string() : It->second;
}

std::string ResolvePort(const std::string& Given)
{
    if (Given == "." || Given.rfind("./", 0) == 0 || Given.rfind("../", 0) == 0) {
        std::error_code Ec;
        const std::filesystem::path P = std::filesystem::absolute(Given, Ec);
        return Ec ? Given : P.lexically_normal().string();
    }
    return Given;
}
