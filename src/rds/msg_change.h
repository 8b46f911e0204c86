#pragma once
// One command of a command list, with the encoder's reply.

#include <string>

struct TMsgChange {
    std::string Msg; // the command, without line end (8-bit text)
    std::string Res; // the reply packet; empty until it arrives
};
using PMsgChange = TMsgChange*;
