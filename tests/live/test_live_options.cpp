#include "live/access.h"
#include "live/live_options.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <sys/socket.h>

namespace {

std::optional<std::string> Parse(const std::vector<std::string>& Args, TLiveOptions& O)
{
    return ParseLiveOptions(Args, O);
}

} // namespace

TEST(LiveOptions, EveryOptionLandsInItsPlace)
{
    TLiveOptions O;
    ASSERT_FALSE(Parse({"--port", "ttyUSB0", "--http", "8080", "--tcp=0.0.0.0:5000", "--udp", "[::1]:5001", "--file",
                           "np.txt", "--template", "{title} by {artist}", "--skip-if", "title~^ADV", "--target", "both",
                           "--idle-text", "Radio X", "--min-interval", "0.5", "--token", "s3cret", "--allow",
                           "192.168.1.0/24", "--max-rate", "50", "--timeout", "2", "-v"},
        O));
    EXPECT_EQ(O.Port, "ttyUSB0");
    ASSERT_EQ(O.Http.size(), 1u);
    EXPECT_EQ(O.Http[0].Text(), "127.0.0.1:8080");
    EXPECT_EQ(O.Tcp[0].Text(), "0.0.0.0:5000");
    EXPECT_EQ(O.Udp[0].Text(), "[::1]:5001");
    EXPECT_EQ(O.Files, std::vector<std::string> {"np.txt"});
    EXPECT_EQ(O.Rules.Template.Source(), "{title} by {artist}");
    EXPECT_EQ(O.Rules.Skip.size(), 1u);
    EXPECT_EQ(O.Rules.Target, ltBoth);
    EXPECT_EQ(O.IdleText, "Radio X");
    EXPECT_EQ(O.IdleAfter, DefaultIdleAfter);
    EXPECT_EQ(O.MinInterval, 0.5);
    EXPECT_EQ(O.Token, "s3cret");
    EXPECT_EQ(O.Allow[0].Text(), "192.168.1.0/24");
    EXPECT_EQ(O.MaxRate, 50);
    EXPECT_EQ(O.Timeout, 2);
    EXPECT_TRUE(O.Verbose);

    // The defaults.
    TLiveOptions D;
    ASSERT_FALSE(Parse({"--port", "p", "--udp", "5000"}, D));
    EXPECT_EQ(D.Rules.Template.Source(), DefaultLiveTemplate);
    EXPECT_EQ(D.MinInterval, 15);
    EXPECT_EQ(D.Rules.Target, ltRadioText);
    EXPECT_TRUE(D.IdleText.empty());
}

TEST(LiveOptions, UnusableArgumentsGetOneLine)
{
    const std::pair<std::vector<std::string>, const char*> Cases[] = {
        {{"--http", "8080"}, "--port is needed"},
        {{"--port", "p"}, "no input"},
        {{"--port", "p", "--http"}, "--http needs a value"},
        {{"--port", "p", "--http", "80800"}, "from 0 to 65535"},
        {{"--port", "p", "--http", "::1:80"}, "in brackets"},
        {{"--port", "p", "--tcp", "localhost:80"}, "not an IPv4 or IPv6 address"},
        {{"--port", "p", "--udp", "1", "--min-interval", "0"}, "--min-interval takes a number of at least 0.1"},
        {{"--port", "p", "--udp", "1", "--min-interval", "5s"}, "not \"5s\""},
        {{"--port", "p", "--udp", "1", "--target", "ps"}, "rt, dps or both"},
        {{"--port", "p", "--udp", "1", "--template", "{album}"}, "--template: unknown field {album}"},
        {{"--port", "p", "--udp", "1", "--skip-if", "title~("}, "--skip-if:"},
        {{"--port", "p", "--udp", "1", "--allow", "10.0.0.0/33"}, "from 0 to 32"},
        {{"--port", "p", "--udp", "1", "--idle-after", "60"}, "--idle-after without --idle-text"},
        {{"--port", "p", "--udp", "1", "--token", "a", "--token-file", "f"}, "give one of them"},
        {{"--port", "p", "--udp", "1", "--token-file", "/nonexistent/token"}, "No such file"},
        {{"--port", "p", "--udp", "1", "--colour"}, "unknown option --colour"},
        {{"--port", "p", "--udp", "1", "extra"}, "unexpected argument \"extra\""},
    };
    for (const auto& [Args, Why] : Cases) {
        TLiveOptions O;
        const auto E = Parse(Args, O);
        ASSERT_TRUE(E) << Why;
        EXPECT_NE(E->find(Why), std::string::npos) << *E;
        EXPECT_EQ(E->find('\n'), std::string::npos) << *E;
    }
}

