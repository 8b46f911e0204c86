#include "live/live_inputs.h"

std::optional<std::string> TLiveInputs::Open(const TLiveOptions& O, const std::shared_ptr<TLiveInbox>& Inbox)
{
    std::optional<std::string> Error;
    for (const TListenAddress& A : O.Http) {
        auto I = std::make_unique<THttpInput>(A, Inbox);
        if ((Error = I->Start()))
            break;
        FHttp.push_back(std::move(I));
    }
    const auto Lines = [&](const std::vector<TListenAddress>& List, TLineInput::TKind Kind,
                           std::vector<std::unique_ptr<TLineInput>>& To) {
        for (const TListenAddress& A : List) {
            if (Error)
                return;
            auto I = std::make_unique<TLineInput>(Kind, A, Inbox);
            if ((Error = I->Open()))
                return;
            To.push_back(std::move(I));
        }
    };
    Lines(O.Tcp, TLineInput::lkTcp, FTcp);
    Lines(O.Udp, TLineInput::lkUdp, FUdp);
    for (const std::string& P : O.Files) {
        if (Error)
            break;
        auto I = std::make_unique<TFileInput>(P, Inbox);
        if ((Error = I->Open()))
            break;
        FFiles.push_back(std::move(I));
    }
    if (Error)
        Stop();
    return Error;
}

void TLiveInputs::Stop()
{
    for (auto& I : FHttp)
        I->Stop();
    for (auto& I : FTcp)
        I->Stop();
    for (auto& I : FUdp)
        I->Stop();
    for (auto& I : FFiles)
        I->Stop();
    FHttp.clear();
    FTcp.clear();
    FUdp.clear();
    FFiles.clear();
}

std::vector<std::string> TLiveInputs::Addresses() const
{
    std::vector<std::string> Out;
    for (const auto& I : FHttp)
        Out.push_back("http " + I->Address().Text());
    for (const auto& I : FTcp)
        Out.push_back("tcp " + I->Address().Text());
    for (const auto& I : FUdp)
        Out.push_back("udp " + I->Address().Text());
    for (const auto& I : FFiles)
        Out.push_back("file " + I->Path());
    return Out;
}

std::vector<std::string> LiveExposureWarnings(const TLiveOptions& O)
{
    std::vector<std::string> Out;
    if (O.Token.empty())
        for (const auto* List : {&O.Http, &O.Tcp})
            for (const TListenAddress& A : *List)
                if (!A.Loopback())
                    Out.push_back(A.Text()
                        + " is reachable from other machines without a token: whoever reaches it "
                          "can change the text on air (--token, --allow)");
    if (O.Allow.empty())
        for (const TListenAddress& A : O.Udp)
            if (!A.Loopback())
                Out.push_back("UDP on " + A.Text()
                    + " takes datagrams from this machine only; name other sources with --allow ADDRESS/PREFIX");
    return Out;
}
