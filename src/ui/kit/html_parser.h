#pragma once
// A small HTML subset (<b>, <i>, <u>, <br>, <font color>) turned into
// paragraphs of words of individually styled characters, laid out with word
// wrap and full justification, measured and drawn through a canvas.

#include <QColor>
#include <QFont>
#include <QString>
#include <cstdint>
#include <memory>
#include <vector>

class QPainter;

// Colours are 0x00BBGGRR values.
using TColor = std::uint32_t;
// The value stored for a colour that could not be read.
inline constexpr TColor clInvalidColor = 0x1FFFFFFF;

enum TFontStyle : std::uint8_t { fsBold = 1, fsItalic = 2, fsUnderline = 4, fsStrikeOut = 8 };
using TFontStyles = std::uint8_t; // a set of TFontStyle flags

struct TSize {
    int cx = 0;
    int cy = 0;
    bool operator==(const TSize&) const = default;
};

struct TRect {
    int Left = 0, Top = 0, Right = 0, Bottom = 0;
    bool operator==(const TRect&) const = default;
};

// What the renderer needs of a 2D canvas: a font whose style and colour it
// changes per character, text measurement and text output.
class THPCanvas {
public:
    virtual ~THPCanvas() = default;
    virtual void SetFontStyle(TFontStyles Style) = 0;
    virtual void SetFontColor(TColor Color) = 0;
    virtual TSize TextExtent(const QString& Text) = 0;
    // Character height plus external leading of the current font.
    virtual int LineHeight() = 0;
    virtual void SetBrushClear() { }
    virtual void TextOut(int X, int Y, const QString& Text) = 0;
};

// Canvas over QFontMetrics and, when drawing, a QPainter. The colour
// 0x1FFFFFFF (and any value with a high byte) is drawn in the default text
// colour.
class TQtCanvas : public THPCanvas {
public:
    explicit TQtCanvas(const QFont& Font, QPainter* Painter = nullptr, const QColor& DefaultColor = Qt::black);
    void SetFontStyle(TFontStyles Style) override;
    void SetFontColor(TColor Color) override;
    TSize TextExtent(const QString& Text) override;
    int LineHeight() override;
    void TextOut(int X, int Y, const QString& Text) override;
    const QFont& Font() const { return FFont; }

private:
    QFont FFont;
    QPainter* FPainter;
    QColor FDefaultColor;
    QColor FColor;
};

struct TiTagPar {
    QString Name;
    QString Value;
};

class TiTag {
public:
    explicit TiTag(const QString& Name) : FName(Name) { }
    const QString& Name() const { return FName; }
    const QString& Text() const { return FText; }
    int Count() const { return static_cast<int>(FPars.size()); }
    TiTagPar* AddPar(const QString& Pair);
    TiTagPar* GetTagPar(int Index) const;
    void AppendText(const QString& C) { FText += C; }
    void Clear();

private:
    QString FName;
    std::vector<std::unique_ptr<TiTagPar>> FPars;
    QString FText;
};

class TiHTML {
public:
    TiTag* AddTag(const QString& T);
    void AddChar(const QString& C);
    TiTag* GetTag(int Index) const;
    int Count() const { return static_cast<int>(FTags.size()); }
    void Clear() { FTags.clear(); }

private:
    std::vector<std::unique_ptr<TiTag>> FTags;
};

class TiChar {
public:
    TiChar() { Clear(); }
    const QString& C() const { return FC; }
    void SetC(const QString& C) { FC = C; }
    TFontStyles FontStyle() const { return FFontStyle; }
    void SetFontStyle(TFontStyles S) { FFontStyle = S; }
    TColor Color() const { return FColor; }
    void SetColor(TColor C) { FColor = C; }
    TSize Size() const { return Fsz; }
    void SetSize(TSize S) { Fsz = S; }
    TColor CurColor() const { return FColors.back(); }
    void SetCurColor(TColor C) { FColors.back() = C; }
    void AddColor() { FColors.push_back(0); }
    // The base entry stays.
    void DelColor()
    {
        if (FColors.size() > 1)
            FColors.pop_back();
    }
    int ColorDepth() const { return static_cast<int>(FColors.size()); }
    void Clear();

private:
    QString FC;
    TFontStyles FFontStyle = 0;
    TColor FColor = 0;
    TSize Fsz;
    std::vector<TColor> FColors;
};

class TiWord {
public:
    int Count() const { return static_cast<int>(FChars.size()); }
    QString Text() const;
    TFontStyles LastCharStyle() const;
    TiChar* AddChar();
    TiChar* GetChar(int Index) const;
    TSize GetWordSize(THPCanvas* RefC);
    void Draw(THPCanvas& Canvas, int X, int Y) const;
    void Clear() { FChars.clear(); }
    int X() const { return FX; }
    int Y() const { return FY; }
    void SetPos(int X, int Y)
    {
        FX = X;
        FY = Y;
    }
    TSize Size() const { return FSize; }

private:
    std::vector<std::unique_ptr<TiChar>> FChars;
    int FX = 0;
    int FY = 0;
    TSize FSize;
};

class TiLine {
public:
    int Count() const { return static_cast<int>(FWords.size()); }
    QString Text() const; // words joined by single spaces
    TiWord* AddWord();
    TiWord* GetWord(int Index) const;
    void Clear() { FWords.clear(); }
    TSize FSize;

private:
    std::vector<std::unique_ptr<TiWord>> FWords;
};

enum THPDrawOption : std::uint8_t { hpdoNoDraw = 1, hpdoCalc = 2 };
using THPDrawOptions = std::uint8_t; // a set of THPDrawOption flags

class THTMLParser {
public:
    const QString& HTML() const { return FHTML; }
    void SetHTML(const QString& Value);
    int Count() const { return static_cast<int>(FLines.size()); }
    void Clear() { FLines.clear(); }
    TiLine* AddLine();
    TiLine* GetLine(int Index) const;
    void Draw(THPCanvas& Canvas, TRect& ClipRect, THPDrawOptions Options);

    // Tokenises Text into tags, each with the text that follows it.
    static void Tokenise(const QString& Text, TiHTML& Html);

private:
    void BuildLines(const TiHTML& Html);

    QString FHTML;
    std::vector<std::unique_ptr<TiLine>> FLines;
};
