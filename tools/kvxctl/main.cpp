// kvxctl: the console front end of the encoders manager. It drives the same
// encoder dialogue as the window (read, write, factory defaults, clock) through
// a console view, and can also relay single commands.

#include "_conn/device.h"
#include "_conn/port_connection.h"
#include "_conn/serial_connection.h"
#include "console_view.h"
#include "dialogue/device_factory.h"
#include "dialogue/encoder_dialogue.h"
#include "dialogue/transcript.h"
#include "platform/atomic_file.h"
#include "platform/date_time.h"
#include "platform/time_zone.h"
#include "platform/utf.h"
#include "rds/field_table.h"
#include "rds/settings_file.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

const char* const Usage = "Usage: kvxctl [GLOBAL OPTIONS] COMMAND [ARGUMENTS]\n"
                          "\n"
                          "Global options (they may also follow the command):\n"
                          "  --port NAME          the encoder's serial port: a name under /dev (ttyUSB0)\n"
                          "                       or a path starting with /; or tcp://HOST:PORT for an\n"
                          "                       encoder behind a serial device server (HOST a name, an\n"
                          "                       IPv4 address or an IPv6 address in brackets)\n"
                          "  --timeout SECONDS    longest wait for one reply (default 3); a command\n"
                          "                       without a reply in time ends the command\n"
                          "  --transcript FILE    record every line sent and every reply received, each\n"
                          "                       with milliseconds since the start (monotonic clock) and\n"
                          "                       its direction (> sent, < received); CR and LF as \\r \\n;\n"
                          "                       a symbolic link at FILE is refused, not followed\n"
                          "  --yes                answer yes to every question (needed without a terminal)\n"
                          "  --verbose            print the connection's status words\n"
                          "  --help               print this text\n"
                          "\n"
                          "Commands:\n"
                          "  read [--format kvx|json] [-o FILE]\n"
                          "      Reads every setting and prints them in settings-file form (the settings\n"
                          "      file's 26 keys), preceded by HW=, FW=, SERIAL=, PILOT=, CLOCK= (the\n"
                          "      encoder's UTC date and time, ISO 8601) and ISDST= (N/A below firmware\n"
                          "      01.03), keys that loading a settings file ignores. --format json prints\n"
                          "      one JSON object with the same fields (AF as an array of MHz values).\n"
                          "      -o FILE writes the output to FILE instead (kvx: CR LF line ends), replacing\n"
                          "      it in one step: a failed write leaves the old file as it was. On a\n"
                          "      terminal, control characters the encoder sent are shown as \\xHH.\n"
                          "  diff FILE [--sync-clock]\n"
                          "      Reads the settings file FILE (\"-\" for standard input; read once, so a\n"
                          "      pipe works) and validates every value before the port is opened: each\n"
                          "      finding is printed as FILE:LINE: KEY=VALUE: reason and nothing is sent\n"
                          "      (exit 4). Keys the file lacks are named; they take 0. Then reads the\n"
                          "      encoder and prints the commands a write would send, one a line. Sends\n"
                          "      nothing that changes the encoder. The encoder's clock is left alone\n"
                          "      unless --sync-clock (then DATE, TIME and OFFSET from the computer's\n"
                          "      clock are added).\n"
                          "  write FILE [--yes] [--sync-clock] [--no-verify]\n"
                          "      As diff, then sends the commands one by one, printing each with its\n"
                          "      reply; then reads the encoder again and reports every setting that\n"
                          "      differs from what was written (unless --no-verify). A write that stops\n"
                          "      short (refused, no reply, link lost, interrupted) names the command,\n"
                          "      what was applied and what was not sent. An interrupt lets the command\n"
                          "      being answered finish first.\n"
                          "  defaults [--yes] [--backup FILE]\n"
                          "      Reads the encoder, asks for confirmation, saves its settings to the\n"
                          "      backup file (default $XDG_DATA_HOME/kvxc/backups/<serial>-<UTC time>.kvx,\n"
                          "      as the window does; ~/.local/share without XDG_DATA_HOME), restores the\n"
                          "      factory settings (INIT, whose reply is awaited and checked) and prints\n"
                          "      the new settings as read does. When the backup cannot be written nothing\n"
                          "      is sent.\n"
                          "  clock [--sync] [--watch]\n"
                          "      Prints the encoder's clock, offset, DST state and pilot beside the\n"
                          "      computer's. --sync first writes DATE, TIME and OFFSET from the\n"
                          "      computer's clock; --watch refreshes every 2 s until interrupted.\n"
                          "  send CMD [CMD...]\n"
                          "      Sends each command with CR LF appended, one at a time, and prints each\n"
                          "      reply with CR and LF shown as \\r and \\n, other control bytes as \\xHH.\n"
                          "  ports\n"
                          "      Prints the serial ports present, one a line.\n"
                          "\n"
                          "Exit status:\n"
                          "  0   done\n"
                          "  1   refused: the encoder answered NO (or a reply it could not have meant)\n"
                          "      before anything was changed, refused INIT (not reset), a question was\n"
                          "      answered no, or a file could not be written\n"
                          "  2   connection failure: the port could not be opened, or the encoder went\n"
                          "      away during the dialogue\n"
                          "  3   no reply within --timeout (INIT included)\n"
                          "  4   validation refused the settings file (or it is not one): nothing was\n"
                          "      sent, the port was not even opened\n"
                          "  5   verification after a write found a setting that differs\n"
                          "  6   the encoder was partly changed: a write stopped short (refused, no\n"
                          "      reply, link lost or interrupted) after some of its commands were\n"
                          "      applied; stderr names them and those not sent\n"
                          "  64  bad usage, or a settings file that cannot be read\n"
                          "  130 interrupted (SIGINT or SIGTERM) before the command was done; clock\n"
                          "      --watch ends with 0 when interrupted\n";

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
    const auto End
        = std::chrono::steady_clock::now() + std::chrono::milliseconds(static_cast<long long>(Seconds * 1000));
    while (!P()) {
        if (std::chrono::steady_clock::now() >= End)
            return P();
        TThread::CheckSynchronize(5);
    }
    return true;
}

