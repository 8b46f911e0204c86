#include "support/encoder_peer.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <ctime>

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

TEncoderPeer::TEncoderPeer(kvxsim::Options Options, bool Echo)
    : FPty(std::make_unique<TPty>()), FFd(FPty->Master()), FModel(std::move(Options))
{
    FPty->MakeRaw();
    Start(Echo);
}

TEncoderPeer::TEncoderPeer(int Fd, kvxsim::Options Options, bool Echo) : FFd(Fd), FModel(std::move(Options))
{
    Start(Echo);
}

TEncoderPeer::~TEncoderPeer()
{
    const std::uint64_t One = 1;
    [[maybe_unused]] const ssize_t W = ::write(FStop, &One, sizeof One);
    FThread.join();
    ::close(FStop);
}

const std::string& TEncoderPeer::Slave() const
{
    static const std::string None;
    return FPty ? FPty->SlavePath() : None;
}

void TEncoderPeer::Start(bool Echo)
{
    if (!Echo)
        FModel.handle("ECHO=0", std::time(nullptr));
    FStop = ::eventfd(0, EFD_CLOEXEC);
    FThread = std::thread([this] { Run(); });
}

void TEncoderPeer::Run()
{
    std::string Line;
    char Buf[4096];
    for (;;) {
        pollfd P[2] = {{FFd, POLLIN, 0}, {FStop, POLLIN, 0}};
        if (::poll(P, 2, -1) < 0)
            continue;
        if (P[1].revents)
            return;
        const ssize_t N = (P[0].revents & POLLIN) ? ::read(FFd, Buf, sizeof Buf) : 0;
        if (N <= 0) {
            // No client on the line yet, or it went: look again shortly.
            ::poll(&P[1], 1, 20);
            continue;
        }
        for (ssize_t i = 0; i < N; ++i) {
            const char C = Buf[i];
            if (FModel.echo() && !WriteAll(FFd, std::string(1, C)))
                return;
            if (C != '\r' && C != '\n') {
                Line += C;
                continue;
            }
            if (Line.empty())
                continue;
            const auto Reply = FModel.handle(Line, std::time(nullptr));
            Line.clear();
            if (Reply && !WriteAll(FFd, *Reply)) {
                ADD_FAILURE() << "the encoder peer cannot write";
                return;
            }
        }
    }
}
