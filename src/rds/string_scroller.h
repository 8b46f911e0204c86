#pragma once
// Cuts a dynamic PS message into 8-character frames the way the encoder does.
// Parse 0 = words centred, 1-8 = scroll by that many characters, 9 = words
// left-justified; any other mode gives empty frames.

#include <cstdint>
#include <string>
#include <vector>

class TStringScroller {
public:
    TStringScroller();

    std::uint8_t Parse() const { return FParse; }
    void Parse(std::uint8_t Value); // a different value restarts
    const std::string& Str() const { return FStr; }
    void Str(const std::string& Value); // a different text restarts

    // The next frame; remembered as LastScrollStr.
    std::string ScrollStr();
    const std::string& LastScrollStr() const { return FLastScroll; }

    void Reset();

private:
    std::string WordFrame();
    std::string CharFrame();

    std::uint8_t FParse = 0;
    std::string FStr;
    std::int32_t FPos = 0;
    std::int32_t FWindowPos = 0;
    std::int32_t FWindowSize = 8;
    std::vector<std::string> FTokens;
    std::string FLastScroll;
};