// What the transport knows of a failure beyond its status word (a socket
// error's text, the fault in a network address).
void PrintConnectionError(const TCustomConnection* Conn)
{
    const std::string Text = ConnectionErrorText(Conn);
    if (!Text.empty())
        std::fprintf(stderr, "kvxctl: %s\n", Text.c_str());
}

int Send(const std::string& Port, double Timeout, const std::vector<std::string>& Cmds)
{
    Session S;
    std::string Error;
    const std::unique_ptr<TCustomDevice> Device = NewEncoderDevice(Port, &Error);
    if (!Error.empty()) {
        std::fprintf(stderr, "kvxctl: %s\n", Error.c_str());
        return 2;
    }
    TCustomDevice& D = *Device;
    D.SetOnDeviceStatus(TDeviceStatusEvent(&S, &Session::Status));
    D.SetOnDevicePacket(TDevicePacketEvent(&S, &Session::Packet));
    D.SetOnDeviceData(TDeviceQueryDataEvent(&S, &Session::Data));
    D.Connect();
    if (!Serve([&] { return D.Connected() || S.Failed(); }, Timeout + 10) || !D.Connected()) {
        std::string Words;
        for (TConnStatus St : S.Statuses)
            Words += std::string(Words.empty() ? "" : ", ") + ConnStatusText(St);
        std::fprintf(stderr, "kvxctl: cannot connect to %s (%s)\n", Port.c_str(), Words.c_str());
        PrintConnectionError(D.Conn());
        return 2;
    }

    int Result = 0;
    for (const std::string& Cmd : Cmds) {
        const std::size_t Seen = S.Packets.size();
        D.PushCommand(Cmd, true);
        // An encoder that goes away is a connection failure at once, not a missing reply.
        if (!Serve([&] { return S.Packets.size() > Seen || !D.Connected(); }, Timeout)) {
            std::fprintf(stderr, "kvxctl: no reply to %s within %g s\n", Cmd.c_str(), Timeout);
            D.Disconnect();
            return 3;
        }
        if (S.Packets.size() == Seen) {
            std::fprintf(
                stderr, "kvxctl: connection lost on %s while waiting for the reply to %s\n", Port.c_str(), Cmd.c_str());
            PrintConnectionError(D.Conn());
            return 2;
        }
        for (std::size_t i = Seen; i < S.Packets.size(); ++i) {
            std::printf("%s\n", TerminalText(S.Packets[i], true).c_str());
            if (EndsWith(S.Packets[i], "\r\nNO\r\n"))
                Result = 1;
        }
        std::fflush(stdout);
    }
    D.Disconnect();
    return Result;
}

