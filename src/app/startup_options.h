#pragma once
// What the command line asks of one run of the program.
#include <string>

struct TStartupOptions {
    // Used as the configured port for this run (the configuration file keeps
    // its own port unless the user picks another one in the window).
    std::string Port;
    // Connect once the window is up, as if Connect had been pressed.
    bool Connect = false;
    // Every line sent and received, with time stamps, goes to this file.
    std::string TranscriptFile;
    // A settings file (absolute path) opened as File > Open would open it,
    // once the encoder has been connected and read.
    std::string File;
};
