#include "fleet/metrics.h"

#include "rds/field_table.h"

#include <cmath>
#include <cstdio>

namespace {

struct TFamily {
    const char* Name;
    const char* Help;
};

constexpr TFamily Up {
    "kvx_up", "Whether the site's encoder was read at the last attempt (0: the reason label says why)."};
constexpr TFamily Drift {"kvx_profile_drift_settings",
    "Settings the encoder holds otherwise than the site's profile and overrides give them, at the last read."};
constexpr TFamily Clock {"kvx_clock_drift_seconds", "The encoder's clock minus the computer's, at the last read."};
constexpr TFamily Duration {"kvx_read_duration_seconds", "How long the last attempt to read the site took."};
constexpr TFamily Success {
    "kvx_last_success_timestamp_seconds", "When the site was last read completely, in seconds since 1970."};
constexpr TFamily Info {"kvx_info", "The encoder's serial number, hardware and firmware, and the PI and PS it holds."};
constexpr TFamily Profile {"kvx_profile_info", "The PI and PS the site's profile and overrides give."};

std::string Number(double V)
{
    char Buf[64];
    if (std::isfinite(V) && V == std::floor(V) && std::fabs(V) < 1e15)
        std::snprintf(Buf, sizeof Buf, "%.0f", V);
    else
        std::snprintf(Buf, sizeof Buf, "%.3f", V);
    return Buf;
}

void Header(std::string& Out, const TFamily& F)
{
    Out += std::string("# HELP ") + F.Name + " " + F.Help + "\n# TYPE " + F.Name + " gauge\n";
}

std::string SiteLabel(const TSiteMetrics& S)
{
    return "site=\"" + LabelValue(S.Site->Name) + "\"";
}

bool Read(const TSiteMetrics& S)
{
    return S.Last && S.Last->Reachable;
}

} // namespace

std::string LabelValue(const std::string& Utf8)
{
    std::string Out;
    for (const char C : Utf8) {
        if (C == '\\')
            Out += "\\\\";
        else if (C == '"')
            Out += "\\\"";
        else if (C == '\n')
            Out += "\\n";
        else
            Out += C;
    }
    return Out;
}

std::string MetricsText(const std::vector<TSiteMetrics>& Sites)
{
    std::string Out;
    Header(Out, Up);
    for (const TSiteMetrics& S : Sites) {
        if (!S.Last)
            continue;
        if (Read(S))
            Out += std::string(Up.Name) + "{" + SiteLabel(S) + "} 1\n";
        else
            Out += std::string(Up.Name) + "{" + SiteLabel(S) + ",reason=\"" + OutcomeWord(S.Last->Outcome) + "\"} 0\n";
    }
    Header(Out, Drift);
    for (const TSiteMetrics& S : Sites)
        if (Read(S))
            Out += std::string(Drift.Name) + "{" + SiteLabel(S) + "} " + std::to_string(S.Last->Differs.size()) + "\n";
    Header(Out, Clock);
    for (const TSiteMetrics& S : Sites)
        if (Read(S) && S.Last->ClockDrift)
            Out += std::string(Clock.Name) + "{" + SiteLabel(S) + "} " + Number(*S.Last->ClockDrift) + "\n";
    Header(Out, Duration);
    for (const TSiteMetrics& S : Sites)
        if (S.Last)
            Out += std::string(Duration.Name) + "{" + SiteLabel(S) + "} " + Number(S.AttemptSeconds) + "\n";
    Header(Out, Success);
    for (const TSiteMetrics& S : Sites)
        if (S.LastSuccess > 0)
            Out += std::string(Success.Name) + "{" + SiteLabel(S) + "} " + Number(S.LastSuccess) + "\n";
    Header(Out, Info);
    for (const TSiteMetrics& S : Sites)
        if (Read(S)) {
            const TSiteResult& R = *S.Last;
            Out += std::string(Info.Name) + "{" + SiteLabel(S) + ",serial=\"" + LabelValue(PrintableText(R.Serial))
                + "\",hardware=\"" + LabelValue(PrintableText(R.Hardware)) + "\",firmware=\""
                + LabelValue(PrintableText(R.Firmware)) + "\",pi=\"" + R.PI + "\",ps=\""
                + LabelValue(PrintableText(R.PS)) + "\"} 1\n";
        }
    Header(Out, Profile);
    for (const TSiteMetrics& S : Sites)
        Out += std::string(Profile.Name) + "{" + SiteLabel(S) + ",pi=\""
            + FieldValueText(*FindFieldByKey("PI"), S.Site->Desired) + "\",ps=\""
            + LabelValue(PrintableText(S.Site->Desired.PS)) + "\"} 1\n";
    return Out;
}