std::atomic<bool> GInterrupted {false};

// Exit code of a run ended by SIGINT or SIGTERM before it was done.
constexpr int Interrupted = 130;
// Exit code of a write that stopped short after some commands were applied.
constexpr int PartlyChanged = 6;

void OnInterrupt(int)
{
    GInterrupted = true;
}

struct TOptions {
    std::string Port;
    double Timeout = 3;
    std::string Transcript;
    bool Yes = false;
    bool Verbose = false;
    std::string Format = "kvx";
    std::string Output;
    bool SyncClock = false;
    bool NoVerify = false;
    std::string Backup;
    bool Sync = false;
    bool Watch = false;
    std::string Command;
    std::vector<std::string> Args;
};

std::string Latin1ToUtf8(const std::string& S)
{
    std::string Out;
    for (unsigned char C : S) {
        if (C < 0x80)
            Out += static_cast<char>(C);
        else {
            Out += static_cast<char>(0xC0 | (C >> 6));
            Out += static_cast<char>(0x80 | (C & 0x3F));
        }
    }
    return Out;
}

std::string JsonString(const std::string& S)
{
    std::string Out = "\"";
    for (char C : Latin1ToUtf8(S)) {
        if (C == '"' || C == '\\')
            Out += std::string("\\") + C;
        else if (static_cast<unsigned char>(C) < 0x20)
            Out += Format("\\u%.4x", static_cast<unsigned char>(C));
        else
            Out += C;
    }
    return Out + "\"";
}

std::string IsoClock(const TSystemTime& T)
{
    return Format("%.4d-%.2d-%.2dT%.2d:%.2d:%.2dZ", T.wYear, T.wMonth, T.wDay, T.wHour, T.wMinute, T.wSecond);
}

// The console's session with one encoder.
class TConsole {
public:
    explicit TConsole(const TOptions& O) : FO(O), FView(O.Yes), FD(FView)
    {
        FView.Verbose = O.Verbose;
        SetAlertPresenter(&FView);
        FD.SetReplyTimeout(static_cast<std::int64_t>(O.Timeout * 1000));
    }
    ~TConsole() { SetAlertPresenter(nullptr); }

    int Run();

private:
    bool OpenTranscript();
    // Connects and runs the read script; 0 or an exit code.
    int ConnectAndRead();
    // Serves hand-overs until Done holds; 0, or the exit code of what went wrong.
    template <typename Pred>
    int Wait(Pred Done, const char* What);
    // The exit code of the dialogue's failure; prints what the dialogue did not show.
    int FailureCode();
    void Disconnect();
    int Read();
    int Diff(bool Write);
    int Defaults();
    int Clock();
    int Verify(const TBRDSDataValidator& Written);
    std::string SettingsText(bool Json) const;
    // Reads and validates the settings file once; 0 or an exit code.
    int LoadFile(TBRDSDataValidator& Record);
    void PrintClock();
    bool Emit(const std::string& Text, bool CrLf);

    const TOptions& FO;
    TConsoleView FView;
    TTranscript FTranscript;
    TEncoderDialogue FD;
    bool FWasConnected = false;
};

