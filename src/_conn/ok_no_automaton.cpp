#include "_conn/ok_no_automaton.h"

#include "platform/assertion.h"

#include <cstdlib>
#include <cstring>

namespace {
constexpr std::uint8_t TailOK[6] = {0x0D, 0x0A, 'O', 'K', 0x0D, 0x0A};
constexpr std::uint8_t TailNO[6] = {0x0D, 0x0A, 'N', 'O', 0x0D, 0x0A};
} // namespace

TOKNO::TOKNO()
{
    Assert((Ver() & 0xFF) == AutomataFrameworkVersion, "Automata Version Differs");
    FInnerState = okno_S;
    FData.assign(1024, 0);
    FDataPos = 0;
}

PPack TOKNO::NewPacket()
{
    PPack P = TCustomAutomata::NewPacket();
    if (FDataPos > 0) {
        P->Data = std::malloc(static_cast<std::size_t>(FDataPos));
        std::memcpy(P->Data, FData.data(), static_cast<std::size_t>(FDataPos));
        P->DataSize = FDataPos;
    }
    return P;
}

void TOKNO::Reset()
{
    FInnerState = okno_S;
    FDataPos = 0;
}

void TOKNO::ProcessByte(const std::uint8_t* P, const void*, bool&, const void*)
{
    // A line that never sends a terminator (a wrong bit rate, a babbling peer)
    // must not grow memory without bound: past MaxCollected bytes the oldest
    // half is dropped. The tail is what is matched, so recognition is unaffected.
    if (FDataPos >= MaxCollected) {
        const std::int32_t Keep = MaxCollected / 2;
        std::memmove(FData.data(), FData.data() + (FDataPos - Keep), static_cast<std::size_t>(Keep));
        FDataPos = Keep;
    }
    if (FDataPos >= static_cast<std::int32_t>(FData.size()))
        FData.resize(FData.size() + 1024);
    FData[static_cast<std::size_t>(FDataPos++)] = *P;
    if (FDataPos >= 6) {
        const std::uint8_t* Tail = FData.data() + FDataPos - 6;
        if (std::memcmp(Tail, TailOK, 6) == 0 || std::memcmp(Tail, TailNO, 6) == 0) {
            NewPacket();
            FDataPos = 0;
        }
    }
}

void TOKNO::FormatCommand(const void* ACommand, std::int32_t ACommandSize, void*& NewCommand, std::int32_t& NewSize)
{
    const std::int32_t Size = ACommandSize > 0 ? ACommandSize : 0;
    NewSize = Size + 2;
    auto* Out = static_cast<std::uint8_t*>(std::malloc(static_cast<std::size_t>(NewSize)));
    if (Size > 0)
        std::memcpy(Out, ACommand, static_cast<std::size_t>(Size));
    Out[Size] = 0x0D;
    Out[Size + 1] = 0x0A;
    NewCommand = Out;
}
