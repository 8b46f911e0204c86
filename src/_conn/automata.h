#pragma once
// Protocol automata: turn received byte blocks into packets and outgoing
// commands into the byte form a device expects.
//
// TCustomAutomata walks each received block byte by byte through ProcessByte,
// which a concrete automaton supplies, collects the packets it completes and
// announces them all through OnPacket at the end of the block; the packets are
// released right after OnPacket returns, so a handler copies what it needs.

#include "platform/date_time.h"
#include "platform/event.h"

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

struct TPack {
    TDateTime TimeStamp = 0;   // local time the packet was completed
    std::int32_t DataSize = 0; // bytes at Data
    void* Data = nullptr;      // malloc'd, owned by the packet
    void* Info = nullptr;      // malloc'd automaton-specific information, owned by the packet
    bool Formatted = false;
};
using PPack = TPack*;

class TCustomAutomata;

using TAutomataNotifyEvent = TEvent<TCustomAutomata*>;
using TUnknownDataEvent = TEvent<TCustomAutomata*, const void*, std::int32_t>;

class TCustomAutomata {
public:
    TCustomAutomata();
    virtual ~TCustomAutomata();
    TCustomAutomata(const TCustomAutomata&) = delete;
    TCustomAutomata& operator=(const TCustomAutomata&) = delete;

    // Resets the recognition state and releases every listed packet.
    void Clear();

    // Feeds one received block; nothing at all happens for a nil or empty block.
    virtual void OnData(const void* AData, std::int32_t ADataSize);
    // Announces and releases the listed packets, then reports unknown bytes.
    virtual void Flush();

    // Valid only while OnPacket runs; nullptr outside 0 ... PacketCount-1.
    PPack GetPacket(int Index) const;
    int PacketCount() const { return static_cast<int>(FPackets.size()); }

    // NewCommand is a malloc'd block the caller frees with std::free.
    virtual void FormatCommand(
        const void* ACommand, std::int32_t ACommandSize, void*& NewCommand, std::int32_t& NewSize)
        = 0;
    void FormatCommand(const std::string& ACommand, void*& NewCommand, std::int32_t& NewSize);
    void FormatCommand(std::initializer_list<std::uint8_t> ACommand, void*& NewCommand, std::int32_t& NewSize);

    std::string Name() const { return GetName(); }
    std::uint32_t Ver() const { return GetVer(); }

    std::uint8_t DataSkip() const { return FDataSkip; }
    void SetDataSkip(std::uint8_t Value) { FDataSkip = Value; }

    const TAutomataNotifyEvent& OnPacket() const { return FOnPacket; }
    // A handler with the current handler's code changes nothing (not even the object).
    void SetOnPacket(const TAutomataNotifyEvent& Value);

    const TUnknownDataEvent& OnUnknownData() const { return FOnUnknownData; }
    void SetOnUnknownData(const TUnknownDataEvent& Value) { FOnUnknownData = Value; }

protected:
    virtual PPack NewPacket();
    virtual void Reset() { }
    // Consumes the byte at P; AStart/AEnd bound the block; AStop ends the walk early.
    virtual void ProcessByte(const std::uint8_t* P, const void* AStart, bool& AStop, const void* AEnd) = 0;
    virtual void AddUnknownByte(std::uint8_t B);
    virtual std::string GetName() const { return "PA_"; }
    virtual std::uint32_t GetVer() const { return 6; }

    void ClearPackets();

    std::uint8_t FDataSkip = 0;
    std::vector<PPack> FPackets;
    TAutomataNotifyEvent FOnPacket;
    std::vector<std::uint8_t> FUnknownData;
    std::int32_t FUDataPos = 0;
    TUnknownDataEvent FOnUnknownData;
};

// The framework version an automaton must carry in the low byte of Ver.
constexpr std::uint32_t AutomataFrameworkVersion = 6;
