#pragma once
// Log records, captured for the life of the object instead of going to stderr.

#include <mutex>
#include <string>
#include <vector>

class TLogCapture {
public:
    TLogCapture();
    // Gives the sink back and the level its default.
    ~TLogCapture();
    TLogCapture(const TLogCapture&) = delete;
    TLogCapture& operator=(const TLogCapture&) = delete;

    // Every record so far, in order.
    std::vector<std::string> Take() const;

private:
    mutable std::mutex FLock;
    std::vector<std::string> FLines;
};
