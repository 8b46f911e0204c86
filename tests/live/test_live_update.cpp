#include "live/live_update.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TLiveFields Fields(const char* Artist, const char* Title, const char* Text = "", const char* Dps = "")
{
    TLiveFields F;
    F.Artist = Artist;
    F.Title = Title;
    F.Text = Text;
    F.Dps = Dps;
    return F;
}

TLiveRules Rules(const char* Template = "{artist} - {title}", TLiveTarget Target = ltRadioText)
{
    TLiveRules R;
    EXPECT_FALSE(R.Template.Parse(Template));
    R.Target = Target;
    return R;
}

} // namespace

TEST(LiveTemplate, FieldsAndTheTextBetweenThem)
{
    struct {
        const char* Template;
        TLiveFields In;
        const char* Out;
    } const Cases[] = {
        {"{artist} - {title}", Fields("A", "T"), "A - T"},
        {"{artist} - {title}", Fields("", "T"), "T"},
        {"{artist} - {title}", Fields("A", ""), "A"},
        {"{artist} - {title}", Fields("", ""), ""},
        {"Now: {artist} - {title}!", Fields("", "T"), "Now: T!"},
        {"Now: {artist} - {title}!", Fields("", ""), ""},
        {"{text} on Radio X", Fields("", "", "Morning show"), "Morning show on Radio X"},
        {"{{{title}}}", Fields("", "T"), "{T}"},
        {"{TITLE} by {Artist}", Fields("A", "T"), "T by A"},
    };
    for (const auto& C : Cases) {
        TLiveTemplate T;
        ASSERT_FALSE(T.Parse(C.Template)) << C.Template;
        EXPECT_EQ(T.Expand(C.In), C.Out) << C.Template;
    }
}

TEST(LiveTemplate, ABadTemplateIsNamed)
{
    const std::pair<const char*, const char*> Cases[] = {
        {"{album} - {title}", "unknown field {album}"},
        {"{artist - {title}", "unknown field {artist - {title}"},
        {"{title", "without its"},
        {"title}", "a lone"},
        {"plain text", "no field"},
        {"{dps}", "unknown field {dps}"},
    };
    for (const auto& [Template, Why] : Cases) {
        TLiveTemplate T;
        const auto E = T.Parse(Template);
        ASSERT_TRUE(E) << Template;
        EXPECT_NE(E->find(Why), std::string::npos) << Template << ": " << *E;
    }
}

TEST(LiveLine, KeyValueOrTheWholeText)
{
    EXPECT_EQ(ParseLiveLine("TEXT=A - T").Text, "A - T");
    EXPECT_EQ(ParseLiveLine("title=T=2").Title, "T=2");
    EXPECT_EQ(ParseLiveLine("Artist=A").Artist, "A");
    EXPECT_EQ(ParseLiveLine("DPS=RADIO X").Dps, "RADIO X");
    EXPECT_EQ(ParseLiveLine("E=mc2 - Einstein").Text, "E=mc2 - Einstein");
    EXPECT_EQ(ParseLiveLine("Plain - Song").Text, "Plain - Song");
}

TEST(LiveDecision, TemplateSkipRulesAndTargets)
{
    TLiveRules R = Rules();
    TSkipRule Skip;
    ASSERT_FALSE(ParseSkipRule("title~^(ADV|JINGLE)", Skip));
    R.Skip.push_back(Skip);

    TLiveDecision D = DecideLiveUpdate(Fields("A", "T"), R);
    ASSERT_EQ(D.Kind, TLiveDecision::ldSend);
    EXPECT_EQ(D.Rt->Text, "A - T");
    EXPECT_FALSE(D.Dps);

    // A whole text goes as it is, fit for the air.
    D = DecideLiveUpdate(Fields("", "", "Łódź  news"), R);
    ASSERT_EQ(D.Kind, TLiveDecision::ldSend);
    EXPECT_EQ(Latin1ToUtf8(D.Rt->Text), "Lódz news");

    D = DecideLiveUpdate(Fields("Station", "ADV 30s spot"), R);
    EXPECT_EQ(D.Kind, TLiveDecision::ldSkip);
    EXPECT_EQ(D.Reason, "title~^(ADV|JINGLE)");
    EXPECT_EQ(DecideLiveUpdate(Fields("", "JINGLE"), R).Kind, TLiveDecision::ldSkip);
    EXPECT_EQ(DecideLiveUpdate(Fields("", "The Jingle Song"), R).Kind, TLiveDecision::ldSend);

    // Refused, with the reason.
    EXPECT_EQ(DecideLiveUpdate(TLiveFields {}, R).Kind, TLiveDecision::ldRefuse);
    D = DecideLiveUpdate(Fields("", "", "", "RADIO X"), R);
    EXPECT_EQ(D.Kind, TLiveDecision::ldRefuse);
    EXPECT_NE(D.Reason.find("--target"), std::string::npos);
    D = DecideLiveUpdate(Fields("", "", "\xf0\x9f\x8e\xb5\xf0\x9f\x8e\xb6"), R);
    EXPECT_EQ(D.Kind, TLiveDecision::ldRefuse);
    EXPECT_NE(D.Reason.find("U+1F3B5"), std::string::npos) << D.Reason;

    // Both targets: the text goes to each; DPS= only to the dynamic PS.
    R = Rules("{artist} - {title}", ltBoth);
    D = DecideLiveUpdate(Fields("A", "T"), R);
    ASSERT_EQ(D.Kind, TLiveDecision::ldSend);
    EXPECT_EQ(D.Rt->Text, "A - T");
    EXPECT_EQ(D.Dps->Text, "A - T");
    D = DecideLiveUpdate(Fields("", "", "", "RADIO X"), R);
    ASSERT_EQ(D.Kind, TLiveDecision::ldSend);
    EXPECT_FALSE(D.Rt);
    EXPECT_EQ(D.Dps->Text, "RADIO X");
}

TEST(LiveDecision, ABadSkipRuleIsNamed)
{
    TSkipRule S;
    EXPECT_NE(ParseSkipRule("title^ADV", S)->find("FIELD~REGEX"), std::string::npos);
    EXPECT_NE(ParseSkipRule("album~x", S)->find("unknown field"), std::string::npos);
    EXPECT_NE(ParseSkipRule("title~(", S)->find("not a regular expression"), std::string::npos);
    EXPECT_NE(ParseSkipRule("title~", S)->find("no regular expression"), std::string::npos);
}
