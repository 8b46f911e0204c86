#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "rds/field_table.h"

namespace {

// Every setting as the encoder and the settings file define it, written out
// once by hand: a row of the program's table that drifts fails here.
struct TPinned {
    const char* Key;
    const char* Word;
    TFieldType Type;
    std::int32_t Min, Max;
    int Width;
    TTextRule Text;
    int Firmware;
    int WriteStep;
    std::vector<std::string> Words;
};

const TPinned Pinned[] = {
    {"PI", "PI", ftHex, 1, 0xFFFF, 4, trNone, 0, 1, {}},
    {"PS", "PS", ftText, 0, 8, 8, trKeepBlanks, 0, 2, {}},
    {"PTY", "PTY", ftNumber, 0, 31, 0, trNone, 0, 8, {}},
    {"TA", "TA", ftNumber, 0, 1, 0, trNone, 0, 4, {}},
    {"TATIME", "TATIME", ftNumber, 0, 255, 0, trNone, 0, 6, {}},
    {"TP", "TP", ftNumber, 0, 1, 0, trNone, 0, 5, {}},
    {"MS", "MS", ftNumber, 0, 1, 0, trNone, 0, 7, {}},
    {"DI", "DI", ftNumber, 0, 15, 0, trNone, 0, 3, {}},
    {"MODE", "MODE", ftNumber, 0, 1, 0, trNone, 0, 15, {"LOOP", "SIDE"}},
    {"TEXT", "TEXT", ftText, 0, 64, 64, trTrimTrailing, 0, 9, {}},
    {"DRTS", "DRTS", ftNumber, 0, 9, 0, trNone, 0, 10, {}},
    {"DPS", "DPS", ftText, 0, 64, 64, trTrimTrailing, 0, 14, {}},
    {"DPSS", "DPSS", ftNumber, 0, 9, 0, trNone, 0, 12, {}},
    {"PARSE", "PARSE", ftNumber, 0, 9, 0, trNone, 0, 13, {}},
    {"AF1", "AF1", ftNumber, 0, 204, 0, trNone, 0, 11, {}},
    {"AF2", "AF2", ftNumber, 0, 204, 0, trNone, 0, 11, {}},
    {"AF3", "AF3", ftNumber, 0, 204, 0, trNone, 0, 11, {}},
    {"AF4", "AF4", ftNumber, 0, 204, 0, trNone, 0, 11, {}},
    {"AF5", "AF5", ftNumber, 0, 204, 0, trNone, 0, 11, {}},
    {"AF6", "AF6", ftNumber, 0, 204, 0, trNone, 0, 11, {}},
    {"AF7", "AF7", ftNumber, 0, 204, 0, trNone, 0, 11, {}},
    {"PHASE", "PHASE", ftNumber, 0, 3599, 0, trNone, 0, 16, {}},
    {"CT", "CT", ftNumber, 0, 1, 0, trNone, 0, 17, {}},
    {"OFFSET", "OFFSET", ftOffset, -930, 930, 6, trNone, 0, 0, {}},
    {"DST", "DST", ftNumber, 0, 3, 0, trNone, 103, 19, {"OFF", "EU", "USA", "MANUAL"}},
    {"SYNC", "SYNC", ftNumber, 0, 2, 0, trNone, 103, 18, {"AUTO", "INT", "EXT"}},
};

} // namespace

