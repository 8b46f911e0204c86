#include "dialogue/status_colours.h"

namespace {

constexpr std::uint32_t clAqua = 0xFFFF00;
constexpr std::uint32_t clBlue = 0xFF0000;
constexpr std::uint32_t clYellow = 0x00FFFF;
constexpr std::uint32_t clRed = 0x0000FF;
constexpr std::uint32_t clWhite = 0xFFFFFF;
constexpr std::uint32_t clGreen = 0x008000;

struct TRow {
    TConnStatus Status;
    TStatusColours Colours;
};

constexpr TRow Rows[] = {
    {stIdle, {clAqua, clBlue, false}},
    {stConnecting, {clYellow, clRed, true}},
    {stConnected, {clWhite, clGreen, false}},
    {stDisconnecting, {clYellow, clRed, false}},
    {stDisconnected, {clYellow, clRed, false}},
    {stDisconnectedFromDevice, {clYellow, clRed, false}},
};

constexpr TStatusColours Other {clWhite, clBlue, false};

} // namespace

TStatusColours StatusColours(TConnStatus Status)
{
    for (const TRow& R : Rows)
        if (R.Status == Status)
            return R.Colours;
    return Other;
}
