#pragma once
// Reading an open descriptor to its end.

#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>

enum TReadAllResult : std::uint8_t {
    raDone,     // Text holds everything up to the end
    raError,    // a read failed: errno says why
    raTooLarge, // there is more than Limit bytes
};

// Reads Fd to its end into Text (emptied first), taking up interrupted
// reads again. Fd stays open.
TReadAllResult ReadAll(int Fd, std::string& Text, std::size_t Limit = std::numeric_limits<std::size_t>::max());
