// HTML mini renderer: tokeniser and builder rules, flow and justification on
// a canvas of fixed character widths.
#include <gtest/gtest.h>

#include <QStringList>
#include <vector>

#include "ui/kit/html_parser.h"

namespace {

// Every character 10 px wide (a space 3 px), 12 px high, lines 14 px apart.
class TFixedCanvas : public THPCanvas {
public:
    struct TOut {
        int X, Y;
        QString Text;
        TFontStyles Style;
        TColor Color;
    };
    void SetFontStyle(TFontStyles S) override { Style = S; }
    void SetFontColor(TColor C) override { Color = C; }
    TSize TextExtent(const QString& T) override
    {
        int w = 0;
        for (QChar c : T)
            w += c == ' ' ? 3 : 10;
        return {w, 12};
    }
    int LineHeight() override { return 14; }
    void TextOut(int X, int Y, const QString& T) override { Outs.push_back({X, Y, T, Style, Color}); }
    TFontStyles Style = 0;
    TColor Color = 0;
    std::vector<TOut> Outs;
};

// Lines joined by "|", words by "_".
QString Words(const THTMLParser& P)
{
    QStringList lines;
    for (int l = 0; l < P.Count(); ++l) {
        QStringList words;
        for (int w = 0; w < P.GetLine(l)->Count(); ++w)
            words << P.GetLine(l)->GetWord(w)->Text();
        lines << words.join('_');
    }
    return lines.join('|');
}

// One style digit per character, in text order.
QString Styles(const THTMLParser& P)
{
    QString s;
    for (int l = 0; l < P.Count(); ++l)
        for (int w = 0; w < P.GetLine(l)->Count(); ++w)
            for (int c = 0; c < P.GetLine(l)->GetWord(w)->Count(); ++c)
                s += QString::number(P.GetLine(l)->GetWord(w)->GetChar(c)->FontStyle());
    return s;
}

// One letter per character: k black, R red, G green, B blue, X invalid.
QString Colors(const THTMLParser& P)
{
    QString s;
    for (int l = 0; l < P.Count(); ++l)
        for (int w = 0; w < P.GetLine(l)->Count(); ++w)
            for (int c = 0; c < P.GetLine(l)->GetWord(w)->Count(); ++c) {
                switch (P.GetLine(l)->GetWord(w)->GetChar(c)->Color()) {
                case 0:
                    s += 'k';
                    break;
                case 0x0000FF:
                    s += 'R';
                    break;
                case 0x00FF00:
                    s += 'G';
                    break;
                case 0xFF0000:
                    s += 'B';
                    break;
                case clInvalidColor:
                    s += 'X';
                    break;
                default:
                    s += '?';
                    break;
                }
            }
    return s;
}

struct TBuildCase {
    const char* Html;
    const char* Words;
    const char* Styles;
    const char* Colors;
};

} // namespace

TEST(HTMLParser, TokeniserAndBuilderRules)
{
    const TBuildCase cases[] = {
        {"", "", "", ""},
        {"ab cd", "ab_cd", "0000", "kkkk"},
        {"a  b", "a__b", "00", "kk"},                        // two spaces: an empty word
        {" a", "_a", "0", "k"},                              // leading space: empty first word
        {"<b>P</b>rogram", "Program", "1000000", "kkkkkkk"}, // words run across tags
        {"<b><b>x</b>y", "xy", "10", "kk"},                  // styles are flags, not counters
        {"x<i>y<u>z</i>w", "xyzw", "0264", "kkkk"},
        {"a<br>b", "a|b", "00", "kk"},
        {"a<BR>b", "a|b", "00", "kk"}, // names are lower-cased
        {"a<br/>b", "ab", "00", "kk"}, // a slash makes a closing tag
        {"a<br />b", "ab", "00", "kk"},
        {"a<br>", "a|", "0", "k"},
        {"<font color=\"#0000FF\">x</font>y", "xy", "00", "Bk"},
        {"<font color=\"#FF0000\">a<font color=\"#00FF00\">b</font>c</font>d", "abcd", "0000", "RGRk"},
        {"<font color=\"#zz0000\">a</font>", "a", "0", "X"},
        {"<font color='#00FF00'>a", "a", "0", "X"}, // single quotes stay in the value
        {"<font color=\"\">a", "a", "0", "X"},
        {"<FONT COLOR=#0000FF>a", "a", "0", "B"},     // any first character is skipped
        {"<font size=3>a</font>b", "ab", "00", "kk"}, // no colour pushed, none popped
        {"</font></font>a", "a", "0", "k"},           // the base colour stays
        {"a&amp;b>c", "a&amp;b>c", "000000000", "kkkkkkkkk"},
        {"a<b", "a", "0", "k"},         // an open tag at the end is dropped
        {"a\tb", "a\tb", "000", "kkk"}, // a tab is an ordinary character
        {"<unknown x=1>a", "a", "0", "k"},
    };
    for (const TBuildCase& c : cases) {
        SCOPED_TRACE(c.Html);
        THTMLParser p;
        p.SetHTML(QString::fromUtf8(c.Html));
        EXPECT_EQ(Words(p), QString::fromUtf8(c.Words));
        EXPECT_EQ(Styles(p), QString::fromUtf8(c.Styles));
        EXPECT_EQ(Colors(p), QString::fromUtf8(c.Colors));
    }
}

