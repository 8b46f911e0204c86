#pragma once
// A system clock for tests: while a MovingClock lives, every reading of the
// real-time clock through clock_gettime gives the next instant of a series
// (start, start + step, ...). Other clocks and other times pass through.

#include <cstdint>

class MovingClock {
public:
    MovingClock(std::int64_t StartMs, std::int64_t StepMs);
    ~MovingClock();
    MovingClock(const MovingClock&) = delete;
    MovingClock& operator=(const MovingClock&) = delete;

    // Readings of the real-time clock so far.
    int Readings() const;
};
