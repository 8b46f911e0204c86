#include "live/live_bridge.h"

#include "_conn/status_words.h"
#include "dialogue/encoder_dialogue.h"
#include "dialogue/transcript.h"
#include "dialogue/write_report.h"
#include "platform/log.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>

namespace {

// Local time with its offset, as ISO 8601: 2026-12-10T16:05:03+0100.
std::string LocalIso()
{
    const std::time_t Now = std::time(nullptr);
    std::tm Local {};
    localtime_r(&Now, &Local);
    char Buf[40];
    std::strftime(Buf, sizeof Buf, "%Y-%m-%dT%H:%M:%S%z", &Local);
    return Buf;
}

// UTF-8 text as a JSON string.
std::string Json(const std::string& Utf8)
{
    std::string Out = "\"";
    for (const char C : Utf8) {
        if (C == '"' || C == '\\')
            Out += std::string("\\") + C;
        else if (static_cast<unsigned char>(C) < 0x20) {
            char Buf[8];
            std::snprintf(Buf, sizeof Buf, "\\u%.4x", static_cast<unsigned char>(C));
            Out += Buf;
        } else
            Out += C;
    }
    return Out + "\"";
}

std::string Quoted(const std::string& Latin1)
{
    return "\"" + Latin1ToUtf8(Latin1) + "\"";
}

std::string Seconds(double S)
{
    char Buf[32];
    std::snprintf(Buf, sizeof Buf, "%g s", std::round(S * 10) / 10);
    return Buf;
}

// What stopped a write, on one line.
std::string WriteFailure(TDialogueFailure How, const std::string& Text, const TWriteReport& R)
{
    std::string T;
    if (How == dfWriteRefused)
        T = "the encoder refused " + Latin1ToUtf8(R.Failed)
            + (R.Reply == "\r\nNO\r\n" ? std::string(" (it answered NO)")
                                       : " (it answered \"" + TTranscript::Visible(R.Reply) + "\")");
    else if (How == dfNoReply)
        T = "no reply to " + Latin1ToUtf8(R.Failed) + " within " + SecondsText(R.TimeoutMs);
    else {
        T = Text;
        for (std::size_t P; (P = T.find("\r\n")) != std::string::npos;)
            T.replace(P, 2, " ");
        return T;
    }
    for (const std::string& A : R.Applied)
        T += "; " + Latin1ToUtf8(A) + " was applied";
    return T;
}

} // namespace

TLiveBridge::TLiveBridge(TEncoderDialogue& Dialogue, const TLiveOptions& Options, std::shared_ptr<TLiveInbox> Inbox)
    : FDialogue(Dialogue), FOptions(Options), FInbox(std::move(Inbox)), FLastUpdate(TClock::now())
{
    FInbox->SetReceiver([this](TLiveAccepted& A) { Take(A); });
}

TLiveBridge::~TLiveBridge()
{
    FInbox->SetReceiver(nullptr);
}

std::int64_t TLiveBridge::MsUntil(TClock::time_point T) const
{
    const auto Ms = std::chrono::ceil<std::chrono::milliseconds>(T - TClock::now()).count();
    return std::max<std::int64_t>(0, Ms);
}

void TLiveBridge::ScriptProgress(const TScriptProgress& Progress)
{
    // Taken at once: the next script may replace the failure and the report.
    if (!FWriting || Progress.Script != scNone)
        return;
    FWriting = false;
    FEnded = true;
    FEndFailure = FDialogue.Failure();
    FEndText = WriteFailure(FEndFailure, FDialogue.FailureText(), FDialogue.WriteReport());
}

void TLiveBridge::Take(const TLiveAccepted& Update)
{
    ++FCounts.Updates;
    FLastUpdate = TClock::now();
    FIdle = false;
    Want(Update.Rt, Update.Dps, Update.Source);
}

