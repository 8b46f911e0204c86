#include "ui/kit/html_parser.h"

#include <QFontMetrics>
#include <QPainter>
#include <cmath>

// ---- TQtCanvas ------------------------------------------------------------

TQtCanvas::TQtCanvas(const QFont& Font, QPainter* Painter, const QColor& DefaultColor)
    : FFont(Font), FPainter(Painter), FDefaultColor(DefaultColor), FColor(DefaultColor)
{
}

void TQtCanvas::SetFontStyle(TFontStyles Style)
{
    FFont.setBold(Style & fsBold);
    FFont.setItalic(Style & fsItalic);
    FFont.setUnderline(Style & fsUnderline);
    FFont.setStrikeOut(Style & fsStrikeOut);
}

void TQtCanvas::SetFontColor(TColor Color)
{
    if (Color & 0xFF000000u)
        FColor = FDefaultColor;
    else
        FColor = QColor(Color & 0xFF, (Color >> 8) & 0xFF, (Color >> 16) & 0xFF);
}

TSize TQtCanvas::TextExtent(const QString& Text)
{
    QFontMetrics fm(FFont);
    return {fm.horizontalAdvance(Text), fm.height()};
}

int TQtCanvas::LineHeight()
{
    QFontMetrics fm(FFont);
    return fm.height() + std::max(0, fm.leading());
}

void TQtCanvas::TextOut(int X, int Y, const QString& Text)
{
    if (!FPainter)
        return;
    FPainter->setFont(FFont);
    FPainter->setPen(FColor);
    FPainter->drawText(X, Y + QFontMetrics(FFont).ascent(), Text);
}

// ---- tags -----------------------------------------------------------------

TiTagPar* TiTag::AddPar(const QString& Pair)
{
    auto par = std::make_unique<TiTagPar>();
    const int eq = Pair.indexOf('=');
    if (eq < 0) {
        par->Name = Pair;
    } else {
        par->Name = Pair.left(eq).toLower();
        QString v = Pair.mid(eq + 1);
        if (v.startsWith('"'))
            v.remove(0, 1);
        if (v.endsWith('"'))
            v.chop(1);
        par->Value = v;
    }
    FPars.push_back(std::move(par));
    return FPars.back().get();
}

TiTagPar* TiTag::GetTagPar(int Index) const
{
    if (Index < 0 || Index >= Count())
        return nullptr;
    return FPars[Index].get();
}

void TiTag::Clear()
{
    FPars.clear();
    FText.clear();
}

TiTag* TiHTML::AddTag(const QString& T)
{
    const QString t = T.trimmed();
    const int sp = t.indexOf(' ');
    std::unique_ptr<TiTag> tag;
    if (sp < 0) {
        tag = std::make_unique<TiTag>(t.toLower());
    } else {
        tag = std::make_unique<TiTag>(t.left(sp).toLower());
        // Quotes do not protect spaces: every space separates parameters.
        const QStringList pieces = t.mid(sp + 1).trimmed().split(' ');
        for (const QString& p : pieces)
            tag->AddPar(p.trimmed());
    }
    FTags.push_back(std::move(tag));
    return FTags.back().get();
}

void TiHTML::AddChar(const QString& C)
{
    if (!FTags.empty())
        FTags.back()->AppendText(C);
}

TiTag* TiHTML::GetTag(int Index) const
{
    if (Index < 0 || Index >= Count())
        return nullptr;
    return FTags[Index].get();
}

// ---- characters, words, lines ----------------------------------------------

void TiChar::Clear()
{
    FC.clear();
    FFontStyle = 0;
    FColor = 0;
    FColors.assign(1, 0);
}

QString TiWord::Text() const
{
    QString s;
    for (const auto& c : FChars)
        s += c->C();
    return s;
}

TFontStyles TiWord::LastCharStyle() const
{
    return FChars.empty() ? 0 : FChars.back()->FontStyle();
}

