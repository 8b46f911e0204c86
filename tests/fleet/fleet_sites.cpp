#include "fleet_sites.h"

#include "exporter_run.h"

#include "support/wait_until.h"

#include <cstdio>

#include <limits.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

std::string Shell(const std::string& Cmd)
{
    std::string Out;
    FILE* F = ::popen(Cmd.c_str(), "r");
    if (!F)
        return Out;
    char Buf[512];
    std::size_t N;
    while ((N = std::fread(Buf, 1, sizeof Buf, F)) > 0)
        Out.append(Buf, N);
    ::pclose(F);
    return Out;
}

std::string TFleetSites::Start()
{
    Dir.Write("golden.kvx", Golden);
    if (!StartSim(North, "north", Golden, {"--serial", "1001"}))
        return "north did not start";
    const std::string SouthState = std::regex_replace(Golden, std::regex("PI=C201\nPS=GOLDEN"), "PI=C2FF\nPS=OLD");
    if (!StartSim(South, "south", SouthState + "CLOCKSKEW=-3600\n",
            {"--serial", "1002", "--firmware", "01.02.100  2012/01/01 00:00:00", "--refuse", "PS="}))
        return "south did not start";
    if (!StartSim(East, "east", Golden, {"--serial", "1003"}))
        return "east did not start";
    TcpPort = FreePort();
    const std::string Socat = Which("socat");
    if (Socat.empty())
        return "socat is not installed (the setup script installs it)";
    Bridge = std::make_unique<TBridge>(Socat, TBridge::SocatArgs(TcpPort, East.Path()), TcpPort);
    if (!Bridge->WaitListening())
        return "socat does not listen";
    return {};
}

bool TFleetSites::StartSim(
    TKvxsim& Sim, const std::string& Name, const std::string& State, std::vector<std::string> Args)
{
    const std::string File = Dir.Write(Name + ".state", State);
    Args.insert(Args.end(), {"--state", File});
    return Sim.Start(Args);
}

TSiteList TFleetSites::WriteList(const std::string& More)
{
    const std::string Path = Dir.Write("sites.ini",
        "[defaults]\nprofile = golden.kvx\n\n[north]\nport = " + North.Path() + "\n\n[south]\nport = " + South.Path()
            + "\n\n[east]\nport = tcp://127.0.0.1:" + std::to_string(TcpPort)
            + "\nPS = EAST\n\n[dead]\nport = " + Dir.File("ttyGone") + "\n" + More);
    return LoadSiteList(Path);
}

std::string Curl(const std::string& Url)
{
    return Shell("curl -sS --max-time 10 '" + Url + "'");
}

THolder::THolder(const std::string& Path) : FPath(Path)
{
    FPid = ::fork();
    if (FPid == 0) {
        ::execl("/bin/sh", "sh", "-c", ("exec sleep 600 3<>'" + Path + "'").c_str(), nullptr);
        ::_exit(127);
    }
    WaitUntil([this] { return Holding(); });
}

bool THolder::Holding() const
{
    // Once it is sleep: while the shell turns into it, its descriptors may
    // not be readable for a moment.
    if (ReadFile("/proc/" + std::to_string(FPid) + "/comm") != "sleep\n")
        return false;
    char Buf[PATH_MAX] = {};
    const std::string Fd = "/proc/" + std::to_string(FPid) + "/fd/3";
    const ssize_t N = ::readlink(Fd.c_str(), Buf, sizeof Buf - 1);
    return N > 0 && std::string(Buf, static_cast<std::size_t>(N)) == FPath;
}

void THolder::Release()
{
    if (FPid > 0) {
        ::kill(FPid, SIGTERM);
        ::waitpid(FPid, nullptr, 0);
        FPid = -1;
    }
}

std::string FromJson(const std::string& Json, const std::string& Expr)
{
    const TTempDir Dir("kvxjson");
    const std::string File = Dir.Write("out.json", Json);
    const std::string Script = Dir.Write("read.py",
        "import json, sys\ntry:\n    d = json.load(open(sys.argv[1]))\nexcept ValueError:\n    print('invalid')\n"
        "    sys.exit()\nprint("
            + Expr + ")\n");
    return Shell("/usr/bin/python3 '" + Script + "' '" + File + "'");
}
