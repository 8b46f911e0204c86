// Ini reader: any file reads and answers queries, and a value written to it
// reads back the same after the file is saved and read again, and a deleted
// key is gone however often it appeared.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/ini_file.h"

namespace {

std::string TempPath()
{
    static std::string Path;
    if (Path.empty()) {
        // Every write saves the file with an fsync: a memory file system keeps
        // that from costing a disk flush per input.
        const char* Dir = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : std::getenv("TMPDIR");
        Path = std::string(Dir && *Dir ? Dir : "/tmp") + "/kvx-fuzz-ini-" + std::to_string(getpid()) + ".ini";
    }
    return Path;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size)
{
    const std::string Path = TempPath();
    if (FILE* F = std::fopen(Path.c_str(), "wb")) {
        if (Size)
            std::fwrite(Data, 1, Size, F);
        std::fclose(F);
    }
    {
        TIniFile Ini(Path);
        Ini.ReadString("Main", "Port", "");
        Ini.ReadInteger("Main", "Left", -1);
        Ini.ReadBool("Main", "Maximized", false);
        Ini.SectionExists("Main");
        Ini.WriteString("Fuzz", "Key", "value = 1");
        Ini.WriteInteger("Main", "Left", -12345);
        Ini.DeleteKey("Main", "Top");
    }
    {
        TIniFile Again(Path);
        if (Again.ReadString("Fuzz", "Key", "") != "value = 1")
            std::abort();
        if (Again.ReadInteger("Main", "Left", 0) != -12345)
            std::abort();
        if (Again.ValueExists("Main", "Top"))
            std::abort();
    }
    std::remove(Path.c_str());
    return 0;
}
