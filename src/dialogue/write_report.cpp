#include "dialogue/write_report.h"

#include "dialogue/transcript.h"
#include "platform/text.h"

#include <cstdio>

std::string SecondsText(std::int64_t Ms)
{
    char Buf[32];
    std::snprintf(Buf, sizeof Buf, "%g s", static_cast<double>(Ms) / 1000.0);
    return Buf;
}

std::string WriteReportText(const TWriteReport& R, const std::string& CheckFailure)
{
    const std::size_t Total = R.Commands.size();
    const std::string Count = std::to_string(R.Applied.size()) + " of " + std::to_string(Total);
    if (R.How == dfNone) {
        std::string T = R.Complete()
            ? "Every setting was written and accepted (" + Count + "): " + JoinList(R.Applied) + "."
            : "The write has not finished: " + Count + " applied.";
        if (!CheckFailure.empty())
            T += "\r\nOnly the check read that followed failed: " + CheckFailure + ".";
        return T;
    }

    std::string T;
    const std::string& Cmd = R.Failed;
    const std::string Waiting = Cmd.empty() ? std::string(".") : " while waiting for the reply to " + Cmd + ".";
    switch (R.How) {
    case dfWriteRefused:
        T = "Save Failed! Negative Acknowledgement.\r\nThe encoder refused " + Cmd + " ("
            + (R.Reply == "\r\nNO\r\n" ? std::string("it answered NO")
                                       : "it answered \"" + TTranscript::Visible(R.Reply) + "\"")
            + ").";
        break;
    case dfNoReply:
        T = "Save Failed! No reply to " + Cmd + " within " + SecondsText(R.TimeoutMs) + ".";
        break;
    case dfLinkLost:
        T = "Save Failed! The link to the encoder was lost" + Waiting;
        break;
    default:
        T = "Save Failed! The write was interrupted" + Waiting;
        break;
    }
    // A command sent and never answered may have been carried out all the same.
    const bool Unknown = R.How != dfWriteRefused && !Cmd.empty();
    if (Unknown)
        T += "\r\nWhether the encoder applied " + Cmd + " is not known.";
    if (!R.Applied.empty())
        T += "\r\nThe encoder was partly changed: " + Count + " commands applied: " + JoinList(R.Applied) + ".";
    else if (Unknown)
        T += "\r\nNo command before it was applied (0 of " + std::to_string(Total) + ").";
    else
        T += "\r\nNothing was applied (0 of " + std::to_string(Total) + "): the encoder was not changed.";
    if (!R.NotSent.empty())
        T += "\r\nNot sent (" + std::to_string(R.NotSent.size()) + "): " + JoinList(R.NotSent) + ".";
    return T;
}
