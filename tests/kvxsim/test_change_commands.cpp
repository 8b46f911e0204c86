// The setting commands change detection produces are all accepted by the
// simulated encoder: every field at its limits, and the clock of every zone
// there is, in winter and in summer (offsets such as +05:45 and +13:45).
#include "support/kvxsim_process.h"
#include "support/zone_scope.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <fstream>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "platform/time_zone.h"
#include "rds/data_validator.h"

namespace {

const std::string OK = "\r\nOK\r\n";

std::vector<std::string> ZoneNames()
{
    std::vector<std::string> Zones {"UTC"};
    std::ifstream In("/usr/share/zoneinfo/zone1970.tab");
    std::string Line;
    while (std::getline(In, Line)) {
        if (Line.empty() || Line[0] == '#')
            continue;
        std::istringstream Fields(Line);
        std::string Codes, Coords, Name;
        if (Fields >> Codes >> Coords >> Name)
            Zones.push_back(Name);
    }
    return Zones;
}

TBRDSDataValidator Record(bool High)
{
    TBRDSDataValidator r;
    r.FW = "01.03.105";
    r.RTCManual = true;
    r.PI = High ? 0xFFFF : 0x0001;
    r.PS = High ? "ABCDEFGH" : "A";
    r.PTY = High ? 31 : 0;
    r.TA = r.TP = r.MS = r.CT = r.Mode = High;
    r.TATime = High ? 255 : 0;
    r.SetDI(High ? 15 : 0);
    r.RT = High ? std::string(64, 'r') : "r";
    r.DRTS = r.DPSS = r.DPSParse = High ? 9 : 0;
    r.DPS = High ? std::string(64, 'd') : "d";
    for (int i = 1; i <= 7; ++i)
        r.AF[i] = static_cast<std::uint8_t>(High ? 197 + i : i);
    r.Phase = High ? 3599 : 0;
    r.Sync = High ? 2 : 0;
    r.DST = High ? 3 : 0;
    r.RTC.wYear = High ? 2099 : 2016;
    r.RTC.wMonth = High ? 12 : 2;
    r.RTC.wDay = High ? 31 : 29;
    r.RTC.wHour = High ? 23 : 0;
    r.RTC.wMinute = High ? 59 : 0;
    r.RTC.wSecond = High ? 59 : 0;
    r.Offset = High ? 15 * 60 + 30 : -(15 * 60 + 30);
    return r;
}

} // namespace

TEST(ChangeCommandsToSimulator, EveryCommandIsAccepted)
{
    std::vector<std::string> Commands;
    // Every field from its low to its high limit and back.
    const TBRDSDataValidator Low = Record(false), High = Record(true);
    std::vector<TMsgChange> L;
    ASSERT_TRUE(Low.isDifferent(&High, &L));
    ASSERT_TRUE(High.isDifferent(&Low, &L));

    // The computer clock of every zone, in January and in July.
    std::set<std::string> ClockCommands;
    {
        TZoneScope Tz;
        for (const std::string& Zone : ZoneNames()) {
            Tz.Set(Zone);
            for (std::int64_t Now : {1736942400000LL, 1752580800000LL}) { // 2025-01-15, -07-15
                SetUtcNowOverride(Now);
                TBRDSDataValidator Editor = Record(true);
                Editor.RTCManual = false;
                std::vector<TMsgChange> Clock;
                High.isDifferent(&Editor, &Clock);
                ASSERT_EQ(Clock.size(), 3u) << Zone;
                for (const auto& m : Clock)
                    ClockCommands.insert(m.Msg);
            }
        }
    }
    for (const char* Odd : {"OFFSET=+05:45", "OFFSET=+08:45", "OFFSET=+12:45", "OFFSET=+13:45", "OFFSET=+05:30",
             "OFFSET=-09:30", "OFFSET=+14:00", "OFFSET=-11:00"})
        EXPECT_EQ(ClockCommands.count(Odd), 1u) << Odd << " not among the zones' offsets";
    for (const auto& c : ClockCommands)
        L.push_back(TMsgChange {c, {}});

    TKvxsim Sim;
    ASSERT_TRUE(Sim.StartAsClient({}));
    ASSERT_TRUE(Sim.EchoOff());
    for (const auto& m : L)
        EXPECT_EQ(Sim.Ask(m.Msg), OK) << m.Msg;
    EXPECT_GT(L.size(), 60u);
}
