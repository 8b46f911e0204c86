// kvxctl defaults: the factory settings, after a backup of the encoder's own.
#include "command.h"
#include "exit_codes.h"
#include "interrupt.h"
#include "session.h"
#include "settings_output.h"

namespace {

const TOptionSpec Options[] = {
    YesOption,
    {"backup", 0, "FILE", "save the settings to FILE (default: a new file in\n$XDG_DATA_HOME/kvxc/backups)"},
};

int Run(const TOptions& O)
{
    TSession S(O);
    if (const int E = S.Start())
        return E;
    TEncoderDialogue& D = S.Dialogue();
    D.BackupFile = O.Value("backup");
    if (!D.FactoryDefaults())
        return Interrupted() ? ecInterrupted : ecRefused;
    Reporter().Note("settings saved to " + D.LastBackup());
    if (const int E = S.WaitForScript(scRead, "while reading the encoder"))
        return E;
    TJson Backup = TJson::Object();
    Backup.Set("backup", TJson::Utf8(D.LastBackup()));
    return EmitSettings(O, D, Backup) ? ecDone : ecRefused;
}

} // namespace

extern const TCommand DefaultsCommand
    = {"defaults", "defaults [--yes] [--backup FILE]", "restore the factory settings, after a backup of the encoder's",
        "Reads the encoder, asks for confirmation, saves its settings to the backup\n"
        "file (default $XDG_DATA_HOME/kvxc/backups/<serial>-<UTC time>.kvx, as the\n"
        "window does; ~/.local/share without XDG_DATA_HOME), restores the factory\n"
        "settings (INIT, whose reply is awaited and checked) and prints the new\n"
        "settings as read does (JSON: with \"backup\", the backup's path). When the\n"
        "backup cannot be written nothing is sent.",
        Options, 0, 0, "", true, Run};
