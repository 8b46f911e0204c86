// The site list: its INI form (case, blanks, comments, quotes, relative
// profile paths, defaults), the settings each site should hold, and every
// fault found at once with its file and line.

#include "fleet/site_list.h"
#include "rds/field_table.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const char* const Golden = "PI=C201\r\nPS=GOLDEN\r\nPTY=10\r\nTA=0\r\nTATIME=30\r\nTP=1\r\nMS=1\r\nDI=1\r\nMODE=0\r\n"
                           "TEXT=Good music\r\nDRTS=2\r\nDPSS=0\r\nPARSE=0\r\nAF1=105\r\nAF2=0\r\nAF3=0\r\nAF4=0\r\n"
                           "AF5=0\r\nAF6=0\r\nAF7=0\r\nPHASE=0\r\nCT=1\r\nOFFSET=+01:00\r\nDST=0\r\nSYNC=0\r\n";

std::string Field(const TBRDSDataValidator& R, const char* Key)
{
    return FieldValueText(*FindFieldByKey(Key), R);
}

std::string AllFindings(const TSiteList& L)
{
    std::string T;
    for (const TSiteListFinding& F : L.Findings)
        T += FindingText(F) + "\n";
    return T;
}

TEST(SiteList, ReadsTheFormAndSettlesEachSite)
{
    const TTempDir Dir("kvxsites");
    Dir.Write("profiles/golden.kvx", Golden);
    Dir.Write("profiles/north.kvx", std::string(Golden) + "");
    const std::string Path = Dir.Write("sites.ini",
        "; the fleet\r\n"
        "# another comment\r\n"
        "[Defaults]\r\n"
        "  PROFILE =   profiles/golden.kvx   ; every site\r\n"
        "ct = 0\r\n"
        "\r\n"
        "[north]   ; by the sea\r\n"
        "Port=tcp://Encoder.Example:4001\r\n"
        "ps = NORTH FM # overrides the profile\r\n"
        "text = \"Rock ; roll # all night \"  ; quoted\r\n"
        "\r\n"
        "[south]\r\n"
        "port = ttyUSB7\r\n"
        "profile = profiles/north.kvx\r\n"
        "PS=\"RADIO 1 \"\r\n"
        "CT=1\r\n"
        "AF2 = 106\r\n");
    const TSiteList L = LoadSiteList(Path);
    ASSERT_TRUE(L.Valid()) << AllFindings(L);
    EXPECT_EQ(AllFindings(L), "");
    ASSERT_EQ(L.Sites.size(), 2u);

    const TSite& N = L.Sites[0];
    EXPECT_EQ(N.Name, "north");
    EXPECT_EQ(N.Line, 7);
    EXPECT_EQ(N.Port, "tcp://Encoder.Example:4001");
    EXPECT_EQ(N.ProfilePath, Dir.File("profiles/golden.kvx"));
    EXPECT_EQ(Field(N.Desired, "PS"), "NORTH FM");
    EXPECT_EQ(Field(N.Desired, "TEXT"), "Rock ; roll # all night ");
    EXPECT_EQ(Field(N.Desired, "CT"), "0"); // from [defaults]
    EXPECT_EQ(Field(N.Desired, "PI"), "C201");
    EXPECT_EQ(Field(N.Desired, "OFFSET"), "+01:00");
    EXPECT_TRUE(N.Desired.RTCManual);

    const TSite& S = L.Sites[1];
    EXPECT_EQ(S.ProfilePath, Dir.File("profiles/north.kvx"));
    EXPECT_EQ(Field(S.Desired, "PS"), "RADIO 1 "); // the quotes keep the blank
    EXPECT_EQ(Field(S.Desired, "CT"), "1");        // the site's own value wins
    EXPECT_EQ(Field(S.Desired, "AF2"), "106");
    EXPECT_EQ(S.OverrideKeys, (std::vector<std::string> {"PS", "AF2", "CT"}));
    EXPECT_EQ(L.Find("SOUTH"), &S);
    EXPECT_EQ(L.Find("east"), nullptr);
}

TEST(SiteList, UnicodeAndEightBitTextReachTheEncoderAsLatin1)
{
    const TTempDir Dir("kvxsites");
    Dir.Write("golden.kvx", Golden);
    for (const std::string& PS : {std::string("CAF\xC3\x89"), std::string("CAF\xC9")}) {
        const TSiteList L
            = ParseSiteList("[defaults]\nprofile=golden.kvx\n[a]\nport=/dev/ttyA\nPS=" + PS + "\n", Dir.File("s.ini"));
        ASSERT_TRUE(L.Valid()) << AllFindings(L);
        EXPECT_EQ(L.Sites[0].Desired.PS, "CAF\xC9");
    }
}

