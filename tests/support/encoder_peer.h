#pragma once
// The simulated encoder's model serving one descriptor from a thread of its
// own: each command line (ended by CR, LF or both) is answered at once with
// the model's reply. Tests and benchmarks talk to this one encoder; canned
// replies, refusals and silences come from the model's options.

#include "encoder_model.h"
#include "support/pty.h"

#include <memory>
#include <string>
#include <thread>

class TEncoderPeer {
public:
    // Serves a new pseudo-terminal in raw mode; the code under test opens Slave().
    // Echo is off unless asked for, so a reply is all the line carries.
    explicit TEncoderPeer(kvxsim::Options Options = {}, bool Echo = false);
    // Serves Fd (a pseudo-terminal's master or a connected socket), which stays the caller's.
    TEncoderPeer(int Fd, kvxsim::Options Options, bool Echo = false);
    ~TEncoderPeer();
    TEncoderPeer(const TEncoderPeer&) = delete;
    TEncoderPeer& operator=(const TEncoderPeer&) = delete;

    const std::string& Slave() const;

private:
    void Start(bool Echo);
    void Run();

    std::unique_ptr<TPty> FPty;
    int FFd = -1;
    int FStop = -1;
    kvxsim::EncoderModel FModel;
    std::thread FThread;
};
