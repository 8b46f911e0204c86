#pragma once
// Where kvxctl's words go. Results go to standard output (or -o FILE), in
// text or as JSON; everything else goes to standard error through the one
// reporter of the run: failures always, information unless -q, the status
// words only with -v. With --format json the reporter gathers its lines and
// ends the run with one JSON object on standard error that names the exit
// code and the failure.

#include "json.h"

#include <cstdint>
#include <string>
#include <vector>

enum TVerbosity : std::uint8_t {
    vbQuiet, // -q: failures only
    vbNormal,
    vbVerbose, // -v: the status words and the traffic too
};

class TReporter {
public:
    void Configure(bool Json, TVerbosity Level);
    bool Json() const { return FJson; }
    TVerbosity Level() const { return FLevel; }

    // A failure: "kvxctl: " and the text, a line each (text already fit for
    // a terminal: UTF-8, control bytes shown).
    void Error(const std::string& Text);
    // A settings file's finding, printed as it stands ("FILE:LINE: KEY=VALUE: reason").
    void Finding(const std::string& Text);
    // Information, not shown with -q.
    void Note(const std::string& Text);
    // Shown only with -v.
    void Detail(const std::string& Text);

    // Ends the run with Code: in JSON mode writes the object
    // {"schema": 1, "exit": Code, "error": first failure, "messages": [...]}
    // to standard error when Code is not 0 or anything was said. Answers Code.
    int Finish(int Code);

private:
    void Say(const std::string& Text, bool Prefixed, bool IsError);

    bool FJson = false;
    TVerbosity FLevel = vbNormal;
    std::string FFirstError;
    std::vector<std::string> FMessages;
};

// The reporter of this run.
TReporter& Reporter();

// Writes Text to standard output as it stands, flushed.
void PrintOut(const std::string& Text);

// Writes a result to Path, replacing the file in one step (a failed write
// leaves the old file as it was), or to standard output when Path is empty
// or "-". Bytes go to a file unchanged; on standard output Shown is written
// instead when it is given. False, after saying why, when the file cannot be
// written.
bool EmitResult(const std::string& Path, const std::string& Bytes, const std::string* Shown = nullptr);
