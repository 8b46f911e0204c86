#pragma once
// The part of a loader hand-over that every script shares, and the way device
// packets reach the loader.

#include "_conn/automata.h"
#include "dialogue/loader_automaton.h"

#include <functional>
#include <string>

// Moves S one phase on: isInit and isParse advance; isSend hands the state's
// command, when it has one, to Send and advances; isWait advances once the
// reply is stored. Answers the phase S was in, so that the caller can add its
// own part (parse the reply after isParse).
TInnerState StepLoaderState(TCustomState& S, const std::function<void(const std::string&)>& Send);

// Calls Handle with each packet the automaton holds (valid during its packet event).
void ForEachPacket(const TCustomAutomata& PA, const std::function<void(const TBytes&)>& Handle);
