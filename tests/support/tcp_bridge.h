#pragma once
// An encoder reached over TCP as in the field: a bridge program (socat or
// ser2net) that carries a serial line as a raw byte stream, run as a child
// until the object goes. Also a free loopback port for it to listen on.

#include <string>
#include <vector>

#include <sys/types.h>

// A loopback port that nothing listens on at this moment (0 with a test
// failure when none can be had).
int FreePort();

// Whether something listens on the loopback port. Read from the kernel's
// table rather than by connecting: a probe connection would make a bridge
// open the terminal for a client that is already gone.
bool Listening(int Port);

// The path of an installed program (in the usual folders), or empty.
std::string Which(const std::string& Program);

class TBridge {
public:
    // Runs Program with Args; it is to listen on Port.
    TBridge(const std::string& Program, std::vector<std::string> Args, int Port);
    ~TBridge();
    TBridge(const TBridge&) = delete;
    TBridge& operator=(const TBridge&) = delete;

    bool WaitListening() const;

    // socat on 127.0.0.1:Port for the terminal at Path; each session ends as
    // soon as its client leaves, so it cannot read the next client's replies
    // off the shared terminal.
    static std::vector<std::string> SocatArgs(int Port, const std::string& Path);

private:
    pid_t FPid = -1;
    int FPort;
};