// A hostile list: every fault is named with its place, none hides another,
// and the list is refused as a whole.
TEST(SiteList, EveryFaultIsAFindingWithItsPlace)
{
    const TTempDir Dir("kvxsites");
    Dir.Write("golden.kvx", Golden);
    Dir.Write("bad.kvx", "PI=C201\r\nPS=BAD\r\nPTY=77\r\n");
    Dir.Write("zero.kvx", std::string(Golden).replace(3, 4, "0000"));
    const std::string Path = Dir.Write("sites.ini",
        "colour = blue\n"               // 1: before any section
        "[defaults]\n"                  // 2
        "profile = golden.kvx\n"        // 3
        "port = ttyS0\n"                // 4: no port in [defaults]
        "[north]\n"                     // 5
        "port = tcp://127.0.0.1:4001\n" // 6
        "PTY = 99\n"                    // 7: out of range
        "volume = 11\n"                 // 8: unknown key
        "PS = \"NO CLOSE\n"             // 9: no closing quote
        "[south]\n"                     // 10
        "port = tcp://LOCALHOST:4002\n" // 11
        "port = ttyUSB3\n"              // 12: given twice
        "PS = \xE2\x82\xAC"
        "UROPE\n"                        // 13: not in the 8-bit code page
        "[east]\n"                       // 14
        "port = tcp://localhost:04002\n" // 15: south's port again
        "profile = missing.kvx\n"        // 16: does not load
        "[west]\n"                       // 17: no port
        "[North]\n"                      // 18: north again
        "port = /dev/ttyUSB9\n"          // 19
        "[../etc]\n"                     // 20: not a file name
        "port = ttyUSB8\n"               // 21
        "[far]\n"                        // 22
        "port = ttyUSB9\n"               // 23: north's port, but that north was refused
        "profile = bad.kvx\n"            // 24: a profile with a bad value
        "AF1 = 105\nAF2 = 105\n"         // 25, 26: the same frequency twice
        "[zero]\n"                       // 27
        "port = tcp://[::1]:99999\n"     // 28: no such TCP port
        "profile = zero.kvx\n"           // 29: PI 0000
        "just words\n");                 // 30: not KEY = VALUE
    const TSiteList L = LoadSiteList(Path);
    EXPECT_FALSE(L.Valid());
    const std::string All = AllFindings(L);
    const struct {
        std::string File;
        int Line;
        std::string Says;
    } Expected[] = {
        {"sites.ini", 1, "colour comes before any section"},
        {"sites.ini", 4, "unknown key port in [defaults]"},
        {"sites.ini", 7, "PTY=99: must be a whole number from 0 to 31"},
        {"sites.ini", 8, "unknown key volume in [north]"},
        {"sites.ini", 9, "no closing \""},
        {"sites.ini", 12, "port is given twice in [south] (first on line 11)"},
        {"sites.ini", 13, "PS=\xE2\x82\xACUROPE: holds U+20AC"},
        {"sites.ini", 15, "is also site south's (line 11)"},
        {"sites.ini", 17, "site west has no port"},
        {"sites.ini", 18, "site North is given twice (first on line 5)"},
        {"sites.ini", 20, "a site name may not start with \".\""},
        {"sites.ini", 26, "AF Method A do not allows duplicate frequencies!"},
        {"sites.ini", 28, "port tcp://[::1]:99999:"},
        {"sites.ini", 30, "not a KEY = VALUE line: just words"},
        {"missing.kvx", 0, "the profile does not load"},
        {"bad.kvx", 3, "PTY=77: must be a whole number from 0 to 31"},
        {"bad.kvx", 0, "note: no line for TA"},
        {"zero.kvx", 1, "Invalid PI!"},
    };
    for (const auto& E : Expected) {
        SCOPED_TRACE(E.File + ":" + std::to_string(E.Line) + " " + E.Says);
        bool Found = false;
        for (const TSiteListFinding& F : L.Findings)
            Found = Found
                || (F.File == Dir.File(E.File) && F.Line == E.Line && FindingText(F).find(E.Says) != std::string::npos);
        EXPECT_TRUE(Found) << All;
    }
    // Each fault once, though two sites may share a profile.
    EXPECT_EQ(L.Findings.size(), std::size(Expected)) << All;
    // The list's own findings come first, in the order of its lines.
    EXPECT_EQ(L.Findings.front().Line, 1);
}

TEST(SiteList, ThePortIdentityIgnoresSpelling)
{
    EXPECT_EQ(PortIdentity("tcp://Encoder.EXAMPLE:04001"), "tcp://encoder.example:4001");
    EXPECT_EQ(PortIdentity("tcp://[2001:DB8::7]:4001"), "tcp://2001:db8::7:4001");
    EXPECT_EQ(PortIdentity("ttyUSB0"), PortIdentity("/dev/ttyUSB0"));
    EXPECT_EQ(PortIdentity("/dev/../dev/ttyUSB0"), PortIdentity("/dev/ttyUSB0"));
    // A link to a device is that device.
    const TTempDir Dir("kvxsites");
    std::filesystem::create_symlink("/dev/null", Dir.File("by-id-link"));
    EXPECT_EQ(PortIdentity(Dir.File("by-id-link")), PortIdentity("null"));
}

TEST(SiteList, AnEmptyOrUnreadableListSaysSo)
{
    const TTempDir Dir("kvxsites");
    EXPECT_EQ(AllFindings(ParseSiteList("; nothing\n[defaults]\nprofile=x.kvx\n", "s.ini")),
        "s.ini: no site: add a [NAME] section with a port for each encoder\n");
    const TSiteList Missing = LoadSiteList(Dir.File("nowhere.ini"));
    ASSERT_EQ(Missing.Findings.size(), 1u);
    EXPECT_NE(FindingText(Missing.Findings[0]).find("cannot read the site list: No such file"), std::string::npos);
    EXPECT_NE(
        FindingText(LoadSiteList(Dir.Path().string()).Findings.at(0)).find("not a regular file"), std::string::npos);
    EXPECT_FALSE(ParseSiteList(std::string("[a]\0port=x\n", 11), "s.ini").Valid());
}

} // namespace
