#include "ui/main/custom_font.h"

#include <algorithm>

namespace {

bool SameColour(QRgb a, QRgb b)
{
    return (a & 0x00FFFFFFu) == (b & 0x00FFFFFFu);
}

// Blends Src (straight alpha) over Dst (straight alpha).
QRgb BlendOver(QRgb Src, QRgb Dst)
{
    const int sa = qAlpha(Src);
    if (sa == 255)
        return Src;
    if (sa == 0)
        return Dst;
    const int da = qAlpha(Dst) * (255 - sa) / 255;
    const int oa = sa + da;
    auto mix = [&](int s, int d) { return (s * sa + d * da + oa / 2) / oa; };
    return qRgba(mix(qRed(Src), qRed(Dst)), mix(qGreen(Src), qGreen(Dst)), mix(qBlue(Src), qBlue(Dst)), oa);
}

} // namespace

TCustomGlyph::TCustomGlyph(const QImage& Source, QRgb NoneClr, QRgb FillClr, std::uint8_t c, int x, int y, int w, int h)
    : FChar(c)
{
    Q_UNUSED(NoneClr); // only ink matters inside a cell
    // Without ink the glyph is blank space of the cell's size.
    FX = x;
    FY = y;
    FR = std::max(w, 0);
    FB = std::max(h, 0);
    if (w <= 0 || h <= 0)
        return;

    const QImage src
        = Source.format() == QImage::Format_ARGB32 ? Source : Source.convertToFormat(QImage::Format_ARGB32);
    const QRect cell = QRect(x, y, w, h).intersected(src.rect());
    int left = x + w, top = y + h, right = x - 1, bottom = y - 1;
    for (int py = cell.top(); py <= cell.bottom(); ++py) {
        const auto* line = reinterpret_cast<const QRgb*>(src.constScanLine(py));
        for (int px = cell.left(); px <= cell.right(); ++px) {
            if (!SameColour(line[px], FillClr))
                continue;
            left = std::min(left, px);
            right = std::max(right, px);
            top = std::min(top, py);
            bottom = std::max(bottom, py);
        }
    }
    if (right < left)
        return;

    FX = left;
    FY = top;
    FW = right - left + 1;
    FH = bottom - top + 1;
    FL = left - x;
    FT = top - y;
    FR = x + w - 1 - right;
    FB = y + h - 1 - bottom;
    FGl = QImage(FW, FH, QImage::Format_ARGB32);
    for (int gy = 0; gy < FH; ++gy) {
        const auto* from = reinterpret_cast<const QRgb*>(src.constScanLine(FY + gy)) + FX;
        auto* to = reinterpret_cast<QRgb*>(FGl.scanLine(gy));
        for (int gx = 0; gx < FW; ++gx)
            to[gx] = SameColour(from[gx], FillClr) ? 0xFFFFFFFFu : 0x00000000u;
    }
}

void TCustomGlyph::Draw(int X, int Y, QImage& Dest) const
{
    if (FGl.isNull() || Dest.isNull())
        return;
    if (Dest.format() != QImage::Format_ARGB32)
        Dest.convertTo(QImage::Format_ARGB32);
    const int ox = X + FL, oy = Y + FT;
    const QRect area = QRect(ox, oy, FW, FH).intersected(Dest.rect());
    const QRgb rgb = FColor & 0x00FFFFFFu;
    for (int dy = area.top(); dy <= area.bottom(); ++dy) {
        const auto* from = reinterpret_cast<const QRgb*>(FGl.constScanLine(dy - oy));
        auto* to = reinterpret_cast<QRgb*>(Dest.scanLine(dy));
        for (int dx = area.left(); dx <= area.right(); ++dx) {
            const QRgb src = (from[dx - ox] & 0xFF000000u) | rgb;
            to[dx] = BlendOver(src, to[dx]);
        }
    }
}

TCustomFont::TCustomFont(int SpaceBetweenChars, int WidthOfSpace, const QImage& Src, QRgb NoneClr, QRgb FillClr)
    : FSpaceBetweenChars(SpaceBetweenChars), FWidthOfSpace(WidthOfSpace)
{
    // The copy is made without blending: the sheet's own pixels, made opaque.
    FSrc = Src.convertToFormat(QImage::Format_ARGB32);
    FGlyphs.push_back(std::make_unique<TCustomGlyph>(FSrc, NoneClr, FillClr, 32, 0, 0, WidthOfSpace, 0));

    const int W = FSrc.width(), H = FSrc.height();
    auto open = [&](int x, int y) {
        const QRgb p = FSrc.pixel(x, y);
        return SameColour(p, NoneClr) || SameColour(p, FillClr);
    };
    int row = 0, b = 0, c = 33;
    while (row < H) {
        if (open(0, row)) {
            ++row;
            continue;
        }
        // row is the separator under the band b .. row - 1; a band without
        // rows (the sheet starts with, or holds two runs of, separator rows)
        // has no cells.
        if (row > b) {
            int x = 0, e = 0;
            while (x < W) {
                if (open(x, b)) {
                    ++x;
                    continue;
                }
                if (c > 255)
                    break; // no codes left for further cells
                FGlyphs.push_back(std::make_unique<TCustomGlyph>(
                    FSrc, NoneClr, FillClr, static_cast<std::uint8_t>(c), e, b, x - e, row - b));
                ++c;
                while (x < W && !open(x, b))
                    ++x;
                e = x;
            }
        }
        while (row < H && !open(0, row))
            ++row;
        b = row;
    }
}

TCustomGlyph* TCustomFont::GetGlyph(int index) const
{
    if (index < 0 || index >= Count())
        return nullptr;
    return FGlyphs[static_cast<std::size_t>(index)].get();
}

TCustomGlyph* TCustomFont::FindGlyph(std::uint8_t c) const
{
    TCustomGlyph* space = nullptr;
    for (const auto& g : FGlyphs) {
        if (g->Char() == c)
            return g.get();
        if (!space && g->Char() == 32)
            space = g.get();
    }
    return space;
}

void TCustomFont::DrawString(int X, int Y, QImage& B, const std::string& S, QRgb Color) const
{
    int offset = 0;
    for (const char ch : S) {
        if (TCustomGlyph* g = FindGlyph(static_cast<std::uint8_t>(ch))) {
            g->Color(Color);
            g->Draw(X + offset, Y, B);
            offset += g->Width();
        }
        offset += FSpaceBetweenChars;
    }
}