TEST(HTMLParser, TagParameters)
{
    TiHTML h;
    THTMLParser::Tokenise(" <Font Color=\"#00ff00\" SIZE=3 bare  A HREF=\"a b\">t", h);
    ASSERT_EQ(h.Count(), 2);
    EXPECT_EQ(h.GetTag(0)->Text(), " ");
    const TiTag* t = h.GetTag(1);
    EXPECT_EQ(t->Name(), "font");
    EXPECT_EQ(t->Text(), "t");
    const std::vector<std::pair<QString, QString>> want = {{"color", "#00ff00"}, {"size", "3"}, {"bare", ""}, {"", ""},
        {"A", ""}, {"href", "a"}, {"b\"", ""}}; // quotes do not protect spaces
    ASSERT_EQ(t->Count(), static_cast<int>(want.size()));
    for (int i = 0; i < t->Count(); ++i) {
        EXPECT_EQ(t->GetTagPar(i)->Name, want[i].first) << i;
        EXPECT_EQ(t->GetTagPar(i)->Value, want[i].second) << i;
    }
    EXPECT_EQ(t->GetTagPar(-1), nullptr);
    EXPECT_EQ(t->GetTagPar(t->Count()), nullptr);
    EXPECT_EQ(h.GetTag(2), nullptr);
}

namespace {

struct TFlowCase {
    const char* Html;
    int W;
    std::vector<std::pair<int, int>> Flowed;    // word positions after layout only
    std::vector<std::pair<int, int>> Justified; // after a full draw
    int Height;
};

std::vector<std::pair<int, int>> Positions(const THTMLParser& P)
{
    std::vector<std::pair<int, int>> v;
    for (int l = 0; l < P.Count(); ++l)
        for (int w = 0; w < P.GetLine(l)->Count(); ++w)
            v.emplace_back(P.GetLine(l)->GetWord(w)->X(), P.GetLine(l)->GetWord(w)->Y());
    return v;
}

} // namespace

TEST(HTMLParser, FlowAndJustification)
{
    const TFlowCase cases[] = {
        // Words 40, 30, 50, 20 in 100 px: two rows, the first justified.
        {"aaaa bbb ccccc dd", 100, {{0, 0}, {43, 0}, {0, 14}, {53, 14}}, {{0, 0}, {70, 0}, {0, 14}, {53, 14}}, 28},
        // x + w equal to the width keeps the word on the row.
        {"aaaa bbb", 73, {{0, 0}, {43, 0}}, {{0, 0}, {43, 0}}, 14},
        // One pixel less: the next word starts a new row, no space added.
        {"aaaa bbb", 72, {{0, 0}, {0, 14}}, {{32, 0}, {0, 14}}, 28},
        // Two spaces lay out like one; a leading space takes no room.
        {"aaaa  bbb", 100, {{0, 0}, {43, 0}, {43, 0}}, {{0, 0}, {43, 0}, {43, 0}}, 14},
        {" aaaa", 100, {{0, 0}, {0, 0}}, {{100, 0}, {0, 0}}, 14},
        // A word wider than the width opens with an empty row.
        {"aaaaaaaaaaaa", 100, {{0, 14}}, {{0, 14}}, 28},
        // Three words on a row: the slack goes to every gap but the last.
        {"aa bb cc dd", 70, {{0, 0}, {23, 0}, {46, 0}, {0, 14}}, {{0, 0}, {27, 0}, {50, 0}, {0, 14}}, 28},
        // Each paragraph ends its own row; the empty string is one empty row.
        {"", 100, {}, {}, 14},
        {"aa<br>", 100, {{0, 0}}, {{0, 0}}, 28},
        {"aa<br><br>bb", 100, {{0, 0}, {0, 28}}, {{0, 0}, {0, 28}}, 42},
    };
    for (const TFlowCase& c : cases) {
        SCOPED_TRACE(c.Html);
        THTMLParser p;
        p.SetHTML(QString::fromUtf8(c.Html));
        TFixedCanvas canvas;
        TRect r {0, 0, c.W, 0};
        p.Draw(canvas, r, hpdoNoDraw | hpdoCalc);
        EXPECT_EQ(r, (TRect {0, 0, c.W, c.Height}));
        EXPECT_EQ(Positions(p), c.Flowed);
        EXPECT_TRUE(canvas.Outs.empty());

        TRect r2 {5, 5, 5 + c.W, 99};
        p.Draw(canvas, r2, 0);
        EXPECT_EQ(r2, (TRect {5, 5, 5 + c.W, 99})); // unchanged without hpdoCalc
        EXPECT_EQ(Positions(p), c.Justified);
    }
}

TEST(HTMLParser, DrawsCharacterByCharacterInTheirStyle)
{
    THTMLParser p;
    p.SetHTML("<b>P</b>i <font color=\"#0000FF\"><u>x</u></font>");
    TFixedCanvas canvas;
    TRect r {0, 0, 100, 0};
    p.Draw(canvas, r, hpdoCalc);
    ASSERT_EQ(canvas.Outs.size(), 3u);
    // The row is the paragraph's last, so it is not justified.
    EXPECT_EQ(canvas.Outs[0].Text, "P");
    EXPECT_EQ(canvas.Outs[0].Style, fsBold);
    EXPECT_EQ(canvas.Outs[0].X, 0);
    EXPECT_EQ(canvas.Outs[1].Text, "i");
    EXPECT_EQ(canvas.Outs[1].Style, 0);
    EXPECT_EQ(canvas.Outs[1].X, 10);
    EXPECT_EQ(canvas.Outs[2].Text, "x");
    EXPECT_EQ(canvas.Outs[2].X, 23);
    EXPECT_EQ(canvas.Outs[2].Style, fsUnderline);
    EXPECT_EQ(canvas.Outs[2].Color, 0xFF0000u);
    EXPECT_EQ(r, (TRect {0, 0, 100, 14}));

    // Writing the text again replaces every line.
    p.SetHTML("a<br>b");
    EXPECT_EQ(p.Count(), 2);
    EXPECT_EQ(p.GetLine(2), nullptr);
}
