// A now-playing line as the network or a file brings it: whatever the bytes,
// what goes on air is Latin-1 without control bytes, at most 64 characters,
// with no blank at either end, and fitting it again changes nothing.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "live/live_update.h"

namespace {

void Check(const TAirText& F)
{
    const std::string& T = F.Text;
    if (T.size() > AirTextLimit || (!T.empty() && (T.front() == ' ' || T.back() == ' ')))
        std::abort();
    for (const char C : T) {
        const auto B = static_cast<unsigned char>(C);
        if (B < 0x20 || (B >= 0x7F && B <= 0x9F))
            std::abort();
    }
    // The text is Latin-1 now: as UTF-8 it fits to itself.
    if (FitAirText(Latin1ToUtf8(T)).Text != T)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size)
{
    const std::string Line(reinterpret_cast<const char*>(Data), Size);
    static const TLiveRules Rules = [] {
        TLiveRules R;
        R.Template.Parse("Now: {artist} - {title} ({text})");
        R.Target = ltBoth;
        return R;
    }();
    const TLiveDecision D = DecideLiveUpdate(ParseLiveLine(Line), Rules);
    if (D.Kind == TLiveDecision::ldSend) {
        if (!D.Rt && !D.Dps)
            std::abort();
        if (D.Rt)
            Check(*D.Rt);
        if (D.Dps)
            Check(*D.Dps);
    }
    Check(FitAirText(Line));
    // The same bytes as a template: refused with a reason, or usable.
    TLiveTemplate T;
    if (!T.Parse(Line))
        T.Expand(ParseLiveLine("title=T"));
    return 0;
}