template <typename Pred>
int TConsole::Wait(Pred Done, const char* What)
{
    // Replies have the dialogue's reply time-out; opening a port may take
    // several attempts, which get the time-out and 10 s more.
    const auto ConnectLimit = std::chrono::steady_clock::now()
        + std::chrono::milliseconds(static_cast<long long>(FO.Timeout * 1000) + 10000);
    bool Interrupting = false;
    for (;;) {
        if (FD.Failure() != dfNone)
            return FailureCode();
        if (Done())
            return 0;
        if (FD.Connected())
            FWasConnected = true;
        const TConnStatus St = FD.LastStatus();
        if (St == stDisconnected || St == stInvalidConnectionParams
            || (FWasConnected && !FD.Connected() && St != stConnected)) {
            std::string Words;
            for (const std::string& T : FView.Statuses)
                Words += (Words.empty() ? "" : ", ") + T.substr(std::min(T.size(), FO.Port.size() + 2));
            std::fprintf(stderr, "kvxctl: %s on %s (%s)\n", FWasConnected ? "connection lost" : "cannot connect",
                FO.Port.c_str(), Words.c_str());
            PrintConnectionError(FD.Device->Conn());
            return 2;
        }
        if (GInterrupted && !Interrupting) {
            // A script stops through the dialogue, so that a write can say
            // what it did; nothing else needs more than stopping.
            Interrupting = true;
            if (FD.Progress().Script == scNone)
                return Interrupted;
            FD.Interrupt();
            continue;
        }
        if (!FWasConnected && std::chrono::steady_clock::now() > ConnectLimit) {
            std::fprintf(
                stderr, "kvxctl: no connection to %s %s within %g s\n", FO.Port.c_str(), What, FO.Timeout + 10);
            return 2;
        }
        TThread::CheckSynchronize(20);
    }
}

int TConsole::FailureCode()
{
    const TDialogueFailure F = FD.Failure();
    // A write that stopped short has shown its report.
    const TWriteReport& W = FD.WriteReport();
    const bool InWrite = F != dfNone && W.How == F;
    if (InWrite && W.PartlyChanged())
        return PartlyChanged;
    switch (F) {
    case dfNone:
        return 0;
    case dfRefused:
    case dfNotANumber:
    case dfOutOfRange:
        // The window says only "Negative Acknowledgement." or nothing: name the query and its reply.
        std::fprintf(stderr, "kvxctl: %s\n", TerminalText(FD.FailureText(), false).c_str());
        return 1;
    case dfInitRefused:
    case dfWriteRefused:
        return 1;
    case dfNoReply:
    case dfInitUnanswered:
        return 3;
    case dfLinkLost:
        if (!InWrite) {
            std::fprintf(stderr, "kvxctl: %s on %s\n", TerminalText(FD.FailureText(), false).c_str(), FO.Port.c_str());
            PrintConnectionError(FD.Device->Conn());
        }
        return 2;
    case dfInterrupted:
        if (!InWrite)
            std::fprintf(stderr, "kvxctl: %s\n", TerminalText(FD.FailureText(), false).c_str());
        return Interrupted;
    }
    return 1;
}

bool TConsole::OpenTranscript()
{
    if (FO.Transcript.empty())
        return true;
    std::string Error;
    if (!FTranscript.Open(FO.Transcript, Error)) {
        std::fprintf(stderr, "kvxctl: cannot open the transcript: %s\n", Error.c_str());
        return false;
    }
    FD.SetTranscript(&FTranscript);
    return true;
}

int TConsole::ConnectAndRead()
{
    FD.DeviceConnectExecute(FO.Port);
    return Wait([&] { return FD.LastScriptEnd() == 134; }, "while reading the encoder");
}

void TConsole::Disconnect()
{
    if (FD.ConnectTag() == 1 && FD.Connected()) {
        FD.DeviceConnectExecute(FO.Port);
        const auto End = std::chrono::steady_clock::now() + std::chrono::seconds(2);
        while (FD.LastStatus() != stDisconnected && std::chrono::steady_clock::now() < End)
            TThread::CheckSynchronize(20);
    }
}

