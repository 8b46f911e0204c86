#pragma once
// The encoder dialogue's insides, for tests of its scripts' steps: its loader,
// its device copy (writable, to set up a case) and its events, driven as the
// loader and the device drive them.

#include "dialogue/encoder_dialogue.h"
#include "dialogue/loader_automaton.h"

#include <cstdint>

class TDialogueProbe {
public:
    static TLoaderAutomata& Loader(TEncoderDialogue& D) { return *D.LDRA; }
    static TBRDSDataValidator& DeviceCopy(TEncoderDialogue& D) { return *D.BRDSDV; }
    // The device announces a status.
    static void Status(TEncoderDialogue& D, TConnStatus Status) { D.DeviceStatus(nullptr, Status); }
    // The loader hands the state of that number over, as it is.
    static void HandOver(TEncoderDialogue& D, std::int32_t State)
    {
        D.LoaderState(D.LDRA.get(), D.LDRA->FindState(State));
    }
};
