// HTML mini renderer: any text (as UTF-8) tokenises, builds its lines and
// flows on a canvas of fixed character widths, measured and drawn.
#include <cstdint>
#include <string>

#include "ui/kit/html_parser.h"

namespace {

class TFixedCanvas : public THPCanvas {
public:
    void SetFontStyle(TFontStyles) override { }
    void SetFontColor(TColor) override { }
    TSize TextExtent(const QString& T) override { return {static_cast<int>(T.size()) * 7, 12}; }
    int LineHeight() override { return 14; }
    void TextOut(int, int, const QString&) override { }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size)
{
    if (Size < 1)
        return 0;
    const int Width = Data[0];
    THTMLParser P;
    P.SetHTML(QString::fromUtf8(reinterpret_cast<const char*>(Data + 1), static_cast<qsizetype>(Size - 1)));
    TFixedCanvas Canvas;
    TRect R {0, 0, Width, 0};
    P.Draw(Canvas, R, hpdoNoDraw | hpdoCalc);
    TRect R2 {3, 3, 3 + Width, 500};
    P.Draw(Canvas, R2, 0);
    return 0;
}
