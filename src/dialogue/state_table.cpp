#include "dialogue/state_table.h"

#include "dialogue/dialogue_view.h"
#include "rds/field_table.h"

namespace {

// The table in the order the automaton walks it: DATE? before TIME?.
constexpr TTableRow Table[] = {
    {stReadStart, nullptr, rtNone},
    {stEcho, "ECHO", rtNone, "0"},
    {stRev, "REV", rtRevision},
    {stSer, "SER", rtSerial},
    {stPI, "PI", rtField},
    {stPS, "PS", rtField},
    {stPTY, "PTY", rtField},
    {stTA, "TA", rtField},
    {stTP, "TP", rtField},
    {stTATime, "TATIME", rtField},
    {stMS, "MS", rtField},
    {stDI, "DI", rtField},
    {stMode, "MODE", rtField},
    {stText, "TEXT", rtField},
    {stDPS, "DPS", rtField},
    {stDPSS, "DPSS", rtField},
    {stParse, "PARSE", rtField},
    {117, "AF1", rtField},
    {118, "AF2", rtField},
    {119, "AF3", rtField},
    {120, "AF4", rtField},
    {121, "AF5", rtField},
    {122, "AF6", rtField},
    {123, "AF7", rtField},
    {stPhase, "PHASE", rtField},
    {stCT, "CT", rtField},
    {stDate, "DATE", rtDate},
    {stTime, "TIME", rtTime},
    {stIsDST, "ISDST", rtIsDST, nullptr, FirmwareLevelDST},
    {stOffset, "OFFSET", rtField},
    {stPilot, "PILOT", rtPilot},
    {stDRTS, "DRTS", rtField},
    {stSync, "SYNC", rtField},
    {stDST, "DST", rtField},
    {stReadEnd, nullptr, rtNone},
    {stWriteStart, nullptr, rtNone},
    {stWrite, "", rtWriteList},
    {stWriteEnd, nullptr, rtNone},
    {stRefreshStart, nullptr, rtNone},
    {stRefreshDate, "DATE", rtClockDate},
    {stRefreshTime, "TIME", rtClockTime},
    {stRefreshIsDST, "ISDST", rtIsDST, nullptr, FirmwareLevelDST},
    {stRefreshOffset, "OFFSET", rtClockOffset},
    {stRefreshPilot, "PILOT", rtPilot},
    {stRefreshEnd, nullptr, rtNone},
};

} // namespace

std::span<const TTableRow> StateTable()
{
    return Table;
}

const TTableRow* RowOf(std::int32_t Number)
{
    for (const TTableRow& R : Table)
        if (R.Number == Number)
            return &R;
    return nullptr;
}

bool UnknownToFirmware(std::int32_t Number, int Level)
{
    const TTableRow* R = RowOf(Number);
    if (!R)
        return false;
    if (R->Target == rtField) {
        const TField* F = FindFieldByWord(R->Word);
        return F && !FieldKnown(*F, Level);
    }
    return Level < R->Firmware;
}
