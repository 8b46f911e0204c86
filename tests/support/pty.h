#pragma once
// A pseudo-terminal: the test (or a simulated encoder) plays the device on the
// master side, the code under test opens the slave by its path.

#include <cstddef>
#include <string>

class TPty {
public:
    TPty();
    ~TPty() { CloseMaster(); }
    TPty(const TPty&) = delete;
    TPty& operator=(const TPty&) = delete;

    int Master() const { return FMaster; }
    // Empty when the pseudo-terminal could not be made (the test has failed then).
    const std::string& SlavePath() const { return FSlavePath; }

    // Raw mode on the line, so that bytes pass as they are sent.
    void MakeRaw() const;
    // Closing the master is what a pulled-out adapter looks like from the slave.
    void CloseMaster();

    void Write(const std::string& Bytes) const;
    // Reads from the master until Count bytes came or 10 s passed.
    std::string Read(std::size_t Count) const;

private:
    int FMaster = -1;
    std::string FSlavePath;
};

// Writes all of Bytes to Fd, waiting while it cannot take more; false when it
// fails or stays full for StallMs.
bool WriteAll(int Fd, const std::string& Bytes, int StallMs = 10000);

// Opens a terminal by its path (with Flags added to O_RDWR | O_NOCTTY) and
// puts it in raw mode; -1 when it cannot be opened.
int OpenRawTerminal(const std::string& Path, int Flags = 0);

// Number of descriptors this process has open.
int OpenDescriptorCount();
