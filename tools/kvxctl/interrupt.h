#pragma once
// SIGINT and SIGTERM, taken by a thread of their own: the program is told
// through a flag, a wake-up of the main thread's wait (ServeUntil) and a
// descriptor that a question on the terminal watches. No signal handler runs
// in the middle of the program's work.

#include <string>

// Blocks the two signals in every thread the program makes from here on and
// starts the thread that takes them. Call first, before any other thread.
void WatchInterrupts();

// Whether SIGINT or SIGTERM came.
bool Interrupted();
// A descriptor that becomes readable when SIGINT or SIGTERM comes (and
// stays so), for a thread that waits on descriptors; -1 before WatchInterrupts.
int InterruptFd();

// Reads a line of standard input (without its line end). False at its end,
// on an error, or when an interrupt comes first.
bool ReadAnswerLine(std::string& Line);
