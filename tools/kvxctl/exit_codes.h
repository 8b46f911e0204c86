#pragma once
// kvxctl's exit codes. Each means the same for every command; diff alone
// gives 1 for "the file and the encoder differ", as diff(1) does.

enum TExitCode : int {
    ecDone = 0,
    ecRefused = 1,    // the encoder refused, a question was answered no, a file could not be written
    ecDiffers = 1,    // diff: the encoder differs from the file
    ecConnection = 2, // the port could not be had, or the link went away
    ecNoReply = 3,    // a command got no reply in time
    ecInvalid = 4,    // validation refused what was to be written: nothing was sent
    ecVerify = 5,     // the read-back after a write found a difference
    ecPartly = 6,     // a write stopped short after some of its commands were applied
    ecUsage = 64,     // bad usage, or a settings file that cannot be read
    ecInterrupted = 130,
};
