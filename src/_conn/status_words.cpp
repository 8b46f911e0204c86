#include "_conn/status_words.h"

const char* const ConnStatusStr[ConnStatusCount] = {
    "Unknown",
    "Strobe",
    "Idle",
    "Buffer Overrun",
    "Clear Buffer",
    "Connecting",
    "Resolving",
    "Connected",
    "Already Connected",
    "Disconnecting",
    "Disconnected",
    "Not Connected",
    "Socket Error",
    "Connection Timeout",
    "Connection Refused",
    "Disconnected from Device",
    "Unable to Connect",
    "Invalid Connection Params",
};

const char* ConnStatusText(TConnStatus Status)
{
    return Status < ConnStatusCount ? ConnStatusStr[Status] : ConnStatusStr[stUnknown];
}
