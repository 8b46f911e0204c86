// kvxctl: the console front end of the encoders manager. It drives the same
// encoder dialogue as the window (read, get, set, diff, write, factory
// defaults, clock) through a console view, runs the now-playing bridge
// (live), relays raw commands and lists the serial ports.

#include "command.h"
#include "command_line.h"
#include "exit_codes.h"
#include "interrupt.h"
#include "platform/thread.h"

int main(int argc, char** argv)
{
    TThread::SetMainThread();
    // Before any thread is made: every thread then leaves the two signals to the watcher.
    WatchInterrupts();
    TOptions O;
    if (const int Code = ParseOptions(argc, argv, O); Code >= 0)
        return Code;
    return Reporter().Finish(FindCommand(O.Command)->Run(O));
}
