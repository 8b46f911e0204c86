#pragma once
// The settings as kvxctl shows them: in settings-file form, preceded by the
// encoder's read-only facts, and as JSON. Every setting comes from the field
// table; numbers are JSON numbers, a setting the encoder's firmware does not
// know is null, the alternative frequencies are seven slots (code and MHz)
// and DI is given as its four bits too.

#include "dialogue/encoder_dialogue.h"
#include "json.h"
#include "rds/field_table.h"

#include <span>
#include <string>
#include <string_view>

// A read-only fact of the encoder: read prints it before the settings, get
// can name it, set refuses it.
struct TDeviceFact {
    const char* Key;
    const char* Help;
    std::string (*Text)(const TEncoderDialogue& D);
    TJson (*Json)(const TEncoderDialogue& D);
};
std::span<const TDeviceFact> DeviceFacts();
// The fact with this key (any letter case), or nullptr.
const TDeviceFact* FindDeviceFact(std::string_view Key);

// The rows of a group of the field table ("AF": AF1 to AF7) when Key names
// one (any letter case); empty otherwise.
std::vector<const TField*> FieldGroup(std::string_view Key);

// A setting of R as JSON: null when R's firmware does not know it, a slot
// object for an alternative frequency, a number for a number, else the text
// the settings file holds ("C201", "-05:30", the 8-bit text).
TJson FieldJson(const TField& F, const TBRDSDataValidator& R);
// Sets R's setting F in the object J under its key; DI brings DI_bits with it.
void SetFieldJson(TJson& J, const TField& F, const TBRDSDataValidator& R);
// An alternative-frequency slot: {"slot": 2, "code": 105, "MHz": 98.0};
// MHz is null for code 0 (no frequency).
TJson AFSlotJson(const TField& F, const TBRDSDataValidator& R);
// The four decoder-identification bits by name.
TJson DIBitsJson(const TBRDSDataValidator& R);

// What read prints: HW=, FW=, SERIAL=, PILOT=, CLOCK=, ISDST= and then the
// settings file's lines (CR LF line ends).
std::string SettingsText(const TEncoderDialogue& D);
// The same as one JSON object with "schema": 1.
TJson SettingsJson(const TEncoderDialogue& D);

// Prints SettingsText (or, with --format json, SettingsJson with Extra's
// members added) to -o FILE or standard output. False when the file cannot
// be written.
struct TOptions;
bool EmitSettings(const TOptions& Options, const TEncoderDialogue& D, const TJson& Extra = TJson::Object());

// A setting's values for help and the man page: "0 to 31 (0 OFF, 1 ON)".
std::string FieldValuesHelp(const TField& F);

// A UTC date and time in ISO 8601: "2026-03-01T12:00:05Z".
std::string IsoUtc(const TSystemTime& T);
// Whether the fields make a date and time that exists (2000-00-00 does not).
bool IsRealDateTime(const TSystemTime& T);
// Seconds since 1970-01-01 00:00 UTC of a real date and time.
std::int64_t UtcSeconds(const TSystemTime& T);
