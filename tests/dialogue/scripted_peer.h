#pragma once
// A scripted encoder on the master side of a pseudo-terminal, for tests.

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

// Answers each command line from a fixed table: PI? 1234, PS? RADIO, PI=...
// OK, MUTE? nothing, anything else NO.
class TScriptedPeer {
public:
    TScriptedPeer()
    {
        FMaster = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (FMaster < 0 || ::grantpt(FMaster) != 0 || ::unlockpt(FMaster) != 0)
            ADD_FAILURE() << "cannot create a pseudo-terminal";
        char Name[128] = {};
        ::ptsname_r(FMaster, Name, sizeof Name);
        FSlave = Name;
        FThread = std::thread([this] { Run(); });
    }
    ~TScriptedPeer()
    {
        FStop = true;
        FThread.join();
        ::close(FMaster);
    }
    const std::string& Slave() const { return FSlave; }

private:
    void Run()
    {
        std::string Line;
        while (!FStop) {
            pollfd P {FMaster, POLLIN, 0};
            if (::poll(&P, 1, 20) <= 0 || !(P.revents & POLLIN))
                continue;
            char Buf[256];
            const ssize_t N = ::read(FMaster, Buf, sizeof Buf);
            if (N <= 0)
                continue;
            Line.append(Buf, static_cast<std::size_t>(N));
            std::size_t End;
            while ((End = Line.find("\r\n")) != std::string::npos) {
                const std::string Cmd = Line.substr(0, End);
                Line.erase(0, End + 2);
                std::string Reply;
                if (Cmd == "PI?")
                    Reply = "1234\r\nOK\r\n";
                else if (Cmd == "PS?")
                    Reply = "RADIO\r\nOK\r\n";
                else if (Cmd.rfind("PI=", 0) == 0)
                    Reply = "\r\nOK\r\n";
                else if (Cmd != "MUTE?")
                    Reply = "\r\nNO\r\n";
                if (!Reply.empty() && ::write(FMaster, Reply.data(), Reply.size()) < 0)
                    ADD_FAILURE() << "peer cannot write";
            }
        }
    }

    int FMaster = -1;
    std::string FSlave;
    std::atomic<bool> FStop {false};
    std::thread FThread;
};
