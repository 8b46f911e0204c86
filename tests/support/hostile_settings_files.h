#pragma once
// Settings files a hand, a typo or a hostile sender could make, each with the
// finding it must give. Both front ends are tried with the same table: the
// console's diff and write, and the window's Open.

#include <string>
#include <vector>

struct THostileSettingsFile {
    const char* Name;
    std::string Text;
    // The setting refused and the line it is on; an empty Key: the file as a
    // whole is not a settings file.
    const char* Key;
    int Line;
    // Part of the reason given.
    const char* Reason;
};

inline std::vector<THostileSettingsFile> HostileSettingsFiles()
{
    const std::string Head = "PI=C201\r\nPS=RADIO 1\r\n";
    return {
        {"programme type beyond 31", Head + "PTY=99\r\n", "PTY", 3, "from 0 to 31"},
        {"programme type that would wrap to 44", Head + "PTY=300\r\n", "PTY", 3, "from 0 to 31"},
        {"negative programme type", Head + "PTY=-1\r\n", "PTY", 3, "from 0 to 31"},
        {"programme type in letters", Head + "PTY=abc\r\n", "PTY", 3, "from 0 to 31"},
        {"negative TA time-out", Head + "TATIME=-5\r\n", "TATIME", 3, "from 0 to 255"},
        {"phase beyond 359.9 degrees", Head + "PHASE=99999\r\n", "PHASE", 3, "from 0 to 3599"},
        {"AF code that would wrap to 231", Head + "AF1=999\r\n", "AF1", 3, "from 0 to 204"},
        {"offset no zone has", Head + "OFFSET=+99:99\r\n", "OFFSET", 3, "+HH:MM or -HH:MM"},
        {"clock flag with a stray word", Head + "CT=1 x\r\n", "CT", 3, "from 0 to 1"},
        {"PS of 13 characters", "PI=C201\r\nPS=THIRTEEN CHAR\r\n", "PS", 2, "at most 8 fit"},
        {"RadioText of 200 characters", Head + "TEXT=" + std::string(200, 'r') + "\r\n", "TEXT", 3, "at most 64 fit"},
        {"NUL inside PS", std::string("PI=C201\r\nPS=AB\0CD\r\n", 19), "PS", 2, "control character \\x00"},
        {"escape sequence in dynamic PS", Head + "DPS=\x1b]0;x\x07\r\n", "DPS", 3, "control character \\x1b"},
        {"euro sign in PS (UTF-8)", "PI=C201\r\nPS=5 \xE2\x82\xAC\r\n", "PS", 2, "U+20AC"},
        {"PI that is not hexadecimal", "PI=WXYZ\r\nPS=RADIO 1\r\n", "PI", 1, "Invalid PI!"},
        {"binary file",
            std::string("\x7f"
                        "ELF\x02\x01\x01\0\0\0\0\0\0\0\0\0\x03\0>\0\x01\0\0\0",
                24),
            "", 0, "not a settings file"},
        {"text without a setting", "hello=world\r\nnothing here\r\n", "", 0, "not a settings file"},
    };
}
