#include "rds/string_scroller.h"

#include <algorithm>

namespace {

bool IsBlankOrControl(char c)
{
    return static_cast<unsigned char>(c) <= ' ';
}

} // namespace

TStringScroller::TStringScroller()
{
    Reset();
}

void TStringScroller::Reset()
{
    FPos = 0;
    FWindowPos = 0;
    FTokens.clear();
}

void TStringScroller::Parse(std::uint8_t Value)
{
    if (Value == FParse)
        return;
    FParse = Value;
    Reset();
}

void TStringScroller::Str(const std::string& Value)
{
    if (Value == FStr)
        return;
    FStr = Value;
    Reset();
}

std::string TStringScroller::CharFrame()
{
    if (FPos > static_cast<std::int32_t>(FStr.size()) - 1)
        FPos = 0;
    std::string Frame = FStr.substr(std::min<std::size_t>(FPos, FStr.size()), FWindowSize);
    FPos += FParse;
    return Frame;
}

std::string TStringScroller::WordFrame()
{
    // Word groups afresh from the message: pieces between blanks, trimmed.
    FTokens.clear();
    std::size_t Start = 0;
    while (Start <= FStr.size()) {
        std::size_t End = FStr.find(' ', Start);
        if (End == std::string::npos)
            End = FStr.size();
        std::size_t b = Start, e = End;
        while (b < e && IsBlankOrControl(FStr[b]))
            ++b;
        while (e > b && IsBlankOrControl(FStr[e - 1]))
            --e;
        if (e > b)
            FTokens.push_back(FStr.substr(b, e - b));
        Start = End + 1;
    }
    // Short neighbours travel together while they fit the window.
    std::size_t i = 1;
    while (i < FTokens.size()) {
        std::string Joined = FTokens[i - 1] + " " + FTokens[i];
        if (static_cast<std::int32_t>(Joined.size()) > FWindowSize) {
            ++i;
        } else {
            FTokens[i - 1] = std::move(Joined);
            FTokens.erase(FTokens.begin() + static_cast<std::ptrdiff_t>(i));
        }
    }

    std::string Text;
    if (FTokens.empty()) {
        Text = FStr;
    } else {
        if (FPos >= static_cast<std::int32_t>(FTokens.size()))
            FPos = 0;
        Text = FTokens[static_cast<std::size_t>(FPos)];
    }

    const std::int32_t L = static_cast<std::int32_t>(Text.size());
    std::string Frame;
    if (L > FWindowSize) {
        if (FWindowPos >= L - FWindowSize) {
            Frame = Text.substr(static_cast<std::size_t>(L - FWindowSize));
            FWindowPos = 0;
            ++FPos;
        } else {
            Frame = Text.substr(static_cast<std::size_t>(FWindowPos), static_cast<std::size_t>(FWindowSize));
            ++FWindowPos;
        }
    } else {
        Frame = Text;
        FWindowPos = 0;
        ++FPos;
    }
    if (FParse == 0) {
        const std::int32_t Pad = (FWindowSize - static_cast<std::int32_t>(Frame.size())) / 2;
        if (Pad > 0)
            Frame.insert(0, static_cast<std::size_t>(Pad), ' ');
    }
    return Frame;
}

std::string TStringScroller::ScrollStr()
{
    std::string Frame;
    if (FParse >= 1 && FParse <= 8)
        Frame = CharFrame();
    else if (FParse == 0 || FParse == 9)
        Frame = WordFrame();
    FLastScroll = Frame;
    return Frame;
}
