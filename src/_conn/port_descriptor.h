#pragma once
// A serial device's file descriptor, owned, and the exclusive open that makes one.

#include <string>

// Owns one file descriptor and closes it when it goes out of scope.
class TFileDescriptor {
public:
    TFileDescriptor() = default;
    explicit TFileDescriptor(int Fd) : FFd(Fd) { }
    ~TFileDescriptor() { Reset(); }
    TFileDescriptor(TFileDescriptor&& Other) noexcept : FFd(Other.Release()) { }
    TFileDescriptor& operator=(TFileDescriptor&& Other) noexcept;
    TFileDescriptor(const TFileDescriptor&) = delete;
    TFileDescriptor& operator=(const TFileDescriptor&) = delete;

    int Get() const { return FFd; }
    bool Valid() const { return FFd >= 0; }
    int Release();
    void Reset(int Fd = -1);

private:
    int FFd = -1;
};

// Opens a serial device for reading and writing, as an existing file, without
// making it the controlling terminal, non-blocking and closed on exec, and takes
// an exclusive advisory lock on it so that a second opener is refused. Answers an
// invalid descriptor when the path cannot be opened or someone else holds it.
TFileDescriptor OpenPortExclusive(const std::string& Path);
