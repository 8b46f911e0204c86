#include <QDir>
#include <gtest/gtest.h>

#include "app/command_line.h"

TEST(CommandLine, OptionsHelpVersionAndErrors)
{
    struct TCase {
        QStringList Args;
        TCommandLine::TAction Action;
        std::string Port;
        bool Connect;
        std::string Transcript;
        const char* Text; // a part of the help, version or error text
        std::string File = {};
    };
    const std::string Here = QDir::currentPath().toStdString();
    using C = TCommandLine;
    const TCase Cases[] = {
        {{}, C::caRun, "", false, "", ""},
        {{"--port", "ttyUSB0", "--connect"}, C::caRun, "ttyUSB0", true, "", ""},
        {{"--port=/dev/pts/7", "--transcript", "t.txt"}, C::caRun, "/dev/pts/7", false, "t.txt", ""},
        {{"--port", "tcp://enc:4001", "--connect", "--transcript=a b.txt"}, C::caRun, "tcp://enc:4001", true, "a b.txt",
            ""},
        {{"--help"}, C::caHelp, "", false, "", "--transcript <FILE>"},
        {{"-h", "--port", "x"}, C::caHelp, "", false, "", "--port <PORT>"},
        {{"--version"}, C::caVersion, "", false, "", "kvxc 1."},
        {{"--port"}, C::caError, "", false, "", "Missing value after '--port'"},
        {{"--port="}, C::caError, "", false, "", "--port needs a value"},
        {{"--port", "a", "--port", "b"}, C::caError, "", false, "", "--port given more than once"},
        {{"--frobnicate"}, C::caError, "", false, "", "Unknown option 'frobnicate'"},
        // A settings file, named relative to the folder the program starts in.
        {{"station.kvx", "--port", "ttyUSB0", "--connect"}, C::caRun, "ttyUSB0", true, "", "", Here + "/station.kvx"},
        {{"--connect", "/srv/sites/../a b.kvx"}, C::caRun, "", true, "", "", "/srv/a b.kvx"},
        {{"--help"}, C::caHelp, "", false, "", "[SETTINGS.kvx]"},
        {{"a.kvx", "b.kvx"}, C::caError, "", false, "", "One settings file at a time: a.kvx, b.kvx"},
        {{""}, C::caError, "", false, "", "settings file's name is empty"},
    };
    for (const TCase& T : Cases) {
        SCOPED_TRACE(T.Args.join(' ').toStdString());
        const TCommandLine R = ParseCommandLine(QStringList {"kvxc"} + T.Args);
        EXPECT_EQ(R.Action, T.Action);
        EXPECT_EQ(R.Options.Port, T.Port);
        EXPECT_EQ(R.Options.Connect, T.Connect);
        EXPECT_EQ(R.Options.TranscriptFile, T.Transcript);
        EXPECT_EQ(R.Options.File, T.File);
        EXPECT_TRUE(R.Text.contains(QString::fromUtf8(T.Text))) << R.Text.toStdString();
    }
}
