#pragma once
// The status panel's colours for each connection status.

#include "_conn/custom_connection.h"

#include <cstdint>

struct TStatusColours {
    std::uint32_t Fore; // toolkit colour value, red in the low byte
    std::uint32_t Back;
    bool Flash;
};

// Colours of the panel before the first status arrives ("Idle").
constexpr TStatusColours InitialStatusColours {0x000000, 0xFFFF00, false};

TStatusColours StatusColours(TConnStatus Status);