std::string TConsole::SettingsText(bool Json) const
{
    const TBRDSDataValidator& R = *FD.BRDSDV;
    const bool HasDST = R.FirmwareLevel() >= FirmwareLevelDST && !FD.IsDSTWord().empty();
    if (!Json) {
        std::string T = "HW=" + R.HW + "\r\nFW=" + R.FW + "\r\nSERIAL=" + R.Serial + "\r\nPILOT=" + FD.PilotWord()
            + "\r\nCLOCK=" + IsoClock(R.RTC) + "\r\nISDST=" + (HasDST ? FD.IsDSTWord() : "N/A") + "\r\n";
        return T + SettingsFileText(R);
    }
    std::string ISDST = "null";
    if (HasDST && (FD.IsDSTWord() == "0" || FD.IsDSTWord() == "1"))
        ISDST = FD.IsDSTWord();
    std::string J = "{\n";
    auto Add = [&](const std::string& Key, const std::string& Value) {
        J += std::string(J.size() > 2 ? ",\n" : "") + "  \"" + Key + "\": " + Value;
    };
    Add("HW", JsonString(R.HW));
    Add("FW", JsonString(R.FW));
    Add("SERIAL", JsonString(R.Serial));
    Add("PILOT", JsonString(FD.PilotWord()));
    Add("CLOCK", JsonString(IsoClock(R.RTC)));
    Add("ISDST", ISDST);
    // The settings in the field table's order; the AF entries as one list of
    // the frequencies in MHz, the unused ones left out.
    std::string Group, List;
    for (const TField& F : SettingsFields()) {
        if (F.Group) {
            Group = F.Group;
            if (const std::int32_t Code = F.Get(R))
                List += (List.empty() ? "" : ", ") + Format("%d.%d", (875 + Code) / 10, (875 + Code) % 10);
            continue;
        }
        if (!Group.empty()) {
            Add(Group, "[" + List + "]");
            Group.clear();
        }
        const std::string V = FieldValueText(F, R);
        Add(F.Key, F.Type == ftNumber ? V : JsonString(V));
    }
    return J + "\n}\n";
}

// Writes Text to -o FILE exactly (a kvx text as a settings file holds it),
// replacing the file in one step; or to standard output with LF line ends
// and, for the kvx form, shown as a terminal shows text.
bool TConsole::Emit(const std::string& Text, bool CrLf)
{
    if (!FO.Output.empty()) {
        TAtomicFileOptions Options;
        Options.FollowLinks = true;
        Options.KeepAttributes = true;
        std::string Error;
        if (!WriteFileAtomic(FO.Output, CrLf ? SettingsFileBytes(Text) : Text, Error, Options)) {
            std::fprintf(stderr, "kvxctl: cannot write %s: %s\n", FO.Output.c_str(), Error.c_str());
            return false;
        }
        return true;
    }
    const std::string Out = CrLf ? TerminalText(Text, false) : Text;
    std::fwrite(Out.data(), 1, Out.size(), stdout);
    std::fflush(stdout);
    return true;
}

int TConsole::Read()
{
    if (int E = ConnectAndRead())
        return E;
    const bool Json = FO.Format == "json";
    return Emit(SettingsText(Json), !Json) ? 0 : 1;
}

