#pragma once
// A record of every line sent to the encoder and every reply received, one
// line each: milliseconds since the transcript began (monotonic clock), the
// direction (">" sent, "<" received) and the bytes with CR, LF and other
// control bytes shown visibly.

#include <cstdint>
#include <cstdio>
#include <functional>
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
    bool IsOpen() const { return FFile != nullptr; }
    void Close();

    // Every line also goes to Sink when set (with its direction, '>' or '<',
    // and its bytes as sent or received), file or no file.
    void SetSink(std::function<void(char Direction, const std::string& Bytes)> Sink) { FSink = std::move(Sink); }

    void Sent(const std::string& Bytes) { Write('>', Bytes); }
    void Received(const std::string& Bytes) { Write('<', Bytes); }

    // CR as \r, LF as \n, a backslash doubled, other bytes below 32 and 127 as \xHH.
    static std::string Visible(const std::string& Bytes);

private:
    void Write(char Direction, const std::string& Bytes);

    std::FILE* FFile = nullptr;
    std::function<void(char, const std::string&)> FSink;
    std::int64_t FStart = 0;
};
