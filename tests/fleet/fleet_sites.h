#pragma once
// The fleet the fleet tests work on: three simulated encoders and a port
// that is gone. north holds the golden profile; south (firmware 01.02, its
// clock an hour behind) holds another PI and PS and refuses to take a PS;
// east, reached over TCP through socat, holds the profile but its site asks
// for another PS; dead names a terminal that does not exist.

#include "fleet/site_list.h"
#include "support/kvxctl_run.h"
#include "support/kvxsim_process.h"
#include "support/tcp_bridge.h"
#include "support/temp_dir.h"

#include <memory>

#include <regex>
#include <string>
#include <sys/types.h>
#include <vector>

inline const std::string Golden
    = "PI=C201\nPS=GOLDEN\nPTY=10\nTA=0\nTATIME=30\nTP=1\nMS=1\nDI=1\nMODE=0\nTEXT=Good music\n"
      "DRTS=2\nDPSS=0\nPARSE=0\nAF1=105\nAF2=0\nAF3=0\nAF4=0\nAF5=0\nAF6=0\nAF7=0\nPHASE=0\nCT=1\n"
      "OFFSET=+01:00\nDST=0\nSYNC=0\n";

// Runs a shell command; answers its output.
std::string Shell(const std::string& Cmd);

// Another program holding a port open as the window does when connected
// (a "sleep" with the port on its descriptor 3), until the object goes.
class THolder {
public:
    explicit THolder(const std::string& Path);
    ~THolder() { Release(); }
    THolder(const THolder&) = delete;
    THolder& operator=(const THolder&) = delete;
    // Whether it holds the port now.
    bool Holding() const;
    void Release();
    pid_t Pid() const { return FPid; }

private:
    std::string FPath;
    pid_t FPid = -1;
};

// What Python's json module makes of a JSON text: the expression Expr over
// the parsed value d, printed; "invalid" when it does not parse.
std::string FromJson(const std::string& Json, const std::string& Expr);

class TFleetSites {
public:
    // Starts the encoders and the bridge; answers why not (empty when all run).
    std::string Start();
    // Starts one more encoder with State as its settings.
    bool StartSim(TKvxsim& Sim, const std::string& Name, const std::string& State, std::vector<std::string> Args);
    // Writes sites.ini naming the four sites, then More, and loads it.
    TSiteList WriteList(const std::string& More = "");

    TTempDir Dir {"kvxfleet"};
    TKvxsim North, South, East;
    int TcpPort = 0;
    std::unique_ptr<TBridge> Bridge;
};
