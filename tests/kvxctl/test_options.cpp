// kvxctl's command line as one table: getopt_long's forms, "-" for standard
// input, --version, help, and a one-line fault for every mistake.
#include "support/kvxctl_run.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

namespace {

TEST(KvxctlOptions, FormsFaultsAndHelp)
{
    const TTempDir Dir("kvxctl-opt");
    const std::string D = Dir.Path().string();
    Dir.Write("bad.kvx", "PI=0000\r\n");
    const struct {
        std::string Command; // the shell line; $K is kvxctl
        int Code;
        std::string Out; // a part of standard output ("" none expected)
        std::string Err; // standard error: all of it when Whole, else a part
        bool Whole;
    } Cases[] = {
        {"$K --version", 0, "kvxctl 1.", "", true},
        {"$K help", 0, "Usage: kvxctl [OPTIONS] COMMAND [ARGUMENTS]\n", "", true},
        {"$K help diff", 0, "Usage: kvxctl [OPTIONS] diff FILE [--sync-clock]\n", "", true},
        {"$K diff --help", 0, "Usage: kvxctl [OPTIONS] diff FILE [--sync-clock]\n", "", true},
        {"$K help keys", 0, "\nAF2     0 to 204: 0 none", "", true},
        {"$K help options clock", 0, "--port=\n-p=\n", "", true},
        {"$K help frob", 64, "", "kvxctl: no help on 'frob' (kvxctl help lists the commands)\n", true},
        {"$K", 64, "", "kvxctl: no command given (kvxctl help lists them)\n", true},
        {"$K frob", 64, "", "kvxctl: unknown command 'frob' (kvxctl help lists them)\n", true},
        // Options may follow the command, and take "=value".
        {"$K --port=/dev/null read --sync", 64, "", "kvxctl: --sync does not apply to read (kvxctl help read)\n", true},
        {"$K read -p /dev/null -o x --watch", 64, "", "kvxctl: --watch does not apply to read (kvxctl help read)\n",
            true},
        {"$K get PS -p /dev/null -y", 64, "", "kvxctl: -y does not apply to get (kvxctl help get)\n", true},
        {"$K --frob read", 64, "", "kvxctl: unknown option --frob\n", true},
        {"$K read -Z", 64, "", "kvxctl: unknown option -Z\n", true},
        {"$K clock --watch=1", 64, "", "kvxctl: --watch takes no value\n", true},
        {"$K read --timeout", 64, "", "kvxctl: --timeout needs a value\n", true},
        {"$K read -p /dev/null --timeout=abc", 64, "", "kvxctl: --timeout takes seconds (a number from 0), not 'abc'\n",
            true},
        {"$K read -p /dev/null --format=xml", 64, "", "kvxctl: --format takes kvx or json, not 'xml'\n", true},
        {"$K read -p /dev/null -q -v", 64, "", "kvxctl: -q and -v exclude each other\n", true},
        {"$K read --sy", 64, "", "kvxctl: ambiguous option --sy (--sync-clock, --sync)\n", true},
        {"$K diff -p /dev/null", 64, "", "kvxctl: diff needs FILE (kvxctl help diff)\n", true},
        {"$K read extra -p /dev/null", 64, "", "kvxctl: read takes no arguments, not 'extra'\n", true},
        {"env -u KVXCTL_PORT $K read", 64, "",
            "kvxctl: no port: give --port NAME or set KVXCTL_PORT (kvxctl ports lists them)\n", true},
        // A fault in JSON: one object on standard error.
        {"$K -j frob", 64, "",
            "{\n  \"schema\": 1,\n  \"exit\": 64,\n  \"error\": \"unknown command 'frob' (kvxctl help lists them)\",\n"
            "  \"messages\": [\"unknown command 'frob' (kvxctl help lists them)\"]\n}\n",
            true},
        // "-" is standard input; the file is judged before any port is opened.
        {"$K --port=/dev/kvx-none diff - <" + D + "/bad.kvx", 4, "", "-:1: PI=0000: Invalid PI!\n", false},
        // The port from the environment, and a path relative to the current folder.
        {"KVXCTL_PORT=/dev/kvx-none $K read", 2, "", "/dev/kvx-none does not exist", false},
        {"cd " + D + " && $K --port ./kvx-none read", 2, "", D + "/kvx-none does not exist", false},
    };
    for (const auto& C : Cases) {
        SCOPED_TRACE(C.Command);
        const TRunApart R = KvxctlApart(C.Command);
        EXPECT_EQ(R.Code, C.Code) << R.Err;
        if (C.Out.empty())
            EXPECT_EQ(R.Out, "");
        else
            EXPECT_TRUE(Has(R.Out, C.Out)) << R.Out;
        if (C.Whole)
            EXPECT_EQ(R.Err, C.Err);
        else
            EXPECT_TRUE(Has(R.Err, C.Err)) << R.Err;
    }
}

} // namespace
