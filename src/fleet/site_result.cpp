#include "fleet/site_result.h"

const char* OutcomeWord(TSiteOutcome Outcome)
{
    switch (Outcome) {
    case soDone:
        return "done";
    case soBusy:
        return "busy";
    case soUnreachable:
        return "unreachable";
    case soLinkLost:
        return "link_lost";
    case soNoReply:
        return "no_reply";
    case soRefused:
        return "refused";
    case soTimedOut:
        return "timeout";
    case soInterrupted:
        return "interrupted";
    case soFileError:
        return "file_error";
    }
    return "unknown";
}