TiChar* TiWord::AddChar()
{
    FChars.push_back(std::make_unique<TiChar>());
    return FChars.back().get();
}

TiChar* TiWord::GetChar(int Index) const
{
    if (Index < 0 || Index >= Count())
        return nullptr;
    return FChars[Index].get();
}

TSize TiWord::GetWordSize(THPCanvas* RefC)
{
    TSize size;
    if (RefC) {
        for (const auto& c : FChars) {
            RefC->SetFontStyle(c->FontStyle());
            RefC->SetFontColor(c->Color());
            const TSize cs = RefC->TextExtent(c->C());
            c->SetSize(cs);
            size.cx += cs.cx;
            size.cy = std::max(size.cy, cs.cy);
        }
    }
    FSize = size;
    return size;
}

void TiWord::Draw(THPCanvas& Canvas, int X, int Y) const
{
    for (const auto& c : FChars) {
        Canvas.SetFontStyle(c->FontStyle());
        Canvas.SetFontColor(c->Color());
        Canvas.TextOut(X, Y, c->C());
        X += c->Size().cx;
    }
}

QString TiLine::Text() const
{
    QStringList words;
    for (const auto& w : FWords)
        words << w->Text();
    return words.join(' ');
}

TiWord* TiLine::AddWord()
{
    FWords.push_back(std::make_unique<TiWord>());
    return FWords.back().get();
}

TiWord* TiLine::GetWord(int Index) const
{
    if (Index < 0 || Index >= Count())
        return nullptr;
    return FWords[Index].get();
}

// ---- parser -----------------------------------------------------------------

TiLine* THTMLParser::AddLine()
{
    FLines.push_back(std::make_unique<TiLine>());
    return FLines.back().get();
}

TiLine* THTMLParser::GetLine(int Index) const
{
    if (Index < 0 || Index >= Count())
        return nullptr;
    return FLines[Index].get();
}

void THTMLParser::SetHTML(const QString& Value)
{
    FHTML = Value;
    Clear();
    TiHTML html;
    Tokenise(Value, html);
    BuildLines(html);
}

void THTMLParser::Tokenise(const QString& Text, TiHTML& Html)
{
    Html.AddTag(QString()); // collects the text before the first tag
    QString buf;
    int state = 0;
    int i = 0;
    while (i < Text.size()) {
        const QChar c = Text[i];
        bool consume = true;
        switch (state) {
        case 0:
            if (c == '<') {
                buf.clear();
                state = 1;
            } else {
                Html.AddChar(QString(c));
            }
            break;
        case 1:
            if (c == '>') {
                state = 2;
                consume = false;
            } else if (c == '/') {
                state = 3;
            } else {
                buf += c;
            }
            break;
        case 2:
            Html.AddTag(buf);
            state = 0;
            break;
        case 3:
            if (c == '>') {
                state = 4;
                consume = false;
            } else {
                buf += c;
            }
            break;
        case 4:
            Html.AddTag("/" + buf);
            state = 0;
            break;
        }
        if (consume)
            ++i;
    }
    // A tag still open at the end of the text is dropped.
}

namespace {

// Up to six hex digits after the first character, RRGGBB stored as 0x00BBGGRR.
TColor ParseColor(const QString& Value)
{
    const QString digits = Value.mid(1, 6);
    if (digits.isEmpty())
        return clInvalidColor;
    TColor rgb = 0;
    for (QChar ch : digits) {
        const int d = QStringLiteral("0123456789abcdef").indexOf(ch.toLower());
        if (d < 0)
            return clInvalidColor;
        rgb = rgb * 16 + static_cast<TColor>(d);
    }
    return ((rgb & 0xFF) << 16) | (rgb & 0xFF00) | ((rgb >> 16) & 0xFF);
}

} // namespace

