// Settings file loader: any file text loads into a record without taking a
// value the field table refuses, and the record's own file text loads back
// into the same file text.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "rds/field_table.h"
#include "rds/settings_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size)
{
    const std::string Text(reinterpret_cast<const char*>(Data), Size);
    TBRDSDataValidator First;
    TSettingsFileInfo Info;
    ParseSettingsFile(Text, First, &Info);
    // A value the file names either passes the table or is a finding.
    for (const TField& F : SettingsFields()) {
        if (!Info.KeyLines.count(F.Key))
            continue;
        bool Found = false;
        for (const TAlert& A : First.SourceFindings)
            Found = Found || A.Key == F.Key;
        if (!Found && CheckFieldValue(F, First))
            std::abort();
    }
    const std::string Saved = SettingsFileBytes(First);
    TBRDSDataValidator Second;
    ParseSettingsFile(Saved, Second);
    if (SettingsFileText(First) != SettingsFileText(Second))
        std::abort();
    return 0;
}
