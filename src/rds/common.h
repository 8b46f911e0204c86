#pragma once
// Programme-type names, RBDS call letters <-> PI, and small text helpers.

#include <cstdint>
#include <string>
#include <vector>

// Programme-type names indexed by the PTY code 0-31.
extern const char* const PTY_RDS[32];
extern const char* const PTY_RBDS[32];

// One entry of the fixed call-letter table.
struct TCallLettersPI {
    const char* Letters;
    std::uint16_t PI;
};
extern const TCallLettersPI CallLettersTable[74];

// PI of RBDS call letters; 0 when the text is not a call sign the rules know.
std::uint16_t CallLettersToPI(const std::string& Text);

// Call letters of a PI; "----" when it has none.
std::string PIToCallLetters(std::uint16_t PI);

// Empties the list and adds the 32 programme-type names of the RBDS or RDS
// list; numbered entries read "<code> - <name>".
void FillPTYList(std::vector<std::string>& List, bool RBDS, bool Numbered);
