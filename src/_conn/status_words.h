#pragma once
// The connection statuses and their display words.

#include <cstdint>

enum TConnStatus : std::uint8_t {
    stUnknown = 0,
    stStrobe = 1,
    stIdle = 2,
    stBufferOverrun = 3,
    stClearBuffer = 4,
    stConnecting = 5,
    stResolving = 6,
    stConnected = 7,
    stAlreadyConnected = 8,
    stDisconnecting = 9,
    stDisconnected = 10,
    stNotConnected = 11,
    stSocketError = 12,
    stConnectTimeout = 13,
    stConnectionRefused = 14,
    stDisconnectedFromDevice = 15,
    stUnableToConnect = 16,
    stInvalidConnectionParams = 17,
};

constexpr int ConnStatusCount = 18;

// Display words, indexed by TConnStatus.
extern const char* const ConnStatusStr[ConnStatusCount];

// The display word of a status ("Unknown" for a value outside the table).
const char* ConnStatusText(TConnStatus Status);
