#pragma once
// Another program run as a child of the test, started with fork and exec.
//
// Tests that also run threads start their children this way rather than with
// QProcess: Qt starts a child with a clone that shares this process's memory
// until the exec, and the thread sanitizer's own records, shared with it, no
// longer match the threads of this process afterwards.

#include <string>
#include <vector>

#include <csignal>
#include <sys/types.h>

class TChildProcess {
public:
    TChildProcess() = default;
    TChildProcess(const TChildProcess&) = delete;
    TChildProcess& operator=(const TChildProcess&) = delete;
    // A child still running is killed and reaped.
    ~TChildProcess();

    // Starts Program with Args, its input /dev/null. Env changes the
    // inherited environment: "NAME=value" sets a variable, "NAME" removes it.
    bool Start(const std::string& Program, const std::vector<std::string>& Args = {},
        const std::vector<std::string>& Env = {});

    // Takes in what the child printed so far and notes its end; answers
    // whether it still runs. Never blocks, so it can be a condition of an
    // event-serving wait.
    bool Running();
    // Waits up to TimeoutMs for the child's end; answers whether it ended.
    bool WaitForEnd(int TimeoutMs);
    // Waits up to TimeoutMs until the error output holds Text; answers whether it does.
    bool WaitForErr(const std::string& Text, int TimeoutMs);

    void Signal(int Sig = SIGKILL);
    pid_t Pid() const { return FPid; }
    const std::string& Out() const { return FOut; }
    const std::string& Err() const { return FErr; }
    // The exit code of a child that ended by exit, otherwise -1.
    int ExitCode() const { return FExitCode; }

private:
    void Read(int& Fd, std::string& Into);
    bool WaitWhile(bool (TChildProcess::*More)(const std::string&), const std::string& Text, int TimeoutMs);
    bool NotEnded(const std::string&);
    bool ErrLacks(const std::string& Text);

    pid_t FPid = -1;
    int FOutFd = -1;
    int FErrFd = -1;
    std::string FOut;
    std::string FErr;
    int FExitCode = -1;
};
