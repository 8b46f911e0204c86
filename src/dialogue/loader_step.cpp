#include "dialogue/loader_step.h"

TInnerState StepLoaderState(TCustomState& S, const std::function<void(const std::string&)>& Send)
{
    auto* K = dynamic_cast<TKVXState*>(&S);
    auto* L = dynamic_cast<TKVXStateList*>(&S);
    const TInnerState Phase = S.InnerState();
    switch (Phase) {
    case isInit:
    case isParse:
        S.Advance();
        break;
    case isSend: {
        const std::string M = K ? K->Msg() : L ? L->Msg() : std::string();
        if (!M.empty())
            Send(M);
        S.Advance();
        break;
    }
    case isWait:
        if (!K || !K->Response().empty())
            S.Advance();
        break;
    case isNext:
        break;
    }
    return Phase;
}

std::string CurrentReply(const TCustomState& S)
{
    if (const auto* K = dynamic_cast<const TKVXState*>(&S))
        return K->Response();
    if (const auto* L = dynamic_cast<const TKVXStateList*>(&S))
        if (const PMsgChange M = L->GetMesRes(L->CMsg()))
            return M->Res;
    return {};
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
