#include "fleet/site_backup.h"

#include "platform/atomic_file.h"
#include "rds/field_table.h"
#include "rds/settings_file.h"

#include <filesystem>
#include <map>

namespace {

// Each key's line of a settings file's bytes.
std::map<std::string, std::string> KeyLines(const std::string& Bytes)
{
    std::map<std::string, std::string> Lines;
    std::size_t Start = Bytes.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    while (Start < Bytes.size()) {
        std::size_t End = Bytes.find('\n', Start);
        if (End == std::string::npos)
            End = Bytes.size();
        std::string L = Bytes.substr(Start, End - Start);
        if (!L.empty() && L.back() == '\r')
            L.pop_back();
        const std::size_t Eq = L.find('=');
        if (Eq != std::string::npos)
            Lines.emplace(L.substr(0, Eq), L);
        Start = End + 1;
    }
    return Lines;
}

} // namespace

TBackupChange WriteSiteBackup(const std::string& Dir, const std::string& Site, const TBRDSDataValidator& Held,
    std::string& File, std::vector<std::string>& ChangedKeys, std::string& Error)
{
    File = (std::filesystem::path(Dir) / (Site + ".kvx")).string();
    ChangedKeys.clear();
    const std::string Bytes = SettingsFileBytes(Held);
    std::string Old, ReadError;
    const bool Existed = ReadSettingsFileBytes(File, Old, ReadError);
    if (Existed && Old == Bytes)
        return bcUnchanged;
    TAtomicFileOptions Options;
    Options.KeepAttributes = true;
    if (!WriteFileAtomic(File, Bytes, Error, Options))
        return bcNone;
    if (!Existed)
        return bcNew;
    const std::map<std::string, std::string> Before = KeyLines(Old);
    const std::map<std::string, std::string> After = KeyLines(Bytes);
    for (const TField& F : SettingsFields()) {
        const auto B = Before.find(F.Key), A = After.find(F.Key);
        const bool InB = B != Before.end(), InA = A != After.end();
        if (InB != InA || (InA && B->second != A->second))
            ChangedKeys.emplace_back(F.Key);
    }
    return bcChanged;
}