void THTMLParser::BuildLines(const TiHTML& Html)
{
    TiChar state;
    TiLine* line = AddLine();
    TiWord* word = nullptr;
    for (int t = 0; t < Html.Count(); ++t) {
        const TiTag* tag = Html.GetTag(t);
        const QString& name = tag->Name();
        TFontStyles style = state.FontStyle();
        if (name == "b")
            style |= fsBold;
        else if (name == "/b")
            style &= ~fsBold;
        else if (name == "i")
            style |= fsItalic;
        else if (name == "/i")
            style &= ~fsItalic;
        else if (name == "u")
            style |= fsUnderline;
        else if (name == "/u")
            style &= ~fsUnderline;
        else if (name == "br")
            line = AddLine();
        else if (name == "font") {
            for (int p = 0; p < tag->Count(); ++p) {
                const TiTagPar* par = tag->GetTagPar(p);
                if (par->Name != "color")
                    continue;
                state.AddColor();
                state.SetCurColor(ParseColor(par->Value));
            }
        } else if (name == "/font") {
            state.DelColor();
        }
        state.SetFontStyle(style);

        for (QChar ch : tag->Text()) {
            // Every paragraph begins with a word, so a leading space leaves an
            // empty first word and each further space one more.
            if (line->Count() == 0)
                word = line->AddWord();
            if (ch == ' ') {
                word = line->AddWord();
                continue;
            }
            TiChar* c = word->AddChar();
            c->SetC(QString(ch));
            c->SetFontStyle(state.FontStyle());
            c->SetColor(state.CurColor());
        }
    }
}

void THTMLParser::Draw(THPCanvas& Canvas, TRect& ClipRect, THPDrawOptions Options)
{
    const int LH = Canvas.LineHeight();
    const int SW = Canvas.TextExtent(" ").cx;
    const int W = ClipRect.Right - ClipRect.Left;
    Canvas.SetBrushClear();

    // Flow.
    int x = 0, y = 0;
    for (const auto& line : FLines) {
        bool breakNext = false;
        const int n = line->Count();
        for (int j = 0; j < n; ++j) {
            TiWord* word = line->GetWord(j);
            const int w = word->GetWordSize(&Canvas).cx;
            if (breakNext) {
                y += LH;
                x = 0;
                breakNext = false;
            } else if (x + w > W) {
                y += LH;
                x = 0;
            }
            word->SetPos(x, y);
            if (w > 0 && j < n - 1) {
                const int next = line->GetWord(j + 1)->GetWordSize(&Canvas).cx;
                if (x + w + SW + next <= W)
                    x += SW;
                else if (next > 0)
                    breakNext = true;
            }
            x += w;
        }
        y += LH;
        x = 0;
    }
    const int height = y;

    if (!(Options & hpdoNoDraw)) {
        // Justify every row but the last of each paragraph.
        for (const auto& line : FLines) {
            int right = 0, start = 0;
            for (int j = 0; j < line->Count(); ++j) {
                TiWord* word = line->GetWord(j);
                if (j > 0 && word->X() == 0) {
                    const int slack = W - right;
                    const int last = j - 1;
                    TiWord* lw = line->GetWord(last);
                    lw->SetPos(W - lw->Size().cx, lw->Y());
                    for (int i = start + 1; i < last; ++i) {
                        TiWord* mw = line->GetWord(i);
                        const double nx = mw->X() + static_cast<double>(i - start) * slack / (last - start - 1);
                        mw->SetPos(static_cast<int>(std::trunc(nx)), mw->Y());
                    }
                    start = j;
                }
                right = word->X() + word->Size().cx;
            }
            line->FSize.cx = right;
        }
        for (const auto& line : FLines)
            for (int j = 0; j < line->Count(); ++j) {
                const TiWord* word = line->GetWord(j);
                word->Draw(Canvas, word->X(), word->Y());
            }
    }

    if (Options & hpdoCalc)
        ClipRect = {0, 0, W, height};
}
