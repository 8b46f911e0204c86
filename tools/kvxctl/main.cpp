// kvxctl: sends commands to an encoder over a serial port through the same
// connection, device and reply framing the program uses, and prints the replies.
//
// Exit codes: 0 every reply ended in OK, 1 a reply ended in NO, 2 the port could
// not be connected, 3 a reply did not come in time, 64 bad usage.

#include "device.h"
#include "ok_no_automaton.h"
#include "serial_connection.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

const char* const Usage =
    "Usage:\n"
    "  kvxctl --port NAME [--timeout SECONDS] send CMD [CMD...]\n"
    "      Connects to the encoder on serial port NAME (a name under /dev, or a\n"
    "      path starting with /), sends each command with CR LF appended, one at a\n"
    "      time, and prints each reply with CR and LF shown as \\r and \\n.\n"
    "      Waits at most SECONDS (default 3) for each reply.\n"
    "      Exit status: 0 every reply ended in OK, 1 a reply ended in NO,\n"
    "      2 the port could not be connected (the status words seen are printed),\n"
    "      3 a reply did not come in time.\n"
    "  kvxctl ports\n"
    "      Prints the serial ports present, one a line.\n"
    "  kvxctl --help\n"
    "      Prints this text.\n";

std::string Visible(const std::string& S)
{
    std::string Out;
    for (char C : S) {
        if (C == '\r')
            Out += "\\r";
        else if (C == '\n')
            Out += "\\n";
        else
            Out += C;
    }
    return Out;
}

bool EndsWith(const std::string& S, const std::string& Tail)
{
    return S.size() >= Tail.size() && S.compare(S.size() - Tail.size(), Tail.size(), Tail) == 0;
}

// Collects what the device hands to the main thread.
struct Session {
    std::vector<TConnStatus> Statuses;
    std::vector<std::string> Packets;
    void Status(TCustomDevice*, TConnStatus S) { Statuses.push_back(S); }
    void Packet(TCustomDevice*, TCustomAutomata* A)
    {
        for (int i = 0; i < A->PacketCount(); ++i) {
            PPack P = A->GetPacket(i);
            Packets.emplace_back(static_cast<const char*>(P->Data), static_cast<std::size_t>(P->DataSize));
        }
    }
    void Data(TCustomDevice*, const void*, std::int32_t, TDataDirection, bool& Proceed) { Proceed = true; }
    bool Failed() const
    {
        for (TConnStatus S : Statuses)
            if (S >= stNotConnected && S <= stInvalidConnectionParams)
                return true;
        return false;
    }
};

// Serves the device's hand-overs until Pred holds or the time is up.
template <typename Pred>
bool Serve(Pred P, double Seconds)
{
    const auto End = std::chrono::steady_clock::now() +
                     std::chrono::milliseconds(static_cast<long long>(Seconds * 1000));
    while (!P()) {
        if (std::chrono::steady_clock::now() >= End)
            return P();
        TThread::CheckSynchronize(5);
    }
    return true;
}

int Send(const std::string& Port, double Timeout, const std::vector<std::string>& Cmds)
{
    Session S;
    TCustomDevice D;
    D.SetOnDeviceStatus(TDeviceStatusEvent(&S, &Session::Status));
    D.SetOnDevicePacket(TDevicePacketEvent(&S, &Session::Packet));
    D.SetOnDeviceData(TDeviceQueryDataEvent(&S, &Session::Data));
    D.SetPA(new TOKNO);
    D.SetAdoptConnections(true);
    D.SetSilent(false);

    auto* C = new TConnCOM(true);
    D.SetConn(C); // the device owns it from here
    try {
        C->SetProperties({Port, "30000", "0", "3", "0", "0", "0", "0", "0"});
    } catch (const std::exception& E) {
        std::fprintf(stderr, "kvxctl: %s\n", E.what());
        return 2;
    }
    C->SetSilent(false);
    C->SetDisconnectInactive(false);
    D.Connect();
    if (!Serve([&] { return D.Connected() || S.Failed(); }, Timeout + 10) || !D.Connected()) {
        std::string Words;
        for (TConnStatus St : S.Statuses)
            Words += std::string(Words.empty() ? "" : ", ") + ConnStatusText(St);
        std::fprintf(stderr, "kvxctl: cannot connect to %s (%s)\n", Port.c_str(), Words.c_str());
        return 2;
    }

    int Result = 0;
    for (const std::string& Cmd : Cmds) {
        const std::size_t Seen = S.Packets.size();
        D.PushCommand(Cmd, true);
        if (!Serve([&] { return S.Packets.size() > Seen; }, Timeout)) {
            std::fprintf(stderr, "kvxctl: no reply to %s within %g s\n", Cmd.c_str(), Timeout);
            D.Disconnect();
            return 3;
        }
        for (std::size_t i = Seen; i < S.Packets.size(); ++i) {
            std::printf("%s\n", Visible(S.Packets[i]).c_str());
            if (EndsWith(S.Packets[i], "\r\nNO\r\n"))
                Result = 1;
        }
        std::fflush(stdout);
    }
    D.Disconnect();
    return Result;
}

} // namespace

int main(int argc, char** argv)
{
    TThread::SetMainThread();
    std::string Port;
    double Timeout = 3;
    std::vector<std::string> Args(argv + 1, argv + argc);
    std::size_t i = 0;
    for (; i < Args.size(); ++i) {
        if (Args[i] == "--help" || Args[i] == "-h") {
            std::fputs(Usage, stdout);
            return 0;
        }
        if (Args[i] == "--port" && i + 1 < Args.size())
            Port = Args[++i];
        else if (Args[i] == "--timeout" && i + 1 < Args.size()) {
            char* End = nullptr;
            Timeout = std::strtod(Args[++i].c_str(), &End);
            if (*End || !(Timeout > 0)) {
                std::fprintf(stderr, "kvxctl: bad --timeout\n");
                return 64;
            }
        } else
            break;
    }
    if (i < Args.size() && Args[i] == "ports") {
        for (const std::string& P : TConnCOM::EnumerateDevices(false))
            std::printf("%s\n", P.c_str());
        return 0;
    }
    if (i < Args.size() && Args[i] == "send" && i + 1 < Args.size() && !Port.empty())
        return Send(Port, Timeout, std::vector<std::string>(Args.begin() + static_cast<long>(i) + 1, Args.end()));
    std::fputs(Usage, stderr);
    return 64;
}
