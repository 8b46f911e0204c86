#pragma once
// Waiting on the main thread for something the workers bring about: their
// hand-overs (TThread::Synchronize) are served meanwhile, and between them the
// thread sleeps until the next hand-over arrives or the deadline passes. No
// fixed-period wake-up: a wait for something that never comes costs one
// wake-up, at its deadline.
//
// Done is evaluated on the main thread before every sleep, so it must depend
// only on what the main thread's hand-overs change (a worker that changes
// state without a hand-over wakes nobody).

#include <chrono>
#include <climits>
#include <cstdint>
#include <functional>

using TDeadline = std::chrono::steady_clock::time_point;

// A deadline that never passes.
constexpr TDeadline NoDeadline = TDeadline::max();

// The deadline Ms milliseconds from now; a negative or zero Ms is now.
TDeadline DeadlineIn(std::int64_t Ms);

// Serves hand-overs until Done() holds (answers true) or Deadline has passed
// (answers Done() then). Call on the main thread only. A caller whose Done
// also looks at what no hand-over announces (a toolkit's own events it serves
// in Done, a worker's counter) bounds each sleep with LongestSleepMs.
bool ServeUntil(const std::function<bool()>& Done, TDeadline Deadline, int LongestSleepMs = INT_MAX);

// Wakes a ServeUntil that sleeps, from any thread but the main one (a signal
// watcher, for one): an empty hand-over, after which Done is evaluated again.
void WakeMainThread();