void TLiveBridge::Want(const std::optional<TAirText>& Rt, const std::optional<TAirText>& Dps, const std::string& Source)
{
    bool Changed = false;
    std::string What;
    const auto Set = [&](const std::optional<TAirText>& Fit, bool& Have, std::string& Text, const char* Word) {
        if (!Fit)
            return;
        Changed = Changed || !Have || Fit->Text != Text;
        Have = true;
        Text = Fit->Text;
        What += (What.empty() ? "" : " ") + std::string(Word) + "=" + Quoted(Text);
        const std::string Warning = FitWarning(*Fit);
        if (!Warning.empty())
            kvx::log::Warn("%s: %s: %s", Source.c_str(), Word, Warning.c_str());
    };
    Set(Rt, FHaveRt, FWantRt, "TEXT");
    Set(Dps, FHaveDps, FWantDps, "DPS");
    std::string State;
    if (!Changed)
        State = " (the same as before)";
    else if (!Differs())
        State = " (on air already)";
    else if (FLastWrite && !FWriting) {
        const double Left = std::chrono::duration<double>(
            *FLastWrite + std::chrono::duration<double>(FOptions.MinInterval) - TClock::now())
                                .count();
        if (Left > 0)
            State = " (on air in " + Seconds(Left) + " at the latest)";
    }
    if (Changed) {
        FAttempts = 0;
        FGivenUp = false;
    }
    kvx::log::Info("%s: %s%s", Source.c_str(), What.c_str(), State.c_str());
}

bool TLiveBridge::Differs() const
{
    const TBRDSDataValidator& D = FDialogue.DeviceCopy();
    return (FHaveRt && FWantRt != D.RT) || (FHaveDps && FWantDps != D.DPS);
}

void TLiveBridge::Finished()
{
    const bool Current = FWritingRt == FWantRt && FWritingDps == FWantDps;
    const std::string What = (FHaveRt ? "TEXT=" + Quoted(FWritingRt) : std::string()) + (FHaveRt && FHaveDps ? " " : "")
        + (FHaveDps ? "DPS=" + Quoted(FWritingDps) : std::string());
    if (FEndFailure == dfNone) {
        FSentText = Latin1ToUtf8(FHaveRt ? FWritingRt : FWritingDps);
        FSentAt = LocalIso();
        FLastError.clear();
        if (Current)
            FAttempts = 0;
        kvx::log::Info("on air: %s", What.c_str());
        if (OnSent) {
            TLiveSent Sent;
            Sent.Text = FSentText;
            Sent.Rt = FHaveRt;
            Sent.Dps = FHaveDps;
            Sent.OldRt = FBeforeRt;
            Sent.NewRt = FWritingRt;
            Sent.OldDps = FBeforeDps;
            Sent.NewDps = FWritingDps;
            OnSent(Sent);
        }
        return;
    }
    ++FCounts.Failures;
    FLastError = FEndText;
    FAwaitRelink = FEndFailure != dfWriteRefused;
    // A failure of a text superseded meanwhile does not count against the new one.
    if (!Current) {
        kvx::log::Warn("the write of %s failed: %s; a newer text waits", What.c_str(), FEndText.c_str());
        return;
    }
    if (++FAttempts >= 2) {
        FGivenUp = true;
        kvx::log::Error(
            "the write of %s failed again: %s; given up until a new text comes", What.c_str(), FEndText.c_str());
    } else
        kvx::log::Warn("the write of %s failed: %s; it is tried once more in %s", What.c_str(), FEndText.c_str(),
            Seconds(FOptions.MinInterval).c_str());
}

