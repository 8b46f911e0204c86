#pragma once
// A small ini file: "[Section]" headers and "Key=Value" lines.
//
// Section and key names are matched without regard to case; values are text,
// trimmed of blanks. Lines the class does not understand (comments, blank
// lines, text before the first section) are kept as they were. Every write is
// saved at once; the file is replaced as a whole (platform/atomic_file.h), so
// a failed save leaves the previous file intact.

#include <cstdint>
#include <string>
#include <vector>

class TIniFile {
public:
    // Reads FileName; a missing file reads as empty. A file that exists but
    // cannot be read also reads as empty, and is never written over: every
    // write then fails, and LoadError says why.
    explicit TIniFile(std::string FileName);

    const std::string& FileName() const { return FFileName; }
    // Why the file could not be read; empty when it could (or was missing).
    const std::string& LoadError() const { return FLoadError; }

    std::string ReadString(const std::string& Section, const std::string& Ident, const std::string& Default) const;
    // The default when the value is missing or not a whole 32-bit number
    // (decimal, or hexadecimal after "$" or "0x").
    std::int32_t ReadInteger(const std::string& Section, const std::string& Ident, std::int32_t Default) const;
    // True for a non-zero number, false for zero, the default otherwise.
    bool ReadBool(const std::string& Section, const std::string& Ident, bool Default) const;

    // Each answers whether the file could be saved; the value is kept in memory either way.
    bool WriteString(const std::string& Section, const std::string& Ident, const std::string& Value);
    bool WriteInteger(const std::string& Section, const std::string& Ident, std::int32_t Value);
    bool WriteBool(const std::string& Section, const std::string& Ident, bool Value);

    bool SectionExists(const std::string& Section) const;
    bool ValueExists(const std::string& Section, const std::string& Ident) const;
    // Remove every copy of the key or section.
    bool DeleteKey(const std::string& Section, const std::string& Ident);
    bool EraseSection(const std::string& Section);

    // Writes the content to the file; false when it cannot be written.
    bool UpdateFile();

private:
    struct Line {
        std::string Text;    // the line as read or written
        std::string Section; // for a header: its name
        std::string Key;     // for a key line: its name (empty otherwise)
        std::string Value;
        bool IsHeader = false;
    };

    // Index of the header line of Section, or -1.
    int FindSection(const std::string& Section) const;
    // Index of the key line within the section starting at header index S, or -1.
    int FindKey(int S, const std::string& Ident) const;
    // One past the last line that belongs to the section of header index S.
    int SectionEnd(int S) const;

    std::string FFileName;
    std::vector<Line> FLines;
    std::string FEol = "\n";
    std::string FLoadError;
};