TEST(LiveOptions, AConfigurationFileAndATokenFile)
{
    TTempDir Dir;
    const std::string Token = Dir.Write("token", "  t0ken \nsecond line\n");
    const std::string Conf = Dir.Write("live.conf",
        "# the studio's bridge\n"
        "port tcp://10.0.0.9:4001\n"
        "http = 0.0.0.0:8080\n"
        "template \" {artist} / {title} \"\n"
        "token-file "
            + Token
            + "\n"
              "verbose\n");
    TLiveOptions O;
    ASSERT_FALSE(Parse({"--config", Conf, "--min-interval", "20"}, O));
    EXPECT_EQ(O.Port, "tcp://10.0.0.9:4001");
    EXPECT_EQ(O.Http[0].Text(), "0.0.0.0:8080");
    EXPECT_EQ(O.Rules.Template.Source(), " {artist} / {title} ");
    EXPECT_EQ(O.Token, "t0ken");
    EXPECT_TRUE(O.Verbose);
    EXPECT_EQ(O.MinInterval, 20);

    // The example the package installs is usable as it stands.
    TLiveOptions Example;
    ASSERT_FALSE(Parse({"--config", KVX_SOURCE_DIR "/packaging/live.conf"}, Example));
    EXPECT_EQ(Example.Port, "ttyUSB0");
    EXPECT_EQ(Example.Http[0].Text(), "127.0.0.1:8080");
    EXPECT_EQ(Example.MinInterval, 15);

    const std::string Bad = Dir.Write("bad.conf", "port p\nhttp 8080\ncolour red\n");
    const auto E = Parse({"--config", Bad}, O);
    ASSERT_TRUE(E);
    EXPECT_NE(E->find("bad.conf:3: unknown option \"colour\""), std::string::npos) << *E;
}

TEST(LiveAccess, PrefixesTokensAndRates)
{
    struct {
        const char* Prefix;
        const char* Address;
        bool Match;
    } const Cases[] = {
        {"192.168.1.0/24", "192.168.1.77", true},
        {"192.168.1.0/24", "192.168.2.1", false},
        {"10.0.0.0/8", "10.255.1.1", true},
        {"127.0.0.1", "127.0.0.1", true},
        {"127.0.0.1", "127.0.0.2", false},
        {"0.0.0.0/0", "8.8.8.8", true},
        {"10.1.2.3/31", "10.1.2.2", true},
        {"10.1.2.3/31", "10.1.2.4", false},
        {"fd00::/8", "fd12::1", true},
        {"fd00::/8", "fe80::1", false},
        {"127.0.0.0/8", "::ffff:127.0.0.9", true}, // IPv4 seen through an IPv6 socket
        {"::1", "127.0.0.1", false},
    };
    for (const auto& C : Cases) {
        TAddressPrefix P;
        ASSERT_FALSE(ParseAddressPrefix(C.Prefix, P)) << C.Prefix;
        EXPECT_EQ(P.Matches(TSourceAddress::Parse(C.Address)), C.Match) << C.Prefix << " " << C.Address;
    }

    EXPECT_TRUE(TokenMatches("s3cret", "s3cret"));
    EXPECT_FALSE(TokenMatches("s3cre", "s3cret"));
    EXPECT_FALSE(TokenMatches("s3cret!", "s3cret"));
    EXPECT_FALSE(TokenMatches("", ""));

    // Two a second, bursts of four; refusals are told once per series.
    TRateLimiter L(2);
    const auto T0 = std::chrono::steady_clock::now();
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(L.Take("a", T0), TRateLimiter::rvAllowed) << i;
    EXPECT_EQ(L.Take("a", T0), TRateLimiter::rvRefused);
    EXPECT_EQ(L.Take("a", T0), TRateLimiter::rvRefusedAgain);
    EXPECT_EQ(L.Take("b", T0), TRateLimiter::rvAllowed);
    EXPECT_EQ(L.Take("a", T0 + std::chrono::milliseconds(500)), TRateLimiter::rvAllowed);
    EXPECT_EQ(L.Take("a", T0 + std::chrono::milliseconds(500)), TRateLimiter::rvRefused);
}
