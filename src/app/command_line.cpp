#include "app/command_line.h"

#include <QCommandLineParser>
#include <QFile>
#include <QFileInfo>

#include "platform/version.h"

TCommandLine ParseCommandLine(const QStringList& Arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Configures RDS/RBDS encoders connected through a serial port."));
    const QCommandLineOption port(QStringLiteral("port"),
        QStringLiteral("Use PORT for this run (a name under /dev such as ttyUSB0, a path, or tcp://HOST:PORT)."),
        QStringLiteral("PORT"));
    const QCommandLineOption connect(
        QStringLiteral("connect"), QStringLiteral("Connect to the encoder once the window is up."));
    const QCommandLineOption transcript(QStringLiteral("transcript"),
        QStringLiteral("Record every line sent and received, with time stamps, in FILE."), QStringLiteral("FILE"));
    parser.addOptions({port, connect, transcript});
    parser.addPositionalArgument(QStringLiteral("SETTINGS.kvx"),
        QStringLiteral("A settings file to open, as File > Open would, once the encoder has been read."),
        QStringLiteral("[SETTINGS.kvx]"));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();

    TCommandLine Result;
    if (!parser.parse(Arguments)) {
        Result.Action = TCommandLine::caError;
        Result.Text = parser.errorText();
        return Result;
    }
    if (parser.isSet(help)) {
        Result.Action = TCommandLine::caHelp;
        Result.Text = parser.helpText();
        return Result;
    }
    if (parser.isSet(version)) {
        Result.Action = TCommandLine::caVersion;
        Result.Text = QStringLiteral("kvxc ") + QString::fromStdString(GetVersionString("%d.%d.%d.%d"));
        return Result;
    }
    const QStringList files = parser.positionalArguments();
    if (files.size() > 1) {
        Result.Action = TCommandLine::caError;
        Result.Text = QStringLiteral("One settings file at a time: ") + files.join(QStringLiteral(", "));
        return Result;
    }
    if (!files.isEmpty() && files.constFirst().isEmpty()) {
        Result.Action = TCommandLine::caError;
        Result.Text = QStringLiteral("The settings file's name is empty.");
        return Result;
    }
    for (const QCommandLineOption* o : {&port, &transcript}) {
        if (parser.values(*o).size() > 1) {
            Result.Action = TCommandLine::caError;
            Result.Text = QStringLiteral("--%1 given more than once.").arg(o->names().constFirst());
            return Result;
        }
        if (parser.isSet(*o) && parser.value(*o).isEmpty()) {
            Result.Action = TCommandLine::caError;
            Result.Text = QStringLiteral("--%1 needs a value.").arg(o->names().constFirst());
            return Result;
        }
    }
    Result.Options.Port = QFile::encodeName(parser.value(port)).toStdString();
    Result.Options.Connect = parser.isSet(connect);
    Result.Options.TranscriptFile = QFile::encodeName(parser.value(transcript)).toStdString();
    // Relative to the folder the program was started in, which the window
    // may no longer be in when it opens the file.
    if (!files.isEmpty())
        Result.Options.File = QFile::encodeName(QFileInfo(files.constFirst()).absoluteFilePath()).toStdString();
    return Result;
}
