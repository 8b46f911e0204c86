// kvxctl read: every setting the encoder holds.
#include "command.h"
#include "exit_codes.h"
#include "session.h"
#include "settings_output.h"

namespace {

const TOptionSpec Options[] = {OutputOption};

int Run(const TOptions& O)
{
    TSession S(O);
    if (const int E = S.Start())
        return E;
    return EmitSettings(O, S.Dialogue()) ? ecDone : ecRefused;
}

} // namespace

extern const TCommand ReadCommand = {"read", "read [-o FILE]", "print every setting the encoder holds",
    "Reads every setting and prints them in settings-file form, so that the\n"
    "output loads back as a settings file, preceded by the encoder's read-only\n"
    "facts HW=, FW=, SERIAL=, PILOT=, CLOCK= (its UTC clock, ISO 8601) and\n"
    "ISDST= (N/A below firmware 01.03), which loading a settings file ignores.\n"
    "--format json prints one JSON object instead (man kvxctl lists its fields).\n"
    "-o FILE writes FILE (kvx form with CR LF line ends) in one step: a failed\n"
    "write leaves the old file as it was. On a terminal, control characters the\n"
    "encoder sent are shown as \\xHH.",
    Options, 0, 0, "", true, Run};
