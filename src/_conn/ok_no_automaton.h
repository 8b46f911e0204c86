#pragma once
// The automaton of the encoder's text protocol: a reply ends with the six bytes
// "\r\nOK\r\n" or "\r\nNO\r\n"; a command is sent with CR LF appended.

#include "_conn/automata.h"

// The framing looks only at the tail of what it collected; its inner state
// stays at the start.
enum TOKNOInnerState : std::uint8_t { okno_S = 0 };

class TOKNO : public TCustomAutomata {
public:
    TOKNO();

    using TCustomAutomata::FormatCommand;
    void FormatCommand(
        const void* ACommand, std::int32_t ACommandSize, void*& NewCommand, std::int32_t& NewSize) override;

    TOKNOInnerState InnerState() const { return FInnerState; }
    std::int32_t DataPos() const { return FDataPos; }

    // Most bytes kept while waiting for a terminator.
    static constexpr std::int32_t MaxCollected = 1 << 20;

protected:
    PPack NewPacket() override;
    void Reset() override;
    void ProcessByte(const std::uint8_t* P, const void* AStart, bool& AStop, const void* AEnd) override;
    std::string GetName() const override { return TCustomAutomata::GetName() + "_OKNO"; }
    std::uint32_t GetVer() const override { return 0x106; }

    TOKNOInnerState FInnerState = okno_S;
    std::vector<std::uint8_t> FData;
    std::int32_t FDataPos = 0;
};