int TConsole::LoadFile(TBRDSDataValidator& Record)
{
    const std::string& Path = FO.Args[0];
    std::string Raw, Error;
    if (!ReadSettingsFileBytes(Path, Raw, Error, true)) {
        std::fprintf(stderr, "kvxctl: cannot read %s: %s\n", Path.c_str(), Error.c_str());
        return 64;
    }
    TSettingsFileInfo Info;
    ParseSettingsFile(Raw, Record, &Info);
    if (!Info.NotSettings.empty()) {
        std::fprintf(stderr, "kvxctl: %s: not a settings file: %s\n", Path.c_str(), Info.NotSettings.c_str());
        return 4;
    }
    if (!Info.MissingKeys.empty()) {
        std::string Keys;
        for (const std::string& K : Info.MissingKeys)
            Keys += (Keys.empty() ? "" : ", ") + K;
        std::fprintf(stderr, "kvxctl: %s: no line for %s: %s 0\n", Path.c_str(), Keys.c_str(),
            Info.MissingKeys.size() == 1 ? "it takes" : "they take");
    }
    // Every value is checked before the port is opened: an invalid file sends nothing.
    Record.isValid(nullptr, false, nullptr);
    bool Blocked = false;
    for (const TAlert& A : Record.Alerts()) {
        int Line = A.Line;
        if (!Line && Info.KeyLines.count(A.Key))
            Line = Info.KeyLines[A.Key];
        const std::string Where = Path + (Line ? ":" + std::to_string(Line) : std::string());
        const std::string What = A.Key.empty() ? A.Name : A.Key + "=" + A.Value;
        std::fprintf(stderr, "%s: %s: %s\n", Where.c_str(), TerminalText(What, true).c_str(),
            TerminalText(A.Description, true).c_str());
        Blocked = Blocked || A.AlertType == altCancel;
    }
    if (Blocked) {
        std::fprintf(stderr, "kvxctl: validation refused %s: nothing was sent\n", Path.c_str());
        return 4;
    }
    return 0;
}

int TConsole::Diff(bool Write)
{
    TBRDSDataValidator File;
    if (int E = LoadFile(File))
        return E;
    if (int E = ConnectAndRead())
        return E;
    // The file's settings with the encoder's identity (firmware-dependent
    // settings behave as for the connected encoder). A settings file holds no
    // clock: the encoder's own date and time stay, unless the computer's clock
    // is to be written.
    File.FW = FD.BRDSDV->FW;
    File.HW = FD.BRDSDV->HW;
    File.Serial = FD.BRDSDV->Serial;
    File.RTC = FD.BRDSDV->RTC;
    File.RTCManual = !FO.SyncClock;
    FView.Editor.AssignSettings(File);

    TBRDSDataValidator Record;
    std::vector<TMsgChange> List;
    const TSaveResult R = FD.PrepareSave(Record, List);
    if (R == srInvalid) {
        std::fprintf(stderr, "kvxctl: validation refused %s: nothing was sent\n", FO.Args[0].c_str());
        return 4;
    }
    for (const TMsgChange& M : List)
        std::printf("%s\n", TerminalText(M.Msg, true).c_str());
    std::fflush(stdout);
    if (!Write || R == srNoChanges)
        return 0;

    // The same validation runs again inside the save: its findings were shown
    // and confirmed above.
    struct TConfirmed : TAlertPresenter {
        bool PresentAlerts(const TAlertArray&) override { return true; }
    } Confirmed;
    SetAlertPresenter(&Confirmed);
    const TSaveResult Started = FD.SaveChanges();
    SetAlertPresenter(&FView);
    if (Started != srStarted) {
        std::fprintf(stderr, "kvxctl: the write did not start\n");
        return 1;
    }
    const TBRDSDataValidator Written = [&] {
        TBRDSDataValidator W;
        W.AssignSettings(FView.Editor);
        return W;
    }();
    auto* L = static_cast<TKVXStateList*>(FD.LDRA->FindState(151));
    std::size_t Printed = 0;
    auto PrintReplies = [&] {
        for (; Printed < L->MessageList().size() && !L->MessageList()[Printed]->Res.empty(); ++Printed)
            std::printf("%s -> %s\n", TerminalText(L->MessageList()[Printed]->Msg, true).c_str(),
                TTranscript::Visible(L->MessageList()[Printed]->Res).c_str());
        std::fflush(stdout);
    };
    const int E = Wait(
        [&] {
            PrintReplies();
            return FD.LastScriptEnd() == 152;
        },
        "while writing");
    PrintReplies();
    if (E)
        return E;
    return FO.NoVerify ? 0 : Verify(Written);
}