TEST(FieldTable, EveryRowAsTheEncoderAndTheFileDefineIt)
{
    const auto Fields = SettingsFields();
    ASSERT_EQ(Fields.size(), std::size(Pinned));
    for (std::size_t i = 0; i < Fields.size(); ++i) {
        const TField& F = Fields[i];
        const TPinned& P = Pinned[i];
        SCOPED_TRACE(P.Key);
        EXPECT_STREQ(F.Key, P.Key);
        EXPECT_STREQ(F.Word, P.Word);
        EXPECT_EQ(F.Type, P.Type);
        EXPECT_EQ(F.Min, P.Min);
        EXPECT_EQ(F.Max, P.Max);
        EXPECT_EQ(F.Width, P.Width);
        EXPECT_EQ(F.Text, P.Text);
        EXPECT_EQ(F.Firmware, P.Firmware);
        EXPECT_EQ(F.WriteStep, P.WriteStep);
        std::vector<std::string> Words;
        for (std::int32_t v = F.Min; F.Words && v <= F.Max; ++v)
            Words.emplace_back(F.Words[v - F.Min]);
        EXPECT_EQ(Words, P.Words);
        EXPECT_EQ(FindFieldByKey(std::string(P.Key)), &F);
        EXPECT_EQ(FindFieldByWord(P.Word), &F);
        EXPECT_EQ(F.Type == ftText, F.TextField != nullptr);
        EXPECT_EQ(F.Type != ftText, F.Get != nullptr && F.Set != nullptr);
    }
    EXPECT_EQ(FindFieldByKey("tatime"), FindFieldByKey("TATIME"));
    EXPECT_EQ(FindFieldByKey("AF8"), nullptr);
}

TEST(FieldTable, EachSettingReachesItsOwnPlaceInTheRecord)
{
    // Setting one field at a time changes that field's text and no other's.
    const auto Fields = SettingsFields();
    for (const TField& F : Fields) {
        SCOPED_TRACE(F.Key);
        TBRDSDataValidator Base, R;
        const std::string Value = F.Type == ftText ? std::string("AB C")
            : F.Type == ftOffset                   ? "-05:30"
            : F.Type == ftHex                      ? "00A5"
                                                   : std::to_string(F.Max);
        ASSERT_EQ(TakeFieldValue(F, Value, R), std::nullopt);
        EXPECT_EQ(FieldValueText(F, R), Value);
        EXPECT_EQ(FieldCommand(F, R), std::string(F.Word) + "=" + Value);
        for (const TField& G : Fields)
            EXPECT_EQ(SameFieldValue(G, Base, R), &G != &F) << G.Key;
    }
}

TEST(FieldTable, NumbersAreTakenWholeAndWithinTheirRange)
{
    const TField& PTY = *FindFieldByKey("PTY");
    const TField& Offset = *FindFieldByKey("OFFSET");
    const TField& PI = *FindFieldByKey("PI");
    struct {
        const TField& F;
        const char* Value;
        bool Taken;
    } Cases[] = {
        {PTY, "31", true},
        {PTY, " 7\t", true},
        {PTY, "+7", true},
        {PTY, "32", false},
        {PTY, "-0x1", false},
        {PTY, "7 7", false},
        {PTY, "", false},
        {Offset, "+15:30", true},
        {Offset, "-12:45", true},
        {Offset, "+15:45", false},
        {Offset, "+05:60", false},
        {Offset, "05:30", false},
        {Offset, "+5:30", false},
        {PI, "c201", true},
        {PI, "A5", true},
        {PI, "0", false},
        {PI, "0x12", false},
        {PI, "10000", false},
    };
    for (const auto& C : Cases) {
        SCOPED_TRACE(std::string(C.F.Key) + "=" + C.Value);
        TBRDSDataValidator R;
        EXPECT_EQ(!TakeFieldValue(C.F, C.Value, R).has_value(), C.Taken);
        EXPECT_EQ(!CheckFieldValue(C.F, R).has_value(), C.Taken || &C.F != &PI);
    }
    // Texts: trailing blanks of RadioText and dynamic PS carry nothing; those of PS do.
    TBRDSDataValidator A, B;
    A.RT = "Hi";
    B.RT = "Hi   ";
    A.PS = B.PS = "X";
    EXPECT_TRUE(SameFieldValue(*FindFieldByKey("TEXT"), A, B));
    B.PS = "X ";
    EXPECT_FALSE(SameFieldValue(*FindFieldByKey("PS"), A, B));
}
