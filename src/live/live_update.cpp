#include "live/live_update.h"

#include <algorithm>

namespace {

char Lower(char C)
{
    return C >= 'A' && C <= 'Z' ? static_cast<char>(C - 'A' + 'a') : C;
}

std::string LowerCase(std::string_view S)
{
    std::string Out(S);
    std::transform(Out.begin(), Out.end(), Out.begin(), Lower);
    return Out;
}

constexpr const char* FieldNames[] = {"text", "dps", "artist", "title"};

bool KnownField(std::string_view Name)
{
    return std::find(std::begin(FieldNames), std::end(FieldNames), Name) != std::end(FieldNames);
}

const std::string& FieldValue(const TLiveFields& F, std::string_view Name)
{
    if (Name == "text")
        return F.Text;
    if (Name == "dps")
        return F.Dps;
    if (Name == "artist")
        return F.Artist;
    return F.Title;
}

} // namespace

bool SetLiveField(TLiveFields& Fields, std::string_view Key, std::string Value)
{
    const std::string K = LowerCase(Key);
    if (K == "text")
        Fields.Text = std::move(Value);
    else if (K == "dps")
        Fields.Dps = std::move(Value);
    else if (K == "artist")
        Fields.Artist = std::move(Value);
    else if (K == "title")
        Fields.Title = std::move(Value);
    else
        return false;
    return true;
}

TLiveFields ParseLiveLine(std::string_view Line)
{
    TLiveFields F;
    const std::size_t Eq = Line.find('=');
    if (Eq == std::string_view::npos || !SetLiveField(F, Line.substr(0, Eq), std::string(Line.substr(Eq + 1))))
        F.Text = std::string(Line);
    return F;
}

std::optional<std::string> TLiveTemplate::Parse(const std::string& Text)
{
    std::vector<TPart> Parts;
    std::string Literal;
    for (std::size_t i = 0; i < Text.size(); ++i) {
        const char C = Text[i];
        if ((C == '{' || C == '}') && i + 1 < Text.size() && Text[i + 1] == C) {
            Literal += C;
            ++i;
            continue;
        }
        if (C == '}')
            return "a lone \"}\" (write \"}}\" for the brace itself)";
        if (C != '{') {
            Literal += C;
            continue;
        }
        const std::size_t Close = Text.find('}', i);
        if (Close == std::string::npos)
            return "\"{\" without its \"}\" (write \"{{\" for the brace itself)";
        const std::string Name = LowerCase(std::string_view(Text).substr(i + 1, Close - i - 1));
        if (!KnownField(Name) || Name == "dps")
            return "unknown field {" + Text.substr(i + 1, Close - i - 1) + "} (known: {artist}, {title}, {text})";
        if (!Literal.empty())
            Parts.push_back({false, std::move(Literal)});
        Literal.clear();
        Parts.push_back({true, Name});
        i = Close;
    }
    if (!Literal.empty())
        Parts.push_back({false, std::move(Literal)});
    if (std::none_of(Parts.begin(), Parts.end(), [](const TPart& P) { return P.Field; }))
        return "no field in it (use {artist}, {title} or {text})";
    FParts = std::move(Parts);
    FSource = Text;
    return std::nullopt;
}

bool TLiveTemplate::Uses(std::string_view Field) const
{
    return std::any_of(FParts.begin(), FParts.end(), [&](const TPart& P) { return P.Field && P.Text == Field; });
}

std::string TLiveTemplate::Expand(const TLiveFields& Fields) const
{
    // A literal between two fields joins them: it stays only when both are
    // given. One before the first field or after the last always stays,
    // unless no field is given at all.
    const auto Given = [&](const TPart& P) { return !FieldValue(Fields, P.Text).empty(); };
    if (std::none_of(FParts.begin(), FParts.end(), [&](const TPart& P) { return P.Field && Given(P); }))
        return {};
    std::string Out;
    for (std::size_t i = 0; i < FParts.size(); ++i) {
        const TPart& P = FParts[i];
        if (P.Field) {
            Out += FieldValue(Fields, P.Text);
            continue;
        }
        const TPart* Before = nullptr;
        const TPart* After = nullptr;
        for (std::size_t k = i; k-- > 0;)
            if (FParts[k].Field) {
                Before = &FParts[k];
                break;
            }
        for (std::size_t k = i + 1; k < FParts.size(); ++k)
            if (FParts[k].Field) {
                After = &FParts[k];
                break;
            }
        if (Before && After && (!Given(*Before) || !Given(*After)))
            continue;
        Out += P.Text;
    }
    return Out;
}

std::optional<std::string> ParseSkipRule(const std::string& Spec, TSkipRule& Rule)
{
    const std::size_t Tilde = Spec.find('~');
    if (Tilde == std::string::npos)
        return "\"" + Spec + "\" is not FIELD~REGEX (for example title~^(ADV|JINGLE))";
    const std::string Field = LowerCase(std::string_view(Spec).substr(0, Tilde));
    if (!KnownField(Field))
        return "unknown field \"" + Spec.substr(0, Tilde) + "\" (known: artist, title, text, dps)";
    const std::string Pattern = Spec.substr(Tilde + 1);
    if (Pattern.empty())
        return "no regular expression after \"~\"";
    try {
        Rule.Expression = std::regex(Pattern, std::regex::ECMAScript);
    } catch (const std::regex_error& E) {
        return "\"" + Pattern + "\" is not a regular expression: " + E.what();
    }
    Rule.Field = Field;
    Rule.Pattern = Pattern;
    return std::nullopt;
}

TLiveDecision DecideLiveUpdate(const TLiveFields& Fields, const TLiveRules& Rules)
{
    TLiveDecision D;
    if (Fields.Empty()) {
        D.Reason = "nothing to send: give text, or artist and title";
        return D;
    }
    if (!Fields.Dps.empty() && !(Rules.Target & ltDynamicPS)) {
        D.Reason = "DPS is not taken: the bridge writes RadioText only (--target)";
        return D;
    }
    for (const TSkipRule& R : Rules.Skip) {
        const std::string& V = FieldValue(Fields, R.Field);
        if (!V.empty() && std::regex_search(V, R.Expression)) {
            D.Kind = TLiveDecision::ldSkip;
            D.Reason = R.Field + "~" + R.Pattern;
            return D;
        }
    }
    const bool Templated = Rules.Template.Uses("text") || !Fields.Artist.empty() || !Fields.Title.empty();
    const std::string Main = Templated ? Rules.Template.Expand(Fields) : Fields.Text;
    if (Main.empty() && Fields.Dps.empty()) {
        D.Reason = "nothing to send: the template " + Rules.Template.Source() + " gives an empty text";
        return D;
    }
    auto Fit = [&](const std::string& S, std::optional<TAirText>& To, const char* Name) {
        To = FitAirText(S);
        if (To->Text.empty()) {
            const std::string Why = FitWarning(*To);
            D.Reason = std::string("nothing of the ") + Name + " can be sent: " + (Why.empty() ? "it is blank" : Why);
            return false;
        }
        return true;
    };
    if ((Rules.Target & ltRadioText) && !Main.empty() && !Fit(Main, D.Rt, "text"))
        return D;
    if (Rules.Target & ltDynamicPS) {
        const std::string& S = Fields.Dps.empty() ? Main : Fields.Dps;
        if (!S.empty() && !Fit(S, D.Dps, "dynamic PS"))
            return D;
    }
    if (!D.Rt && !D.Dps) {
        D.Reason = "nothing to send for the target (--target)";
        return D;
    }
    D.Kind = TLiveDecision::ldSend;
    return D;
}