int TConsole::Verify(const TBRDSDataValidator& Written)
{
    FD.StartRead();
    if (int E = Wait([&] { return FD.LastScriptEnd() == 134; }, "while reading back")) {
        // Every command was applied; only the check failed.
        FView.ShowError(WriteReportText(FD.WriteReport(), FD.FailureText()));
        return E;
    }
    TBRDSDataValidator Expected;
    Expected.AssignSettings(Written);
    if (FO.SyncClock)
        Expected.Offset = LocalOffsetMinutes(UtcNowMs());
    const TBRDSDataValidator& Held = *FD.BRDSDV;
    int Result = 0;
    for (const TField& F : SettingsFields()) {
        if (!FieldKnown(F, Held.FirmwareLevel()) || SameFieldValue(F, Expected, Held))
            continue;
        std::fprintf(stderr, "kvxctl: verify: %s written as \"%s\", the encoder holds \"%s\"\n", F.Key,
            TerminalText(FieldValueText(F, Expected), true).c_str(),
            TerminalText(FieldValueText(F, Held), true).c_str());
        Result = 5;
    }
    return Result;
}

int TConsole::Defaults()
{
    if (int E = ConnectAndRead())
        return E;
    FD.BackupFile = FO.Backup;
    if (!FD.FactoryDefaults())
        return 1;
    std::fprintf(stderr, "kvxctl: settings saved to %s\n", FD.LastBackup().c_str());
    if (int E = Wait([&] { return FD.LastScriptEnd() == 134; }, "while reading the encoder"))
        return E;
    return Emit(SettingsText(false), true) ? 0 : 1;
}

void TConsole::PrintClock()
{
    auto Label = [&](TDialogueLabel L) { return FView.Labels.count(L) ? FView.Labels[L] : std::string(); };
    const std::string DST = FD.BRDSDV->FirmwareLevel() < FirmwareLevelDST ? "N/A" : Label(TDialogueLabel::lbRTC_DDST);
    std::printf("Encoder:  %s %s UTC  offset %s  DST %s  %s\n", Label(TDialogueLabel::lbRTC_DD).c_str(),
        Label(TDialogueLabel::lbRTC_DT).c_str(), Label(TDialogueLabel::lbRTC_DO).c_str(), DST.c_str(),
        Label(TDialogueLabel::lbPilot).c_str());
    TTimeZoneInformation Z;
    const TTimeZoneId Id = GetTimeZoneInformation(Z);
    const int D = Id == tzStandard ? Z.StandardBias : Id == tzDaylight ? Z.DaylightBias : 0;
    auto Shift = [](int Bias) {
        return Format("%s%.2d:%.2d", Bias > 0 ? "-" : "+", std::abs(Bias / 60), std::abs(Bias % 60));
    };
    const TSystemTime T = UtcNow();
    std::printf("Computer: %s %s UTC  offset %s  DST %s\n", FormatDeviceDate(T).c_str(), FormatDeviceTime(T).c_str(),
        Shift(Z.Bias).c_str(), Shift(D).c_str());
    std::fflush(stdout);
}

int TConsole::Clock()
{
    if (int E = ConnectAndRead())
        return E;
    if (FO.Sync) {
        FView.Editor.AssignSettings(*FD.BRDSDV);
        FView.Editor.RTCManual = false;
        if (FD.SaveChanges() != srStarted) {
            std::fprintf(stderr, "kvxctl: the clock write did not start\n");
            return 1;
        }
        if (int E = Wait([&] { return FD.LastScriptEnd() == 152; }, "while setting the clock"))
            return E;
    }
    do {
        FD.ClearLastScriptEnd();
        FD.ClockRefreshTick();
        int E = Wait([&] { return FD.LastScriptEnd() == 206; }, "while reading the clock");
        if (E == Interrupted && FO.Watch)
            break;
        if (E)
            return E;
        PrintClock();
        if (FO.Watch) {
            const auto Next = std::chrono::steady_clock::now() + std::chrono::seconds(2);
            E = Wait([&] { return std::chrono::steady_clock::now() >= Next; }, "while watching");
            if (E == Interrupted)
                break;
            if (E)
                return E;
        }
    } while (FO.Watch && !GInterrupted);
    return 0;
}

