// OK/NO reply framing: any bytes, cut into blocks anywhere, frame into the
// same packets as when they arrive in one block.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "_conn/ok_no_automaton.h"

namespace {

struct Collector {
    std::vector<std::string> Packets;
    void OnPacket(TCustomAutomata* A)
    {
        for (int i = 0; i < A->PacketCount(); ++i) {
            const PPack P = A->GetPacket(i);
            Packets.emplace_back(static_cast<const char*>(P->Data), static_cast<std::size_t>(P->DataSize));
        }
    }
};

std::vector<std::string> Frame(const std::uint8_t* Data, std::size_t Size, std::size_t Block)
{
    TOKNO A;
    Collector C;
    A.SetOnPacket(TAutomataNotifyEvent(&C, &Collector::OnPacket));
    for (std::size_t At = 0; At < Size; At += Block) {
        const std::size_t n = Size - At < Block ? Size - At : Block;
        A.OnData(Data + At, static_cast<std::int32_t>(n));
    }
    return C.Packets;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size)
{
    if (Size < 1)
        return 0;
    const std::size_t Block = Data[0] % 16 + 1;
    ++Data;
    --Size;
    const auto Whole = Frame(Data, Size, Size ? Size : 1);
    const auto Cut = Frame(Data, Size, Block);
    if (Whole != Cut)
        std::abort();

    // A command gets CR LF appended and nothing else changes.
    TOKNO A;
    void* Out = nullptr;
    std::int32_t OutSize = 0;
    A.FormatCommand(Data, static_cast<std::int32_t>(Size), Out, OutSize);
    if (Out) {
        if (OutSize != static_cast<std::int32_t>(Size) + 2)
            std::abort();
        std::free(Out);
    }
    return 0;
}
