#include "platform/version.h"

#include <cctype>
#include <cstdio>
#include <cstring>

#include "kvx_version.h"

std::string GetVersionString(const std::string& Fmt)
{
    // The format comes from the caller; accept only integer conversions (at most
    // four) so that a wrong format cannot read arguments that are not there.
    // snprintf sees the text up to the first NUL, so that is what is checked; a
    // NUL is never a conversion character (strchr would find the terminator).
    const std::string F = Fmt.substr(0, Fmt.find('\0'));
    auto OneOf = [](const char* Set, char c) { return c != '\0' && std::strchr(Set, c) != nullptr; };
    int Convs = 0;
    for (std::size_t i = 0; i < F.size(); ++i) {
        if (F[i] != '%')
            continue;
        ++i;
        if (i < F.size() && F[i] == '%')
            continue;
        while (i < F.size() && OneOf("-+ #0", F[i]))
            ++i;
        // A width and a precision of at most two digits each: a version needs no
        // more, and a huge one would make the text gigabytes long.
        for (int Part = 0; Part < 2; ++Part) {
            if (Part == 1) {
                if (i >= F.size() || F[i] != '.')
                    break;
                ++i;
            }
            for (int Digits = 0; i < F.size() && std::isdigit(static_cast<unsigned char>(F[i])); ++i)
                if (++Digits > 2)
                    return std::string();
        }
        if (i >= F.size() || !OneOf("diuxXo", F[i]))
            return std::string();
        if (++Convs > 4)
            return std::string();
    }
    const int Major = KVX_VERSION_MAJOR, Minor = KVX_VERSION_MINOR;
    const int Release = KVX_VERSION_PATCH, Build = KVX_VERSION_TWEAK;
    const int Len = std::snprintf(nullptr, 0, F.c_str(), Major, Minor, Release, Build);
    if (Len < 0)
        return std::string();
    std::string r(static_cast<std::size_t>(Len) + 1, '\0');
    std::snprintf(r.data(), r.size(), F.c_str(), Major, Minor, Release, Build);
    r.resize(static_cast<std::size_t>(Len));
    return r;
}
