// The bridge as a program of its own, for the tests that run it as a
// process (signals, exit codes, a playout system as its client): the
// arguments of "kvxctl live", and the same exit codes.

#include "live/live_options.h"
#include "live/live_run.h"

#include <cstdio>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    const std::vector<std::string> Args(argv + 1, argv + argc);
    for (const std::string& A : Args)
        if (A == "--help" || A == "-h") {
            std::fputs(LiveUsage, stdout);
            return 0;
        }
    TLiveOptions O;
    if (auto Why = ParseLiveOptions(Args, O)) {
        std::fprintf(stderr, "live: %s (see --help)\n", Why->c_str());
        return 64;
    }
    TLiveStop Stop;
    Stop.HandleSignals();
    return RunLiveBridge(O, Stop);
}
