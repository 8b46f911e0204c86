#pragma once
// The settings file: key=value lines in a fixed order, CR LF line ends,
// 8-bit text. Holds the settings a user edits; no device identity, no clock.

#include <string>

#include "platform/atomic_file.h"
#include "rds/data_validator.h"

#include <map>
#include <vector>

// The file's text for a record: the 26 keys of the field table in order,
// empty values left out.
std::string SettingsFileText(const TBRDSDataValidator& Record);

// The bytes a settings file holds for a record: SettingsFileText in the 8-bit
// code page without a byte-order mark; only when those bytes would read back
// as different UTF-8 characters (a text such as "\xC3\xA9") is the file
// written as UTF-8 with a byte-order mark, so that it loads back unchanged.
std::string SettingsFileBytes(const TBRDSDataValidator& Record);
// The same for any 8-bit text in a settings file's form.
std::string SettingsFileBytes(const std::string& Text);

// What reading a settings file found beside the values.
struct TSettingsFileInfo {
    // Why the text is not a settings file (no line names a setting); empty
    // when it is one. Nothing was taken from a text that is not.
    std::string NotSettings;
    // Keys no line names: their settings become 0. PS, TEXT and DPS are never
    // missing: a file leaves an empty text out, so they become empty.
    std::vector<std::string> MissingKeys;
    // The line (from 1) of each key the file names, for findings about it.
    std::map<std::string, int> KeyLines;
    // The text was read as UTF-8 (it has a byte-order mark, or is valid UTF-8
    // with at least one character beyond ASCII); otherwise as 8-bit text.
    bool Utf8 = false;
};

// Fills Record from the file's text. A text with a UTF-8 or UTF-16 byte-order
// mark is decoded, and so is one without a mark that is valid UTF-8; any other
// is 8-bit text. Keys match without regard to case and the first line naming
// a key wins; the first "=" splits; other lines are ignored. Every value is
// read strictly by the field table (rds/field_table.h): a value that is
// refused (not a whole number in its range, a text too long or holding a
// control character or a character the 8-bit code page cannot hold) is not
// taken, and a finding with its key, value, reason and line goes to
// Record.SourceFindings (which is emptied first). RTCManual becomes true and
// RTC the current UTC time. FW, HW and Serial are left as they are. Info, when
// given, receives what else was found.
void ParseSettingsFile(const std::string& FileText, TBRDSDataValidator& Record, TSettingsFileInfo* Info = nullptr);

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

// Reads the whole of Path once (a pipe or "-" for standard input works too)
// without waiting on it: a FIFO nobody writes to, a device or a folder is
// refused at once unless AllowStreams is set (then a FIFO or character
// device is read to its end). On failure returns false with the reason in Error.
bool ReadSettingsFileBytes(const std::string& Path, std::string& Bytes, std::string& Error, bool AllowStreams = false);

// Reads Path into Record: FW, HW and Serial come from DeviceCopy when given
// (so firmware-dependent parts behave as for the connected encoder), the rest
// from the file as ParseSettingsFile takes it. Returns false with the reason
// in Error, and Record unchanged, when the file cannot be read or is not a
// settings file; refused values are findings in Record.SourceFindings.
bool LoadSettingsFile(const std::string& Path, TBRDSDataValidator& Record, std::string& Error,
    const TBRDSDataValidator* DeviceCopy = nullptr, TSettingsFileInfo* Info = nullptr);
