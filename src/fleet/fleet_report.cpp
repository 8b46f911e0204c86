#include "fleet/fleet_report.h"

#include "dialogue/transcript.h"
#include "platform/utf.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

// Characters of UTF-8 text (for the columns).
std::size_t Width(const std::string& Text)
{
    std::size_t N = 0;
    for (std::size_t i = 0; i < Text.size(); i += DecodeUtf8(Text, i).Length)
        ++N;
    return N;
}

std::string Trimmed(const std::string& S)
{
    const std::size_t E = S.find_last_not_of(' ');
    return E == std::string::npos ? std::string() : S.substr(0, E + 1);
}

std::string Commands(const std::vector<std::string>& List)
{
    std::vector<std::string> Shown;
    Shown.reserve(List.size());
    for (const std::string& C : List)
        Shown.push_back(PrintableText(C));
    return JoinNames(Shown);
}

} // namespace

std::string JoinNames(const std::vector<std::string>& Names)
{
    std::string Out;
    for (const std::string& N : Names)
        Out += (Out.empty() ? "" : ", ") + N;
    return Out;
}

std::string DriftText(const TSiteResult& R)
{
    if (!R.ClockDrift)
        return "-";
    const long long S = std::llround(*R.ClockDrift);
    return (S < 0 ? "-" : "+") + std::to_string(std::llabs(S)) + " s";
}

std::string StatusTable(const std::vector<TSiteResult>& Results)
{
    std::vector<std::vector<std::string>> Rows;
    Rows.push_back({"SITE", "READ", "SERIAL", "HARDWARE", "FIRMWARE", "CLOCK", "DIFFER"});
    for (const TSiteResult& R : Results) {
        if (!R.Reachable) {
            Rows.push_back({R.Site, std::string("no (") + OutcomeWord(R.Outcome) + ")", "-", "-", "-", "-", "-"});
            continue;
        }
        std::string Differ = std::to_string(R.Differs.size());
        if (!R.Differs.empty())
            Differ += " (" + JoinNames(R.Differs) + ")";
        Rows.push_back({R.Site, "yes", PrintableText(R.Serial), PrintableText(Trimmed(R.Hardware)),
            PrintableText(Trimmed(R.Firmware)), DriftText(R), Differ});
    }
    std::vector<std::size_t> W(Rows[0].size(), 0);
    for (const auto& Row : Rows)
        for (std::size_t c = 0; c < Row.size(); ++c)
            W[c] = std::max(W[c], Width(Row[c]));
    std::string Out;
    for (const auto& Row : Rows) {
        std::string Line;
        for (std::size_t c = 0; c < Row.size(); ++c) {
            Line += Row[c];
            if (c + 1 < Row.size())
                Line += std::string(W[c] - Width(Row[c]) + 2, ' ');
        }
        Out += Trimmed(Line) + "\n";
    }
    return Out + NotReadText(Results);
}

std::string NotReadText(const std::vector<TSiteResult>& Results)
{
    std::string Out;
    for (const TSiteResult& R : Results)
        if (!R.Reachable)
            Out += R.Site + ": not read: " + R.Reason + "\n";
    return Out;
}

std::string DiffLines(const std::vector<TSiteResult>& Results)
{
    std::string Out;
    for (const TSiteResult& R : Results)
        for (const std::string& C : R.Commands)
            Out += R.Site + ": " + PrintableText(C) + "\n";
    return Out;
}

std::string PushReportText(const std::vector<TSiteResult>& Results)
{
    std::string Out;
    for (const TSiteResult& R : Results) {
        const TWriteReport& W = R.Write;
        if (!R.Reachable) {
            Out += R.Site + ": not written: " + R.Reason + "\n";
            continue;
        }
        if (!R.WriteStarted) {
            Out += R.Site + ": "
                + (R.Outcome == soDone ? std::string("nothing to write: the encoder holds its settings")
                                       : "not written: " + R.Reason)
                + "\n";
            continue;
        }
        if (W.Complete()) {
            Out += R.Site + ": applied " + std::to_string(W.Applied.size()) + " of " + std::to_string(W.Commands.size())
                + ": " + Commands(W.Applied) + "\n";
            if (R.Verified)
                Out += R.Site + ": verified: the encoder holds every setting written\n";
            else
                Out += R.Site + ": not verified: " + R.Reason + "\n";
            continue;
        }
        // The write stopped short: the command that stopped it, what was
        // applied and what was never sent.
        if (W.How == dfWriteRefused)
            Out += R.Site + ": refused " + PrintableText(W.Failed) + " (reply " + TTranscript::Visible(W.Reply) + ")\n";
        else
            Out += R.Site + ": stopped: " + R.Reason + "\n";
        Out += R.Site + ": applied " + std::to_string(W.Applied.size()) + " of " + std::to_string(W.Commands.size())
            + (W.Applied.empty() ? "" : ": " + Commands(W.Applied)) + "\n";
        if (!W.NotSent.empty())
            Out += R.Site + ": not sent: " + Commands(W.NotSent) + "\n";
        Out += R.Site + ": not verified: the write stopped short\n";
    }
    return Out;
}

std::string BackupReportText(const std::vector<TSiteResult>& Results)
{
    std::string Out;
    for (const TSiteResult& R : Results) {
        switch (R.Backup) {
        case bcNew:
            Out += R.Site + ": new " + R.BackupFile + "\n";
            break;
        case bcChanged:
            Out += R.Site + ": changed " + R.BackupFile + " (" + JoinNames(R.ChangedKeys) + ")\n";
            break;
        case bcUnchanged:
            Out += R.Site + ": unchanged " + R.BackupFile + "\n";
            break;
        case bcNone:
            Out += R.Site + ": no backup: " + R.Reason + "\n";
            break;
        }
    }
    return Out;
}
