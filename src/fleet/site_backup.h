#pragma once
// A site's backup: its settings in DIR/SITE.kvx, in the settings file's form
// (one key a line, always in the same order, no time stamp), so that a
// version-control repository in DIR shows exactly the keys that changed.
// The file is rewritten, in one step, only when the settings changed.

#include "fleet/site_result.h"
#include "rds/data_validator.h"

#include <string>
#include <vector>

// Keeps Held as Dir/Site.kvx. Answers what happened (bcNone on failure, with
// the reason in Error); File receives the path, ChangedKeys (for a file
// that changed) the keys whose line is new, gone or different.
TBackupChange WriteSiteBackup(const std::string& Dir, const std::string& Site, const TBRDSDataValidator& Held,
    std::string& File, std::vector<std::string>& ChangedKeys, std::string& Error);
