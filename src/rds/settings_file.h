#pragma once
// The settings file: key=value lines in a fixed order, CR LF line ends,
// 8-bit text. Holds the settings a user edits; no device identity, no clock.

#include <string>

#include "platform/atomic_file.h"
#include "rds/data_validator.h"

// The file's text for a record: the 26 keys in order, empty values left out.
std::string SettingsFileText(const TBRDSDataValidator& Record);

// Fills Record from the file's text. A text with a UTF-8 or UTF-16 byte-order
// mark is decoded (characters outside 8-bit text become "?"), any other is
// taken as 8-bit text. Keys match without regard to case, the first "="
// splits, values that are not numbers give 0. RTCManual becomes true and RTC
// the current UTC time. FW, HW and Serial are left as they are.
void ParseSettingsFile(const std::string& FileText, TBRDSDataValidator& Record);

// Writes Record to Path, replacing the file in one step: the text goes to a
// temporary file in the same folder, is flushed to disk and renamed over the
// file, so a failure leaves the old file as it was. A symbolic link stays: the
// file it points to is replaced. The new file keeps the old one's mode, owner
// and group. In a folder where no new file can be made (or when the owner
// cannot be kept), a writable file is rewritten in place after a backup copy
// to the temporary folder, and put back when the write fails. On failure
// returns false with the reason in Error. Write, when given, replaces write(2)
// for the new text (for tests).
bool SaveSettingsFile(
    const TBRDSDataValidator& Record, const std::string& Path, std::string& Error, TFileWrite Write = nullptr);

// Reads Path into Record: FW, HW and Serial come from DeviceCopy when given
// (so firmware-dependent parts behave as for the connected encoder), the rest
// from the file. On failure returns false with the reason in Error and leaves
// Record unchanged.
bool LoadSettingsFile(const std::string& Path, TBRDSDataValidator& Record, std::string& Error,
    const TBRDSDataValidator* DeviceCopy = nullptr);
