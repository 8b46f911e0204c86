#pragma once
// The copy of the encoder's settings saved before a factory reset, so that a
// mistaken reset can be undone by opening the file and saving it back.

#include "platform/time_zone.h"
#include "rds/data_validator.h"

#include <string>

// "$XDG_DATA_HOME/kvxc/backups" (an unset or relative XDG_DATA_HOME counts as
// "~/.local/share").
std::string DefaultBackupFolder();

// "<serial>-<UTC time>.kvx", e.g. "KV-0042-20261210T080156Z.kvx"; characters
// other than letters, digits, "-" and "_" in the serial number become "_", an
// empty serial number reads "encoder".
std::string BackupFileName(const std::string& Serial, const TSystemTime& UTC);

// Saves Record as a settings file. With File empty, a new file named by
// BackupFileName (now) is made in DefaultBackupFolder(), which is created when
// missing; an existing backup is never replaced (a suffix "-2", "-3"... keeps
// the name free). On success returns true with the file's path in Path; on
// failure false with the reason in Error.
bool SaveSettingsBackup(
    const TBRDSDataValidator& Record, const std::string& File, std::string& Path, std::string& Error);
