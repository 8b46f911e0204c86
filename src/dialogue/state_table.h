#pragma once
// The encoder dialogue's state table: every state the loader walks, with its
// number, its command word, and what its reply fills. The read, the write and
// the clock refresh are runs of it; the reply parser and the dialogue both read it.

#include <cstdint>
#include <span>

// The states of the table by number: the read (100-134), the write
// (150-152) and the clock refresh (200-206).
enum TStateNumber : std::int32_t {
    stReadStart = 100,
    stEcho = 101,
    stRev = 102,
    stSer = 103,
    stPI = 104,
    stPS = 105,
    stPTY = 106,
    stTA = 107,
    stTP = 108,
    stTATime = 109,
    stMS = 110,
    stDI = 111,
    stMode = 112,
    stText = 113,
    stDPS = 114,
    stDPSS = 115,
    stParse = 116,
    stAF1 = 117,
    stAF7 = 123,
    stPhase = 124,
    stCT = 125,
    stTime = 126,
    stDate = 127,
    stIsDST = 128,
    stOffset = 129,
    stPilot = 130,
    stDRTS = 131,
    stSync = 132,
    stDST = 133,
    stReadEnd = 134,
    stWriteStart = 150,
    stWrite = 151,
    stWriteEnd = 152,
    stRefreshStart = 200,
    stRefreshTime = 201,
    stRefreshDate = 202,
    stRefreshOffset = 203,
    stRefreshPilot = 204,
    stRefreshIsDST = 205,
    stRefreshEnd = 206,
};

// What the reply of a state fills.
enum TReplyTarget : std::uint8_t {
    rtNone,        // nothing: a plain state, or a setting whose reply carries no value (ECHO=0)
    rtField,       // the device copy's setting of the field table with the state's word
    rtRevision,    // the device copy's hardware and firmware (REV?)
    rtSerial,      // the device copy's serial number (SER?)
    rtDate,        // the device copy's clock: date, then time
    rtTime,        //
    rtIsDST,       // the daylight-saving label
    rtPilot,       // the pilot label
    rtClockDate,   // the refreshed clock and its labels: date, time, offset
    rtClockTime,   //   (the refresh never changes the device copy)
    rtClockOffset, //
    rtWriteList,   // the commands of a write, one after the other
};

// One state of the table: its number, its command word (nullptr: a plain
// state), what its reply fills, the value it sets instead of asking (ECHO=0),
// and the lowest firmware level that knows the word (a field row's level is
// the field table's).
struct TTableRow {
    std::int32_t Number;
    const char* Word;
    TReplyTarget Target;
    const char* Setting = nullptr;
    int Firmware = 0;
};

// Every state in the order the automaton walks it.
std::span<const TTableRow> StateTable();

// The row of a state, or nullptr.
const TTableRow* RowOf(std::int32_t Number);

// Whether the state asks what firmware at Level does not know.
bool UnknownToFirmware(std::int32_t Number, int Level);
