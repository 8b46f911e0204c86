#include "help_text.h"

#include "command.h"
#include "settings_output.h"

namespace {

const char* const ExitStatus = "Exit status:\n"
                               "  0    done; diff: the encoder holds the file's settings\n"
                               "  1    refused: the encoder answered NO before anything was changed, refused\n"
                               "       INIT, a question was answered no, a file could not be written, the\n"
                               "       encoder's clock is not a date; diff: the encoder differs\n"
                               "  2    connection failure: the port could not be had, or the link went away\n"
                               "  3    no reply within --timeout\n"
                               "  4    validation refused the values or the settings file: nothing was sent\n"
                               "  5    the read-back after a write found a setting that differs\n"
                               "  6    the encoder was partly changed: a write stopped short after some of\n"
                               "       its commands were applied\n"
                               "  64   bad usage, a settings file that cannot be read, or a transcript that\n"
                               "       cannot be made\n"
                               "  130  interrupted (SIGINT, SIGTERM) before the command was done\n";

// "  -p, --port=NAME      the encoder's port..." with the help's further lines indented.
std::string OptionLines(const TOptionSpec* Begin, const TOptionSpec* End)
{
    std::string T;
    for (const TOptionSpec* S = Begin; S != End; ++S) {
        std::string Head = std::string("  ") + (S->Short ? std::string("-") + S->Short + ", " : "    ") + "--" + S->Long
            + (S->Value ? std::string("=") + S->Value : "");
        Head.resize(std::max<std::size_t>(Head.size() + 2, 26), ' ');
        std::string Help = S->Help;
        for (std::size_t At = 0; (At = Help.find('\n', At)) != std::string::npos; At += 27)
            Help.replace(At, 1, "\n" + std::string(26, ' '));
        T += Head + Help + "\n";
    }
    return T;
}

std::string Overview()
{
    std::string T = "Usage: kvxctl [OPTIONS] COMMAND [ARGUMENTS]\n"
                    "Reads and writes an RDS/RBDS encoder over its serial port (or tcp://).\n\nCommands:\n";
    for (const TCommand* C : Commands()) {
        std::string Name = std::string("  ") + C->Name;
        Name.resize(12, ' ');
        T += Name + C->Summary + "\n";
    }
    const auto G = GlobalOptions();
    T += "\nOptions of every command (before or after the command):\n" + OptionLines(G.data(), G.data() + G.size());
    T += std::string("\n") + ExitStatus;
    T += "\nkvxctl help COMMAND describes a command and its options; kvxctl help keys\n"
         "lists the keys of get and set. The manual page (man kvxctl) has the rest.\n";
    return T;
}

} // namespace

std::string HelpText(const TCommand* C)
{
    if (!C)
        return Overview();
    std::string T
        = std::string("Usage: kvxctl [OPTIONS] ") + C->Synopsis + "\n" + C->Summary + ".\n\n" + C->Help + "\n";
    if (!C->Options.empty())
        T += std::string("\nOptions of ") + C->Name + ":\n"
            + OptionLines(C->Options.data(), C->Options.data() + C->Options.size());
    T += "\nThe options of every command: kvxctl help.\n";
    return T;
}

std::string KeysText()
{
    std::string T;
    auto Line = [&T](const std::string& Key, const std::string& Help) {
        std::string K = Key;
        K.resize(std::max<std::size_t>(K.size() + 1, 8), ' ');
        std::string H = Help;
        for (std::size_t At = 0; (At = H.find('\n', At)) != std::string::npos; At += 9)
            H.replace(At, 1, "\n" + std::string(8, ' '));
        T += K + H + "\n";
    };
    for (const TField& F : SettingsFields())
        Line(F.Key, FieldValuesHelp(F));
    for (const TDeviceFact& F : DeviceFacts())
        Line(F.Key, std::string("read-only: ") + F.Help);
    return T;
}

std::string OptionWords(const TCommand* C)
{
    std::string T;
    auto Add = [&T](const TOptionSpec& S) {
        T += std::string("--") + S.Long + (S.Value ? "=" : "") + "\n";
        if (S.Short)
            T += std::string("-") + S.Short + "\n";
    };
    for (const TOptionSpec& S : GlobalOptions())
        Add(S);
    if (C)
        for (const TOptionSpec& S : C->Options)
            Add(S);
    return T;
}
