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

TJson OptionsJson(std::span<const TOptionSpec> Options)
{
    TJson List = TJson::Array();
    for (const TOptionSpec& S : Options) {
        TJson O = TJson::Object();
        O.Set("long", TJson::Utf8(std::string("--") + S.Long));
        O.Set("short", S.Short ? TJson::Utf8(std::string("-") + S.Short) : TJson());
        O.Set("value", S.Value ? TJson::Utf8(S.Value) : TJson());
        O.Set("help", TJson::Utf8(S.Help));
        List.Add(O);
    }
    return List;
}

// Each option as it is typed, "--port=" and "-p=" for one that takes a
// value: those a command takes, or without one every option kvxctl knows.
template <typename Add>
void EachOptionWord(const TCommand* C, Add A)
{
    auto Words = [&A](const TOptionSpec& S) {
        A(std::string("--") + S.Long + (S.Value ? "=" : ""));
        if (S.Short)
            A(std::string("-") + S.Short + (S.Value ? "=" : ""));
    };
    if (!C) {
        for (const TOptionSpec& S : AllOptions())
            Words(S);
        return;
    }
    for (const TOptionSpec& S : GlobalOptions())
        Words(S);
    for (const TOptionSpec& S : C->Options)
        Words(S);
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
    EachOptionWord(C, [&T](const std::string& W) { T += W + "\n"; });
    return T;
}

TJson OptionWordsJson(const TCommand* C)
{
    TJson List = TJson::Array();
    EachOptionWord(C, [&List](const std::string& W) { List.Add(TJson::Utf8(W)); });
    return List;
}

TJson HelpJson(const TCommand* C)
{
    TJson J = TJson::Object();
    if (!C) {
        TJson List = TJson::Array();
        for (const TCommand* Each : Commands()) {
            TJson Item = TJson::Object();
            Item.Set("name", TJson::Utf8(Each->Name));
            Item.Set("synopsis", TJson::Utf8(Each->Synopsis));
            Item.Set("summary", TJson::Utf8(Each->Summary));
            List.Add(Item);
        }
        J.Set("commands", List);
        J.Set("options", OptionsJson(GlobalOptions()));
        return J;
    }
    J.Set("name", TJson::Utf8(C->Name));
    J.Set("synopsis", TJson::Utf8(C->Synopsis));
    J.Set("summary", TJson::Utf8(C->Summary));
    J.Set("help", TJson::Utf8(C->Help));
    J.Set("options", OptionsJson(C->Options));
    return J;
}

TJson KeysJson()
{
    TJson List = TJson::Array();
    auto Add = [&List](const char* Key, const std::string& Values, bool ReadOnly) {
        TJson K = TJson::Object();
        K.Set("key", TJson::Utf8(Key));
        K.Set("values", TJson::Utf8(Values));
        K.Set("read_only", TJson::Bool(ReadOnly));
        List.Add(K);
    };
    for (const TField& F : SettingsFields())
        Add(F.Key, FieldValuesHelp(F), false);
    for (const TDeviceFact& F : DeviceFacts())
        Add(F.Key, F.Help, true);
    return List;
}
