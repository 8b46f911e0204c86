// kvxctl send CMD...: raw commands, each with its reply as the encoder sent it.
#include "_conn/device.h"
#include "_conn/port_connection.h"
#include "command.h"
#include "console_view.h"
#include "dialogue/device_factory.h"
#include "dialogue/transcript.h"
#include "dialogue/write_report.h"
#include "exit_codes.h"
#include "interrupt.h"
#include "platform/serve_until.h"

#include <memory>

namespace {

// What the device hands to the main thread.
struct TRawLink {
    std::vector<TConnStatus> Statuses;
    std::vector<std::string> Packets;
    TTranscript* Transcript = nullptr;

    void Status(TCustomDevice*, TConnStatus S)
    {
        Statuses.push_back(S);
        Reporter().Detail(ConnStatusText(S));
    }
    void Packet(TCustomDevice*, TCustomAutomata* A)
    {
        for (int i = 0; i < A->PacketCount(); ++i) {
            PPack P = A->GetPacket(i);
            Packets.emplace_back(static_cast<const char*>(P->Data), static_cast<std::size_t>(P->DataSize));
            Transcript->Received(Packets.back());
        }
    }
    bool Failed() const
    {
        for (TConnStatus S : Statuses)
            if (S >= stNotConnected && S <= stInvalidConnectionParams)
                return true;
        return false;
    }
    std::string Words() const
    {
        std::string W;
        for (TConnStatus S : Statuses)
            W += std::string(W.empty() ? "" : ", ") + ConnStatusText(S);
        return W;
    }
};

bool Accepted(const std::string& Reply)
{
    return Reply.size() >= 4 && Reply.compare(Reply.size() - 4, 4, "OK\r\n") == 0;
}

int Connect(TCustomDevice& D, TRawLink& L, const TOptions& O)
{
    D.Connect();
    const bool Up
        = ServeUntil([&] { return D.Connected() || L.Failed() || Interrupted(); }, DeadlineIn(O.TimeoutMs + 10000))
        && D.Connected();
    if (Up)
        return 0;
    if (Interrupted())
        return ecInterrupted;
    Reporter().Error("cannot connect to " + O.Port + " (" + L.Words() + ")");
    if (const std::string Text = ConnectionErrorText(D.Conn()); !Text.empty())
        Reporter().Error(Text);
    return ecConnection;
}

// Sends one command and waits for its reply: 0 with the replies that came, or an exit code.
int SendOne(TCustomDevice& D, TRawLink& L, const TOptions& O, const std::string& Cmd)
{
    const std::size_t Seen = L.Packets.size();
    L.Transcript->Sent(Cmd + "\r\n");
    D.PushCommand(Cmd, true);
    // An encoder that goes away is a connection failure at once, not a missing reply.
    const bool Answered = ServeUntil([&] { return L.Packets.size() > Seen || !D.Connected() || Interrupted(); },
        O.TimeoutMs ? DeadlineIn(O.TimeoutMs) : NoDeadline);
    if (L.Packets.size() > Seen)
        return 0;
    if (Interrupted()) {
        Reporter().Error("interrupted while waiting for the reply to " + TerminalText(Cmd, true));
        return ecInterrupted;
    }
    if (!Answered) {
        Reporter().Error("no reply to " + TerminalText(Cmd, true) + " within " + SecondsText(O.TimeoutMs));
        return ecNoReply;
    }
    Reporter().Error("connection lost on " + O.Port + " while waiting for the reply to " + TerminalText(Cmd, true));
    if (const std::string Text = ConnectionErrorText(D.Conn()); !Text.empty())
        Reporter().Error(Text);
    return ecConnection;
}

int Run(const TOptions& O)
{
    TTranscript Transcript;
    if (O.Has("transcript")) {
        std::string Error;
        if (!Transcript.Open(O.Value("transcript"), Error)) {
            Reporter().Error("cannot open the transcript: " + Error);
            return ecUsage;
        }
    }
    if (O.Verbosity == vbVerbose)
        Transcript.MirrorTo(stderr);
    TRawLink L;
    L.Transcript = &Transcript;
    const std::unique_ptr<TCustomDevice> Device = NewEncoderDevice(O.Port);
    TCustomDevice& D = *Device;
    D.SetOnDeviceStatus(TDeviceStatusEvent(&L, &TRawLink::Status));
    D.SetOnDevicePacket(TDevicePacketEvent(&L, &TRawLink::Packet));
    int Result = Connect(D, L, O);
    bool Refused = false;
    TJson Replies = TJson::Array();
    for (std::size_t i = 0; !Result && i < O.Args.size(); ++i) {
        const std::size_t Seen = L.Packets.size();
        if (const int E = SendOne(D, L, O, O.Args[i])) {
            Result = E;
            break;
        }
        for (std::size_t k = Seen; k < L.Packets.size(); ++k) {
            const std::string& P = L.Packets[k];
            TJson R = TJson::Object();
            R.Set("command", TJson::Latin1(O.Args[i]));
            R.Set("reply", TJson::Latin1(P));
            R.Set("accepted", TJson::Bool(Accepted(P)));
            Replies.Add(R);
            if (!O.Json)
                PrintOut(TerminalText(P, true) + "\n");
        }
        // A refusal gives 1, once every command was sent.
        Refused = Refused || !Accepted(L.Packets.back());
    }
    if (O.Json) {
        TJson J = TJson::Object();
        J.Set("schema", TJson::Int(1));
        J.Set("replies", Replies);
        PrintOut(J.Dump());
    }
    D.Disconnect();
    return Result ? Result : Refused ? ecRefused : ecDone;
}

} // namespace

extern const TCommand SendCommand = {"send", "send CMD...", "send commands as they are, printing each reply",
    "Sends each command with CR LF appended, one at a time, and prints each\n"
    "reply as the encoder sent it, CR and LF shown as \\r and \\n, other control\n"
    "bytes as \\xHH (JSON: the replies' bytes). No script runs: the echo stays\n"
    "as the encoder has it. Exits 1 when a reply ends in NO (every command is\n"
    "still sent).",
    {}, 1, -1, "CMD", true, Run};
