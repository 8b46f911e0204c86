#pragma once
// A record of every line sent to the encoder and every reply received, one
// line each: milliseconds since the transcript began (monotonic clock), the
// direction (">" sent, "<" received) and the bytes with CR, LF and other
// control bytes shown visibly.

#include <cstdint>
#include <cstdio>
#include <string>

class TTranscript {
public:
    TTranscript() = default;
    ~TTranscript();
    TTranscript(const TTranscript&) = delete;
    TTranscript& operator=(const TTranscript&) = delete;

    // Opens (replaces) Path; false with the reason in Error when it cannot.
    // A symbolic link at Path is refused, never followed.
    bool Open(const std::string& Path, std::string& Error);
    bool IsOpen() const { return FFile != nullptr || FMirror != nullptr; }
    void Close();
    // Every line also goes to Stream (not owned; nullptr for none), as it
    // goes to the file: a console shows the traffic on its error output.
    void MirrorTo(std::FILE* Stream);

    void Sent(const std::string& Bytes) { Write('>', Bytes); }
    void Received(const std::string& Bytes) { Write('<', Bytes); }

    // CR as \r, LF as \n, a backslash doubled, other bytes below 32 and 127 as \xHH.
    static std::string Visible(const std::string& Bytes);

private:
    void Write(char Direction, const std::string& Bytes);

    std::FILE* FFile = nullptr;
    std::FILE* FMirror = nullptr;
    // Milliseconds of the monotonic clock when the file was opened or the
    // mirror set, whichever came first; -1 before.
    std::int64_t FStart = -1;
};
