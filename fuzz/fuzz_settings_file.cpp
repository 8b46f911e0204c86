// Settings file loader: any file text loads into a record, and the record's
// own file text loads back into the same file text.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "rds/settings_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size)
{
    const std::string Text(reinterpret_cast<const char*>(Data), Size);
    TBRDSDataValidator First;
    ParseSettingsFile(Text, First);
    const std::string Saved = SettingsFileText(First);
    TBRDSDataValidator Second;
    ParseSettingsFile(Saved, Second);
    // Every field is written as it was read, but for an offset beyond two digits
    // of hours, which the file's form cannot hold.
    First.Offset = Second.Offset = 0;
    if (SettingsFileText(First) != SettingsFileText(Second))
        std::abort();
    return 0;
}
