#pragma once
// A simulated encoder with a fixed script: PI? answers 1234 and PS? RADIO
// (without the leading line end), PI=... is taken, MUTE? gets no answer and
// what it does not know is refused.

#include "support/encoder_peer.h"

inline kvxsim::Options ScriptedEncoder()
{
    kvxsim::Options O;
    O.replies = {{"PI?", "1234\r\nOK\r\n"}, {"PS?", "RADIO\r\nOK\r\n"}};
    O.mute = {"MUTE"};
    return O;
}
