#pragma once
// A bridge run for tests: the bridge runs on the main thread against a
// simulated encoder (kvxsim as a child process) while a script plays the
// playout system on a thread of its own, with real clients (curl, socat,
// python3) on the loopback. The run ends when the script returns.

#include "live/live_options.h"
#include "live/live_run.h"
#include "support/kvxsim_process.h"
#include "support/log_capture.h"
#include "support/wait_until.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include <sys/wait.h>

struct TShellResult {
    int Code = -1;
    std::string Out;
};

// Runs a command with sh; its standard output (and error output after it).
inline TShellResult Shell(const std::string& Command)
{
    TShellResult R;
    FILE* F = ::popen((Command + " 2>&1").c_str(), "r");
    if (!F)
        return R;
    char Buf[4096];
    std::size_t N;
    while ((N = std::fread(Buf, 1, sizeof Buf, F)) > 0)
        R.Out.append(Buf, N);
    const int St = ::pclose(F);
    R.Code = WIFEXITED(St) ? WEXITSTATUS(St) : -1;
    return R;
}

// Debian's own python3 (the design keeps other interpreters out).
inline const char* Python3()
{
    return "/usr/bin/python3";
}

inline bool Contains(const std::string& Text, const std::string& Part)
{
    return Text.find(Part) != std::string::npos;
}

struct TBridgeRun {
    TKvxsim Sim;
    TLiveOptions O;
    TLiveStop Stop;
    TLogCapture Log;
    // "http" -> port, from what the bridge says it listens on.
    std::map<std::string, std::uint16_t> Ports;
    int Code = -1;

    TBridgeRun()
    {
        O.MinInterval = 0.3;
        O.MaxRate = 1000;
        O.Timeout = 2;
        O.Rules.Template.Parse(DefaultLiveTemplate);
    }
    // A failed test shows what the bridge logged.
    ~TBridgeRun()
    {
        if (::testing::Test::HasFailure())
            for (const std::string& L : Log.Take())
                std::fprintf(stderr, "  | %s\n", L.c_str());
    }

    // Starts kvxsim with Args; the bridge's port is its terminal unless set.
    bool StartSim(const std::vector<std::string>& Args = {})
    {
        if (!Sim.Start(Args))
            return false;
        if (O.Port.empty())
            O.Port = Sim.Path();
        return true;
    }

    // Runs the bridge on this thread until Script returns on its own thread.
    void Run(const std::function<void()>& Script)
    {
        std::thread Player;
        TLiveRunHooks Hooks;
        Hooks.Listening = [&](const std::vector<std::string>& Where) {
            for (const std::string& W : Where) {
                const std::size_t Colon = W.rfind(':');
                if (W.rfind("file", 0) != 0 && Colon != std::string::npos)
                    Ports[W.substr(0, W.find(' '))] = static_cast<std::uint16_t>(std::stoi(W.substr(Colon + 1)));
            }
            Player = std::thread([&] {
                Script();
                Stop.Request();
            });
        };
        Code = RunLiveBridge(O, Stop, Hooks);
        if (Player.joinable())
            Player.join();
    }

    // The TEXT= (or another word's) settings the encoder received, in order.
    std::vector<std::string> Writes(const std::string& Word = "TEXT=") const
    {
        std::vector<std::string> Out;
        for (const std::string& L : Sim.Log())
            if (L.rfind(Word, 0) == 0)
                Out.push_back(L.substr(Word.size()));
        return Out;
    }
    bool WaitWrite(const std::string& Text, int Ms = 20000, const std::string& Word = "TEXT=") const
    {
        return WaitUntil(
            [&] {
                const auto W = Writes(Word);
                return std::find(W.begin(), W.end(), Text) != W.end();
            },
            Ms);
    }
    bool Logged(const std::string& Part) const
    {
        for (const std::string& L : Log.Take())
            if (Contains(L, Part))
                return true;
        return false;
    }
    bool WaitLogged(const std::string& Part, int Ms = 20000) const
    {
        return WaitUntil([&] { return Logged(Part); }, Ms);
    }

    std::string Url(const std::string& Query = "") const
    {
        return "http://127.0.0.1:" + std::to_string(Ports.at("http")) + "/" + Query;
    }
    // curl: the body, then the status on a line of its own.
    TShellResult Curl(const std::string& Args) const
    {
        return Shell("curl -s -S --max-time 10 -w '\\n%{http_code}' " + Args);
    }
    // Lines to the TCP input through socat, and what it answered.
    TShellResult Socat(const std::string& Lines) const
    {
        return Shell("printf '" + Lines + "' | socat -t 2 - TCP:127.0.0.1:" + std::to_string(Ports.at("tcp")));
    }
    // One datagram from Source, as a playout system's UDP script sends it.
    TShellResult Datagram(const std::string& Text, const std::string& Source = "127.0.0.1") const
    {
        return Shell(std::string(Python3())
            + " -c 'import socket,sys; s = socket.socket(socket.AF_INET, "
              "socket.SOCK_DGRAM); s.bind((sys.argv[1], 0)); s.sendto(sys.argv[2].encode(), "
              "(\"127.0.0.1\", int(sys.argv[3])))' '"
            + Source + "' '" + Text + "' " + std::to_string(Ports.at("udp")));
    }
};
