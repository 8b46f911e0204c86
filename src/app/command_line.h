#pragma once
// The program's command line:
//   kvxc [--port PORT] [--connect] [--transcript FILE] [SETTINGS.kvx]
//   kvxc --help | --version
#include <QString>
#include <QStringList>

#include "app/startup_options.h"

struct TCommandLine {
    enum TAction { caRun, caHelp, caVersion, caError };
    TAction Action = caRun;
    TStartupOptions Options;
    // The help text, the version line or the error, for the action.
    QString Text;
};

// Arguments as QCoreApplication::arguments() gives them (the program first).
// Needs a QCoreApplication for the help text's program name.
TCommandLine ParseCommandLine(const QStringList& Arguments);
