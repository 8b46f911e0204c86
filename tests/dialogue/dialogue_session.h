#pragma once
// A test session: an encoder dialogue with a test view, connected to a
// simulated encoder run as a child process.

#include "dialogue/encoder_dialogue.h"
#include "dialogue_test_view.h"
#include "platform/thread.h"
#include "support/kvxsim_process.h"
#include "support/wait_until.h"

#include <memory>
#include <string>
#include <vector>

// An encoder dialogue connected to a simulated encoder.
struct TSession {
    TKvxsim Sim;
    TTestView View;
    std::unique_ptr<TEncoderDialogue> D = std::make_unique<TEncoderDialogue>(View);

    // Starts kvxsim, connects and waits until the read script ended or failed.
    bool Read(const std::vector<std::string>& SimArgs)
    {
        if (!Sim.Start(SimArgs))
            return false;
        D->DeviceConnectExecute(Sim.Path());
        return WaitEnd(scRead);
    }
    bool WaitEnd(TDialogueScript End)
    {
        return ServeUntil([&] { return D->LastScriptEnded() == End || D->Failure() != dfNone; })
            && D->LastScriptEnded() == End;
    }
    bool WaitDisconnected()
    {
        return ServeUntil([&] { return D->LastStatus() == stDisconnected; });
    }
    // Commands logged after the first N.
    std::vector<std::string> LogFrom(std::size_t N) const
    {
        const auto L = Sim.Log();
        return N < L.size() ? std::vector<std::string>(L.begin() + static_cast<long>(N), L.end())
                            : std::vector<std::string> {};
    }
    ~TSession()
    {
        D.reset();
        TThread::CheckSynchronize(0);
    }
};
