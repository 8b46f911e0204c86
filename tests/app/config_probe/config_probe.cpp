// Opens the configuration store for the program folder given as argument, or
// without one for the folder this program file lies in (as an installed
// program does); writes a configuration with X = 7 and the port "ttyPROBE",
// prints the ini file's name and exits 0 when the write succeeded, 1
// otherwise. The tests run it as another user to meet folders that user
// cannot write.
#include <cstdio>

#include "app/config.h"

int main(int argc, char** argv)
{
    if (argc > 2)
        return 64;
    TDMI dmi = argc == 2 ? TDMI(argv[1]) : TDMI();
    TConfigData config = DefConfigData;
    config.APP_X = 7;
    config.CONN_PORT = "ttyPROBE";
    const bool ok = dmi.WriteConfig(config);
    std::printf("%s\n", dmi.FileName().c_str());
    return ok ? 0 : 1;
}
