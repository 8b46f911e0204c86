#pragma once
// How often a thread or a process has been switched out so far: a wait that
// should cost nothing shows up here as a number that does not move.

#include <string>

#include <sys/types.h>

// Voluntary plus involuntary context switches of this process's threads named
// Name (as the system shows it: at most 15 characters); -1 when none runs.
long ThreadSwitches(const std::string& Name);

// The same for a whole process (all its threads so far); -1 when it is gone.
long ProcessSwitches(pid_t Pid);
