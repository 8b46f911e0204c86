#include "output.h"

#include "platform/atomic_file.h"

#include <cstdio>

void TReporter::Configure(bool Json, TVerbosity Level)
{
    FJson = Json;
    FLevel = Level;
}

void TReporter::Say(const std::string& Text, bool Prefixed, bool IsError)
{
    // One line for each line of the text; CR LF line ends as LF.
    std::size_t Pos = 0;
    for (std::size_t End; Pos <= Text.size(); Pos = End + 1) {
        End = Text.find('\n', Pos);
        if (End == std::string::npos)
            End = Text.size();
        std::string Line = Text.substr(Pos, End - Pos);
        if (!Line.empty() && Line.back() == '\r')
            Line.pop_back();
        if (Line.empty() && End == Text.size() && Pos > 0)
            break;
        if (IsError && FFirstError.empty())
            FFirstError = Line;
        if (FJson)
            FMessages.push_back(Line);
        else
            std::fprintf(stderr, "%s%s\n", Prefixed ? "kvxctl: " : "", Line.c_str());
    }
    std::fflush(stderr);
}

void TReporter::Error(const std::string& Text)
{
    Say(Text, true, true);
}

void TReporter::Finding(const std::string& Text)
{
    Say(Text, false, true);
}

void TReporter::Note(const std::string& Text)
{
    if (FLevel != vbQuiet)
        Say(Text, true, false);
}

void TReporter::Detail(const std::string& Text)
{
    if (FLevel == vbVerbose)
        Say(Text, true, false);
}

int TReporter::Finish(int Code)
{
    if (FJson && (Code != 0 || !FMessages.empty())) {
        TJson Messages = TJson::Array();
        for (const std::string& M : FMessages)
            Messages.Add(TJson::Utf8(M));
        TJson J = TJson::Object();
        J.Set("schema", TJson::Int(1));
        J.Set("exit", TJson::Int(Code));
        J.Set("error", FFirstError.empty() ? TJson() : TJson::Utf8(FFirstError));
        J.Set("messages", Messages);
        const std::string Text = J.Dump();
        std::fwrite(Text.data(), 1, Text.size(), stderr);
        std::fflush(stderr);
    }
    FMessages.clear();
    FFirstError.clear();
    return Code;
}

TReporter& Reporter()
{
    static TReporter R;
    return R;
}

void PrintOut(const std::string& Text)
{
    std::fwrite(Text.data(), 1, Text.size(), stdout);
    std::fflush(stdout);
}

bool EmitResult(const std::string& Path, const std::string& Bytes, const std::string* Shown)
{
    if (Path.empty() || Path == "-") {
        PrintOut(Shown ? *Shown : Bytes);
        return true;
    }
    TAtomicFileOptions Options;
    Options.FollowLinks = true;
    Options.KeepAttributes = true;
    std::string Error;
    if (!WriteFileAtomic(Path, Bytes, Error, Options)) {
        Reporter().Error("cannot write " + Path + ": " + Error);
        return false;
    }
    return true;
}
