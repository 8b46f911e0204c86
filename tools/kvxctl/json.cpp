#include "json.h"

#include "platform/utf.h"

#include <cmath>
#include <cstdio>

namespace {

std::string Utf8FromLatin1(const std::string& Text)
{
    std::string Out;
    for (const unsigned char C : Text)
        AppendUtf8(Out, C);
    return Out;
}

// The indent of a level: two blanks each.
std::string Blanks(int Level)
{
    return std::string(static_cast<std::size_t>(Level) * 2, ' ');
}

} // namespace

std::string JsonQuoted(const std::string& Utf8)
{
    std::string Out = "\"";
    for (std::size_t i = 0; i < Utf8.size();) {
        TUtfChar C = DecodeUtf8(Utf8, i);
        if (!C.Valid) {
            // A stray byte: the character of the 8-bit code page, so that the
            // output stays valid UTF-8.
            C.Code = static_cast<unsigned char>(Utf8[i]);
            C.Length = 1;
        }
        i += C.Length;
        switch (C.Code) {
        case '"':
            Out += "\\\"";
            continue;
        case '\\':
            Out += "\\\\";
            continue;
        case '\n':
            Out += "\\n";
            continue;
        case '\r':
            Out += "\\r";
            continue;
        case '\t':
            Out += "\\t";
            continue;
        default:
            break;
        }
        if (C.Code < 0x20 || (C.Code >= 0x7F && C.Code <= 0x9F)) {
            char Buf[8];
            std::snprintf(Buf, sizeof Buf, "\\u%.4x", static_cast<unsigned>(C.Code));
            Out += Buf;
        } else
            AppendUtf8(Out, C.Code);
    }
    return Out + "\"";
}

TJson TJson::Bool(bool Value)
{
    TJson J;
    J.FKind = jkScalar;
    J.FScalar = Value ? "true" : "false";
    return J;
}

TJson TJson::Int(std::int64_t Value)
{
    TJson J;
    J.FKind = jkScalar;
    J.FScalar = std::to_string(Value);
    return J;
}

TJson TJson::Fixed(double Value, int Decimals)
{
    if (!std::isfinite(Value))
        return TJson();
    char Buf[64];
    std::snprintf(Buf, sizeof Buf, "%.*f", Decimals, Value);
    TJson J;
    J.FKind = jkScalar;
    J.FScalar = Buf;
    return J;
}

TJson TJson::Latin1(const std::string& Text)
{
    return Utf8(Utf8FromLatin1(Text));
}

TJson TJson::Utf8(const std::string& Text)
{
    TJson J;
    J.FKind = jkScalar;
    J.FScalar = JsonQuoted(Text);
    return J;
}

TJson TJson::Array()
{
    TJson J;
    J.FKind = jkArray;
    return J;
}

TJson TJson::Object()
{
    TJson J;
    J.FKind = jkObject;
    return J;
}

TJson& TJson::Add(TJson Value)
{
    FItems.push_back(std::move(Value));
    return *this;
}

TJson& TJson::Set(const std::string& Key, TJson Value)
{
    for (auto& [K, V] : FMembers)
        if (K == Key) {
            V = std::move(Value);
            return *this;
        }
    FMembers.emplace_back(Key, std::move(Value));
    return *this;
}

TJson& TJson::Merge(const TJson& Other)
{
    for (const auto& [K, V] : Other.FMembers)
        Set(K, V);
    return *this;
}

bool TJson::Flat() const
{
    for (const TJson& I : FItems)
        if (I.FKind == jkArray || I.FKind == jkObject)
            return false;
    for (const auto& M : FMembers)
        if (M.second.FKind == jkArray || M.second.FKind == jkObject)
            return false;
    return true;
}

std::string TJson::Dump(bool Compact) const
{
    std::string Out;
    DumpTo(Out, Compact, 0);
    return Out + "\n";
}

void TJson::DumpTo(std::string& Out, bool Compact, int Level) const
{
    switch (FKind) {
    case jkNull:
        Out += "null";
        return;
    case jkScalar:
        Out += FScalar;
        return;
    case jkArray:
    case jkObject:
        break;
    }
    const bool IsObject = FKind == jkObject;
    const std::size_t Count = IsObject ? FMembers.size() : FItems.size();
    // A short array or object of plain values stays on one line.
    if (!Compact && Level > 0 && Flat()) {
        std::string Line;
        DumpTo(Line, true, Level);
        if (Line.size() <= 60) {
            Out += Line;
            return;
        }
    }
    Out += IsObject ? '{' : '[';
    const std::string Indent = Compact ? std::string() : "\n" + Blanks(Level + 1);
    for (std::size_t i = 0; i < Count; ++i) {
        Out += i ? (Compact ? ", " : ",") : "";
        Out += Indent;
        if (IsObject) {
            Out += JsonQuoted(FMembers[i].first) + ": ";
            FMembers[i].second.DumpTo(Out, Compact, Level + 1);
        } else
            FItems[i].DumpTo(Out, Compact, Level + 1);
    }
    if (Count && !Compact)
        Out += "\n" + Blanks(Level);
    Out += IsObject ? '}' : ']';
}
