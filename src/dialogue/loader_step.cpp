#include "dialogue/loader_step.h"

TInnerState StepLoaderState(TCustomState& S, const std::function<void(const std::string&)>& Send)
{
    const TInnerState Phase = S.InnerState();
    switch (Phase) {
    case isInit:
    case isParse:
        S.Advance();
        break;
    case isSend: {
        const std::string M = S.Msg();
        if (!M.empty())
            Send(M);
        S.Advance();
        break;
    }
    case isWait:
        if (!S.HoldsForReply() || !S.Reply().empty())
            S.Advance();
        break;
    case isNext:
        break;
    }
    return Phase;
}

void ForEachPacket(const TCustomAutomata& PA, const std::function<void(const TBytes&)>& Handle)
{
    for (int i = 0; i < PA.PacketCount(); ++i) {
        const PPack P = PA.GetPacket(i);
        if (!P)
            continue;
        const auto* B = static_cast<const std::uint8_t*>(P->Data);
        Handle(TBytes(B, B + P->DataSize));
    }
}
