#pragma once
// What a now-playing update holds and what the bridge makes of it: the
// template that turns artist and title into one text, the rules that skip
// breaks and jingles, and the texts that go to each target, fit for the air.
// All of it is plain data and pure functions, used on the input threads.

#include "live/text_fit.h"

#include <cstdint>
#include <optional>
#include <regex>
#include <string>
#include <string_view>
#include <vector>

// The fields an input may give. Empty means not given.
struct TLiveFields {
    std::string Text;
    std::string Dps;
    std::string Artist;
    std::string Title;

    bool Empty() const { return Text.empty() && Dps.empty() && Artist.empty() && Title.empty(); }
};

// Sets the field KEY names ("text", "dps", "artist", "title", any letter
// case); false for any other key.
bool SetLiveField(TLiveFields& Fields, std::string_view Key, std::string Value);

// One line of the TCP input, a UDP datagram or a file: "KEY=value" with KEY
// one of TEXT, DPS, ARTIST, TITLE (any letter case), else the whole text.
TLiveFields ParseLiveLine(std::string_view Line);

// "{artist} - {title}": text with the fields artist, title and text in
// braces ("{{" and "}}" for the braces themselves). A literal between two
// fields is kept only when both are given, so "{artist} - {title}" with the
// title alone is just the title.
class TLiveTemplate {
public:
    // Answers why Text is no template ("unknown field {album}"), or nothing.
    std::optional<std::string> Parse(const std::string& Text);
    std::string Expand(const TLiveFields& Fields) const;
    bool Uses(std::string_view Field) const;
    const std::string& Source() const { return FSource; }

private:
    struct TPart {
        bool Field = false;
        std::string Text; // the literal, or the field's name
    };
    std::vector<TPart> FParts;
    std::string FSource;
};

// --skip-if FIELD~REGEX: an update whose field matches is not put on air.
struct TSkipRule {
    std::string Field; // artist, title, text or dps
    std::string Pattern;
    std::regex Expression;
};
// Answers why Spec is no rule, or nothing.
std::optional<std::string> ParseSkipRule(const std::string& Spec, TSkipRule& Rule);

// Where the text goes.
enum TLiveTarget : std::uint8_t { ltRadioText = 1, ltDynamicPS = 2, ltBoth = 3 };

// How an update is judged.
struct TLiveRules {
    TLiveTemplate Template;
    std::vector<TSkipRule> Skip;
    TLiveTarget Target = ltRadioText;
};

// What an update comes to.
struct TLiveDecision {
    enum TKind : std::uint8_t { ldSend, ldSkip, ldRefuse } Kind = ldRefuse;
    // ldSkip: the rule that matched ("title~^ADV"); ldRefuse: why.
    std::string Reason;
    // ldSend: the texts for RadioText and the dynamic PS (not set: that
    // target stays as it is).
    std::optional<TAirText> Rt;
    std::optional<TAirText> Dps;
};

// An update's text: TEXT as it is, or through the template when the template
// uses {text}; artist and title through the template. DPS= goes to the
// dynamic PS only, and only when it is a target.
TLiveDecision DecideLiveUpdate(const TLiveFields& Fields, const TLiveRules& Rules);
