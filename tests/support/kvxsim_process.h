#pragma once
// Runs the simulated encoder as a child process and reads the path of its
// terminal. Every command line it receives is logged in a temporary folder
// that goes with it. A test may also play the client on the terminal itself
// with plain reads and writes.

#include "support/temp_dir.h"

#include <memory>
#include <string>
#include <vector>

#include <signal.h>
#include <sys/types.h>

class TKvxsim {
public:
    TKvxsim() = default;
    TKvxsim(const TKvxsim&) = delete;
    TKvxsim& operator=(const TKvxsim&) = delete;
    ~TKvxsim() { Stop(); }

    // Starts the program (kvxsim unless named) with Args; answers whether it
    // printed its terminal's path.
    bool Start(const std::vector<std::string>& Args, const std::string& Program = DefaultProgram());
    // Starts kvxsim and opens its terminal as the client.
    bool StartAsClient(const std::vector<std::string>& Args) { return Start(Args) && Open(); }
    // Ends the program with Sig; answers its exit status (-1 when it did not
    // end by itself within 10 s or did not exit normally). What it wrote to
    // its error output and nobody consumed stays readable (ErrorOutput).
    int Stop(int Sig = SIGTERM);
    const std::string& ErrorOutput() const { return FErrText; }

    const std::string& Path() const { return FPath; }
    std::string Dir() const { return FDir ? FDir->Path().string() : std::string(); }
    pid_t Pid() const { return FPid; }
    // Every command line the simulator received, in order.
    std::vector<std::string> Log() const;
    // A file in the temporary folder with the given text; answers its path.
    std::string WriteFile(const std::string& Name, const std::string& Text) const;

    // The client side: the terminal opened in raw mode.
    bool Open();
    void CloseClient();
    int Fd() const { return FFd; }
    bool Send(const std::string& Bytes);
    // Reads until the received bytes end in an OK or NO terminator, or until
    // Seconds pass; answers what came.
    std::string ReadReply(int Seconds = 10);
    // One read of whatever is there within Ms; empty when nothing came.
    std::string ReadSome(int Ms);
    // Sends a command line (CR LF) and answers its whole reply.
    std::string Ask(const std::string& Line);
    // Switches echo off and swallows the echoed bytes.
    bool EchoOff() { return Ask("ECHO=0") == "ECHO=0\r\r\nOK\r\n"; }
    // Waits up to 10 s for Text on the program's error output and consumes
    // what came up to its end.
    bool WaitForStderr(const std::string& Text);

    static bool EndsWith(const std::string& S, const std::string& Tail);
    static std::string DefaultProgram();

private:
    pid_t FPid = -1;
    int FOut = -1;
    int FErr = -1;
    int FFd = -1;
    std::string FPath;
    std::string FErrText;
    std::unique_ptr<TTempDir> FDir;
};
