#pragma once
// Assertion failures of the framework: thrown with exactly the given text.

#include <stdexcept>
#include <string>

class EAssertionFailed : public std::logic_error {
public:
    using std::logic_error::logic_error;
};

// Throws EAssertionFailed with Message when Condition is false.
inline void Assert(bool Condition, const std::string& Message)
{
    if (!Condition)
        throw EAssertionFailed(Message);
}
