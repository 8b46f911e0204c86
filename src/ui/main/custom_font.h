#pragma once
// A dot-matrix bitmap font cut from a glyph sheet: bands of cells separated by
// lines of a third colour, each cell holding one character drawn in FillClr on
// NoneClr. The first glyph is always a blank space; bytes without a glyph of
// their own draw as that space.
#include <QImage>
#include <QRgb>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class TCustomGlyph {
public:
    // Cuts the cell (x, y, w, h) of Source as the glyph for code c. Colours are
    // compared by red, green and blue only; the part of the cell outside Source
    // counts as blank.
    TCustomGlyph(const QImage& Source, QRgb NoneClr, QRgb FillClr, std::uint8_t c, int x, int y, int w, int h);

    // Draws the glyph with its cell's top-left corner at (X, Y), clipped to Dest:
    // every ink pixel becomes Color, opaque, every other pixel leaves Dest as it
    // was. Dest is converted to ARGB32 first when it has another format.
    void Draw(int X, int Y, QImage& Dest) const;

    std::uint8_t Char() const { return FChar; }
    QRgb Color() const { return FColor; }
    void Color(QRgb Value) { FColor = Value; }
    // The cell's size: the glyph's advance and height.
    int Width() const { return FW + FL + FR; }
    int Height() const { return FH + FT + FB; }

    // The ink box in the sheet and its margins inside the cell.
    int X() const { return FX; }
    int Y() const { return FY; }
    int InkWidth() const { return FW; }
    int InkHeight() const { return FH; }
    int MarginTop() const { return FT; }
    int MarginBottom() const { return FB; }
    int MarginLeft() const { return FL; }
    int MarginRight() const { return FR; }
    // FW x FH: $FFFFFFFF where the sheet has ink, $00000000 elsewhere.
    const QImage& Bitmap() const { return FGl; }

private:
    std::uint8_t FChar = 0;
    int FX = 0, FY = 0;
    int FW = 0, FH = 0;
    int FT = 0, FB = 0, FL = 0, FR = 0;
    QRgb FColor = 0xFFFFFFFFu;
    QImage FGl;
};

class TCustomFont {
public:
    // Copies Src and cuts it into glyphs, after the space glyph of WidthOfSpace.
    TCustomFont(int SpaceBetweenChars, int WidthOfSpace, const QImage& Src, QRgb NoneClr, QRgb FillClr);
    TCustomFont(const TCustomFont&) = delete;
    TCustomFont& operator=(const TCustomFont&) = delete;

    int Count() const { return static_cast<int>(FGlyphs.size()); }
    // nullptr when index is outside 0 .. Count - 1.
    TCustomGlyph* GetGlyph(int index) const;
    // The first glyph of code c, else the first space glyph, else nullptr.
    TCustomGlyph* FindGlyph(std::uint8_t c) const;
    // Draws S with the top-left of its first cell at (X, Y), every character in Color.
    void DrawString(int X, int Y, QImage& B, const std::string& S, QRgb Color) const;

    int SpaceBetweenChars() const { return FSpaceBetweenChars; }
    int WidthOfSpace() const { return FWidthOfSpace; }
    const QImage& Src() const { return FSrc; }

private:
    std::vector<std::unique_ptr<TCustomGlyph>> FGlyphs;
    QImage FSrc;
    int FSpaceBetweenChars = 0;
    int FWidthOfSpace = 0;
};
