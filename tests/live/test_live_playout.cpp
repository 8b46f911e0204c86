// Liquidsoap as the playout system: a generated tone whose metadata changes
// every two seconds, and an on-metadata http.get to the bridge (run as its
// own process). Every title reaches the encoder.

#include "bridge_run.h"
#include "child_process.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <regex>
#include <string>

TEST(LivePlayout, LiquidsoapPutsEachTitleOnAir)
{
    if (Shell("command -v liquidsoap").Code != 0)
        GTEST_SKIP() << "liquidsoap is not installed (scripts/setup.sh installs it)";
    TTempDir Dir;
    TKvxsim Sim;
    ASSERT_TRUE(Sim.Start({}));
    TChild Bridge;
    ASSERT_TRUE(Bridge.Start({KVXCTL_PATH, "live", "--port", Sim.Path(), "--http", "0", "--min-interval", "0.5",
        "--skip-if", "title~^JINGLE"}));
    ASSERT_TRUE(Bridge.WaitFor("the encoder holds TEXT=")) << Bridge.Output;
    std::smatch M;
    ASSERT_TRUE(std::regex_search(Bridge.Output, M, std::regex("listening: http 127\\.0\\.0\\.1:([0-9]+)")));

    // Every third item is a jingle, which the bridge skips.
    const std::string Script = Dir.Write("playout.liq",
        "settings.init.allow_root.set(true)\n"
        "settings.log.stdout.set(true)\n"
        "settings.log.file.set(false)\n"
        "bridge = \"http://127.0.0.1:"
            + M[1].str()
            + "/\"\n"
              "n = ref(0)\n"
              "s = insert_metadata(sine(440.))\n"
              "def now_playing(m) =\n"
              "  artist = url.encode(m[\"artist\"])\n"
              "  title = url.encode(m[\"title\"])\n"
              "  r = http.get(\"#{bridge}?artist=#{artist}&title=#{title}\")\n"
              "  print(\"bridge answered #{r.status_code}: #{r}\")\n"
              "end\n"
              "s.on_metadata(now_playing)\n"
              "def next() =\n"
              "  n := !n + 1\n"
              "  title = if !n mod 3 == 0 then \"JINGLE #{!n}\" else \"Sine \xe2\x80\x93 440 Hz #{!n}\" end\n"
              "  s.insert_metadata([(\"artist\", \"Tone Generator\"), (\"title\", title)])\n"
              "end\n"
              "thread.run(every=2., next)\n"
              "output.dummy(s)\n");
    TChild Playout;
    ASSERT_TRUE(Playout.Start({"liquidsoap", Script}));
    const std::string Last = "TEXT=Tone Generator - Sine - 440 Hz 4";
    const bool Reached = WaitUntil(
        [&] {
            for (const std::string& L : Sim.Log())
                if (L == Last)
                    return true;
            return Playout.Ended();
        },
        60000);
    Playout.Stop(SIGTERM);
    EXPECT_TRUE(Reached) << Playout.Output;
    EXPECT_EQ(Bridge.Stop(SIGTERM), 0);
    std::vector<std::string> Texts;
    for (const std::string& L : Sim.Log())
        if (L.rfind("TEXT=", 0) == 0)
            Texts.push_back(L);
    ASSERT_GE(Texts.size(), 3u) << Bridge.Output;
    EXPECT_EQ(std::vector<std::string>(Texts.begin(), Texts.begin() + 3),
        (std::vector<std::string> {"TEXT=Tone Generator - Sine - 440 Hz 1", "TEXT=Tone Generator - Sine - 440 Hz 2",
            "TEXT=Tone Generator - Sine - 440 Hz 4"}))
        << Bridge.Output;
    EXPECT_NE(Bridge.Output.find("skipped (title~^JINGLE)"), std::string::npos);
    EXPECT_NE(Playout.Output.find("bridge answered 200: Tone Generator - Sine - 440 Hz 1"), std::string::npos)
        << Playout.Output;
}
