#include "_conn/automata.h"

#include <cstdlib>
#include <cstring>
#include <exception>

TCustomAutomata::TCustomAutomata() : FUnknownData(1024, 0)
{
}

TCustomAutomata::~TCustomAutomata()
{
    // Reset is virtual but the derived part is gone here: only the packets matter now.
    ClearPackets();
}

void TCustomAutomata::Clear()
{
    Reset();
    ClearPackets();
}

PPack TCustomAutomata::NewPacket()
{
    auto* P = new TPack;
    P->TimeStamp = Now();
    FPackets.push_back(P);
    return P;
}

void TCustomAutomata::AddUnknownByte(std::uint8_t B)
{
    if (FUDataPos >= static_cast<std::int32_t>(FUnknownData.size()))
        FUnknownData.resize(FUnknownData.size() + 1024);
    FUnknownData[static_cast<std::size_t>(FUDataPos++)] = B;
}

void TCustomAutomata::ClearPackets()
{
    for (PPack P : FPackets) {
        if (P->DataSize > 0 && P->Data)
            std::free(P->Data);
        if (P->Info)
            std::free(P->Info);
        delete P;
    }
    FPackets.clear();
}

void TCustomAutomata::OnData(const void* AData, std::int32_t ADataSize)
{
    if (!AData || ADataSize <= 0)
        return;
    const auto* Start = static_cast<const std::uint8_t*>(AData);
    const std::uint8_t* End = Start + ADataSize;
    // A skip that reaches past the block leaves nothing to walk.
    const std::uint8_t* P = Start + (FDataSkip < ADataSize ? FDataSkip : ADataSize);
    bool Stop = false;
    while (P < End && !Stop) {
        ProcessByte(P, Start, Stop, End);
        ++P;
    }
    Flush();
}

void TCustomAutomata::Flush()
{
    // Each packet and each unknown byte is announced once, whatever a handler
    // does: they are released even when it throws, and the first exception
    // goes on to the caller afterwards.
    std::exception_ptr Error;
    if (!FPackets.empty()) {
        try {
            if (FOnPacket)
                FOnPacket(this);
        } catch (...) {
            Error = std::current_exception();
        }
        ClearPackets();
    }
    const std::int32_t Unknown = FUDataPos;
    FUDataPos = 0;
    if (Unknown > 0 && FOnUnknownData) {
        try {
            FOnUnknownData(this, FUnknownData.data(), Unknown);
        } catch (...) {
            if (!Error)
                Error = std::current_exception();
        }
    }
    if (Error)
        std::rethrow_exception(Error);
}

PPack TCustomAutomata::GetPacket(int Index) const
{
    if (Index < 0 || Index >= PacketCount())
        return nullptr;
    return FPackets[static_cast<std::size_t>(Index)];
}

void TCustomAutomata::SetOnPacket(const TAutomataNotifyEvent& Value)
{
    if (FOnPacket.Assigned() && Value.Assigned() && FOnPacket.SameCode(Value))
        return;
    FOnPacket = Value;
}

void TCustomAutomata::FormatCommand(const std::string& ACommand, void*& NewCommand, std::int32_t& NewSize)
{
    FormatCommand(ACommand.data(), static_cast<std::int32_t>(ACommand.size()), NewCommand, NewSize);
}

void TCustomAutomata::FormatCommand(
    std::initializer_list<std::uint8_t> ACommand, void*& NewCommand, std::int32_t& NewSize)
{
    FormatCommand(ACommand.begin(), static_cast<std::int32_t>(ACommand.size()), NewCommand, NewSize);
}