int TConsole::Run()
{
    if (!OpenTranscript())
        return 64;
    int E = 64;
    if (FO.Command == "read")
        E = Read();
    else if (FO.Command == "diff")
        E = Diff(false);
    else if (FO.Command == "write")
        E = Diff(true);
    else if (FO.Command == "defaults")
        E = Defaults();
    else if (FO.Command == "clock")
        E = Clock();
    Disconnect();
    return E;
}

int UsageError(const std::string& Why)
{
    std::fprintf(stderr, "kvxctl: %s\n%s", Why.c_str(), Usage);
    return 64;
}

} // namespace

int main(int argc, char** argv)
{
    TThread::SetMainThread();
    std::setlocale(LC_TIME, "");
    TOptions O;
    std::vector<std::string> Args(argv + 1, argv + argc);
    for (std::size_t i = 0; i < Args.size(); ++i) {
        const std::string& A = Args[i];
        auto Value = [&](std::string& To) {
            if (i + 1 >= Args.size())
                return false;
            To = Args[++i];
            return true;
        };
        if (A == "--help" || A == "-h") {
            std::fputs(Usage, stdout);
            return 0;
        }
        if (O.Command == "send" && !O.Args.empty() && A.rfind("--", 0) != 0) {
            O.Args.push_back(A);
            continue;
        }
        if (A == "--port") {
            if (!Value(O.Port))
                return UsageError("--port needs a value");
        } else if (A == "--timeout") {
            std::string V;
            char* End = nullptr;
            if (!Value(V) || ((O.Timeout = std::strtod(V.c_str(), &End)), *End) || !(O.Timeout > 0))
                return UsageError("bad --timeout");
        } else if (A == "--transcript") {
            if (!Value(O.Transcript))
                return UsageError("--transcript needs a file");
        } else if (A == "--format") {
            if (!Value(O.Format) || (O.Format != "kvx" && O.Format != "json"))
                return UsageError("--format takes kvx or json");
        } else if (A == "-o" || A == "--output") {
            if (!Value(O.Output))
                return UsageError("-o needs a file");
        } else if (A == "--backup") {
            if (!Value(O.Backup))
                return UsageError("--backup needs a file");
        } else if (A == "--yes" || A == "-y")
            O.Yes = true;
        else if (A == "--verbose")
            O.Verbose = true;
        else if (A == "--sync-clock")
            O.SyncClock = true;
        else if (A == "--no-verify")
            O.NoVerify = true;
        else if (A == "--sync")
            O.Sync = true;
        else if (A == "--watch")
            O.Watch = true;
        else if (A.rfind('-', 0) == 0 && A.size() > 1)
            return UsageError("unknown option " + A);
        else if (O.Command.empty())
            O.Command = A;
        else
            O.Args.push_back(A);
    }
    if (O.Command == "ports") {
        for (const std::string& P : TConnCOM::EnumerateDevices(false))
            std::printf("%s\n", P.c_str());
        return 0;
    }
    if (O.Command.empty())
        return UsageError("no command");
    if (O.Port.empty())
        return UsageError("--port is needed");
    if (O.Command == "send") {
        if (O.Args.empty())
            return UsageError("send needs a command");
        return Send(O.Port, O.Timeout, O.Args);
    }
    const std::size_t Wanted = O.Command == "diff" || O.Command == "write" ? 1 : 0;
    if ((O.Command != "read" && O.Command != "diff" && O.Command != "write" && O.Command != "defaults"
            && O.Command != "clock")
        || O.Args.size() != Wanted)
        return UsageError("bad command or arguments");

    struct sigaction Sa { };
    Sa.sa_handler = OnInterrupt;
    ::sigaction(SIGINT, &Sa, nullptr);
    ::sigaction(SIGTERM, &Sa, nullptr);
    TConsole C(O);
    return C.Run();
}
