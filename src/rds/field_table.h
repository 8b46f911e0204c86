#pragma once
// The settings record described once. Every setting that a settings file
// holds and a write can change has one row here, in the settings file's order:
// its file key, its command word, its type, its range or list of values, its
// width, the rules for its 8-bit text and the firmware level that knows it.
// The settings file (load and save), validation, change detection, the reply
// parser's value checks and the console's JSON and verification all read this
// table; no other list of the settings is kept.
//
// Read-only device facts (hardware, firmware, serial number) and the clock's
// date and time are not settings of the table: a settings file holds neither.

#include "rds/alerts.h"
#include "rds/data_validator.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

enum TFieldType : std::uint8_t {
    ftHex,    // a number written in Width upper-case hexadecimal digits ("%.4X"): PI
    ftNumber, // a whole decimal number
    ftText,   // 8-bit text, written unchanged
    ftOffset, // minutes, written "+HH:MM" or "-HH:MM"
};

enum TTextRule : std::uint8_t {
    trNone,         // not a text
    trKeepBlanks,   // every blank counts: the encoder keeps them (PS)
    trTrimTrailing, // trailing blanks carry nothing: the encoder drops them, so texts
                    // are compared and verified without them (TEXT, DPS)
};

struct TField {
    const char* Key;  // settings-file key ("PI", "TEXT", "AF3")
    const char* Word; // command word of the query and the setting ("PI", "TEXT", "AF3")
    TFieldType Type;
    // Numbers: the smallest and largest value (an offset in minutes, within
    // -Max..Max). Texts: Min 0, Max the most characters.
    std::int32_t Min;
    std::int32_t Max;
    // Characters of the written value at most: hexadecimal digits, text
    // characters, 6 for an offset; 0 for a decimal number.
    int Width;
    TTextRule Text;
    // The lowest firmware level that knows the word; 0 for every level. Below
    // it the setting is neither read nor written nor verified.
    int Firmware;
    // Place among the write commands (1 goes first); 0 for the offset, which is
    // written with the clock, after every other setting.
    int WriteStep;
    // For the AF entries: "AF" and 1..7 (grouped as one list in JSON); else nullptr and 0.
    const char* Group;
    int Index;
    // The names the editor gives to the values Min..Max, or nullptr.
    const char* const* Choices;
    // The words a query answers with for the values Min..Max instead of a
    // number (any other word reads as Min), or nullptr.
    const char* const* Words;
    // The finding for a value outside Min..Max when the program has its own
    // text for it ("Invalid PI!"), or nullptr.
    const char* RangeText;
    // The value of a number, hexadecimal or offset field of a record, and its setting.
    std::int32_t (*Get)(const TBRDSDataValidator& R);
    void (*Set)(TBRDSDataValidator& R, std::int32_t Value);
    // The text of a text field.
    std::string TBRDSDataValidator::*TextField;
};

// Every setting in the settings file's order (26 rows).
std::span<const TField> SettingsFields();

// The row with this key (any letter case), or nullptr.
const TField* FindFieldByKey(std::string_view Key);
// The row with this command word, or nullptr.
const TField* FindFieldByWord(std::string_view Word);

// Whether the encoder at firmware level Level knows the setting.
bool FieldKnown(const TField& F, int Level);

// The value of R's field as a settings file and a setting command write it:
// "C201", "RADIO 1 ", "5", "-05:30".
std::string FieldValueText(const TField& F, const TBRDSDataValidator& R);

// The command that sets the field to R's value: "PTY=5", "TEXT=Hello".
std::string FieldCommand(const TField& F, const TBRDSDataValidator& R);

// Whether two records hold the same value (texts of trTrimTrailing fields
// without their trailing blanks).
bool SameFieldValue(const TField& F, const TBRDSDataValidator& A, const TBRDSDataValidator& B);

// A value as a settings file gives it, read strictly: numbers take the whole
// text (blanks and tabs around it removed first) and must lie in the range;
// texts must fit the width and hold no control character. On success the
// value is stored into R; otherwise R is left alone and the reason is
// answered ("must be a whole number from 0 to 31").
std::optional<std::string> TakeFieldValue(const TField& F, const std::string& Value, TBRDSDataValidator& R);

// Why R's value of the field is not allowed, or nothing when it is.
std::optional<std::string> CheckFieldValue(const TField& F, const TBRDSDataValidator& R);

// Why an 8-bit text may not be sent, or nothing: its length against Width
// and every control character (C0, DEL, C1), named with its position.
std::optional<std::string> CheckFieldText(const TField& F, const std::string& Text);

// Appends a finding about the field: type altCancel, Key and Value set, Name
// "KEY=VALUE" (the value cut to 20 characters), Description the reason.
void AddFieldAlert(
    TAlertArray& Alerts, const TField& F, const std::string& Value, const std::string& Reason, int Line = 0);

// The reason given for a character (Unicode code point) that the 8-bit code
// page cannot hold: "holds U+20AC, a character the 8-bit code page cannot hold".
std::string UnencodableReason(std::uint32_t Code);

// An 8-bit text with its control characters shown as \xHH (a person reads it).
std::string VisibleText(const std::string& Text);

// The text without its trailing blanks.
std::string TrimTrailingBlanks(std::string Text);