std::int64_t TLiveBridge::Service()
{
    const TClock::time_point Now = TClock::now();
    if (FEnded) {
        FEnded = false;
        Finished();
    }
    const bool Ready = FDialogue.Connected() && FDialogue.DeviceCopy().Ready();
    if (Ready && !FWasReady && (FHaveRt || FHaveDps) && Differs() && !FGivenUp)
        kvx::log::Info("the encoder does not hold the current text: it goes out again");
    FWasReady = Ready;
    if (!Ready)
        FAwaitRelink = false;

    const auto IdleAt
        = FLastUpdate + std::chrono::duration_cast<TClock::duration>(std::chrono::duration<double>(FOptions.IdleAfter));
    const bool IdleWaits = !FOptions.IdleText.empty() && !FIdle;
    if (IdleWaits && Now >= IdleAt) {
        FIdle = true;
        const TAirText Fit = FitAirText(FOptions.IdleText);
        const bool Rt = FOptions.Rules.Target & ltRadioText;
        const bool Dps = FOptions.Rules.Target & ltDynamicPS;
        Want(Rt ? std::optional<TAirText>(Fit) : std::nullopt, Dps ? std::optional<TAirText>(Fit) : std::nullopt,
            "idle (no update for " + Seconds(FOptions.IdleAfter) + ")");
    }

    const auto NextWrite = FLastWrite ? *FLastWrite
            + std::chrono::duration_cast<TClock::duration>(std::chrono::duration<double>(FOptions.MinInterval))
                                      : Now;
    const bool Wanted = !FWriting && !FGivenUp && (FHaveRt || FHaveDps) && Differs();
    if (Wanted && Ready && !FAwaitRelink && Now >= NextWrite && FDialogue.Progress().Script == scNone) {
        TBRDSDataValidator R;
        R.AssignSettings(FDialogue.DeviceCopy());
        if (FHaveRt)
            R.RT = FWantRt;
        if (FHaveDps)
            R.DPS = FWantDps;
        std::string Why;
        switch (FDialogue.WriteRecord(R, &Why)) {
        case srStarted:
            FWriting = true;
            FLastWrite = Now;
            FWritingRt = FWantRt;
            FWritingDps = FWantDps;
            FBeforeRt = FDialogue.DeviceCopy().RT;
            FBeforeDps = FDialogue.DeviceCopy().DPS;
            ++FCounts.Writes;
            break;
        case srInvalid:
            FGivenUp = true;
            kvx::log::Error("the text cannot be written: %s", Latin1ToUtf8(Why).c_str());
            break;
        default:
            // Another script runs, or the read is not complete: the end of
            // either brings the bridge back.
            break;
        }
    }
    FInbox->PublishStatus(StatusJson());

    std::int64_t Due = -1;
    if (Wanted && !FWriting && Now < NextWrite)
        Due = MsUntil(NextWrite);
    if (IdleWaits && !FIdle)
        Due = Due < 0 ? MsUntil(IdleAt) : std::min(Due, MsUntil(IdleAt));
    return Due;
}

std::string TLiveBridge::StatusJson() const
{
    const TBRDSDataValidator& D = FDialogue.DeviceCopy();
    const bool Ready = FDialogue.Connected() && D.Ready();
    const bool Pending = !FGivenUp && (FHaveRt || FHaveDps) && (!Ready || Differs());
    std::string J = "{\"schema\": 1";
    J += ", \"port\": " + Json(FOptions.Port);
    J += ", \"connected\": " + std::string(FDialogue.Connected() ? "true" : "false");
    J += ", \"link\": " + Json(ConnStatusText(FDialogue.LastStatus()));
    J += ", \"on_air\": " + (Ready ? Json(Latin1ToUtf8(D.RT)) : std::string("null"));
    if (FOptions.Rules.Target & ltDynamicPS)
        J += ", \"on_air_dps\": " + (Ready ? Json(Latin1ToUtf8(D.DPS)) : std::string("null"));
    J += ", \"last_sent\": " + (FSentText.empty() && FSentAt.empty() ? std::string("null") : Json(FSentText));
    J += ", \"last_sent_at\": " + (FSentAt.empty() ? std::string("null") : Json(FSentAt));
    J += ", \"queue\": ";
    if (Pending) {
        J += "{\"text\": " + (FHaveRt ? Json(Latin1ToUtf8(FWantRt)) : std::string("null"));
        J += ", \"dps\": " + (FHaveDps ? Json(Latin1ToUtf8(FWantDps)) : std::string("null"));
        J += ", \"writing\": " + std::string(FWriting ? "true" : "false");
        J += ", \"retry\": " + std::string(FAttempts > 0 ? "true" : "false") + "}";
    } else
        J += "null";
    J += ", \"last_error\": " + (FLastError.empty() ? std::string("null") : Json(FLastError));
    J += ", \"updates\": " + std::to_string(FCounts.Updates);
    J += ", \"writes\": " + std::to_string(FCounts.Writes);
    J += ", \"failures\": " + std::to_string(FCounts.Failures);
    return J + "}";
}
