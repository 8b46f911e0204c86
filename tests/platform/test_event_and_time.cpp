#include "platform/assertion.h"
#include "platform/date_time.h"
#include "platform/event.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <ctime>

namespace {

struct Handler {
    int Calls = 0;
    int Last = 0;
    void OnValue(int v, bool& proceed)
    {
        ++Calls;
        Last = v;
        proceed = true;
    }
    void OnOther(int, bool&) { }
};

struct Derived : Handler {
    virtual ~Derived() = default;
    virtual void OnVirtual(int, bool&) { }
};

using TValueEvent = TEvent<int, bool&>;

TEST(Event, CallsTheObjectsMethodWithReferenceArguments)
{
    Handler h;
    TValueEvent e(&h, &Handler::OnValue);
    bool proceed = false;
    e(7, proceed);
    EXPECT_TRUE(proceed);
    EXPECT_EQ(h.Calls, 1);
    EXPECT_EQ(h.Last, 7);
    TValueEvent none;
    EXPECT_FALSE(none.Assigned());
    none(1, proceed); // an unassigned event does nothing
}

TEST(Event, EqualityComparesTheCodeNotTheObject)
{
    Handler a, b;
    Derived d1, d2;
    EXPECT_EQ(TValueEvent(&a, &Handler::OnValue), TValueEvent(&b, &Handler::OnValue));
    EXPECT_NE(TValueEvent(&a, &Handler::OnValue), TValueEvent(&a, &Handler::OnOther));
    EXPECT_EQ(TValueEvent(&d1, &Derived::OnVirtual), TValueEvent(&d2, &Derived::OnVirtual));
    EXPECT_NE(TValueEvent(&d1, &Derived::OnVirtual), TValueEvent(&d1, &Derived::OnValue));
    EXPECT_NE(TValueEvent(&a, &Handler::OnValue), TValueEvent());
    EXPECT_EQ(TValueEvent(), TValueEvent(nullptr));
}

TEST(Assertion, ThrowsWithTheExactMessage)
{
    EXPECT_NO_THROW(Assert(true, "never"));
    try {
        Assert(false, "Conn Version Differs");
        FAIL();
    } catch (const EAssertionFailed& e) {
        EXPECT_STREQ(e.what(), "Conn Version Differs");
    }
}

TEST(DateTime, NowIsLocalDaysSince1899)
{
    const char* old = std::getenv("TZ");
    const std::string saved = old ? old : "";
    setenv("TZ", "UTC-3", 1); // three hours east of UTC
    tzset();
    const double utcDays = 25569.0 + static_cast<double>(std::time(nullptr)) / 86400.0;
    const double local = Now();
    if (old)
        setenv("TZ", saved.c_str(), 1);
    else
        unsetenv("TZ");
    tzset();
    EXPECT_NEAR(local - utcDays, 3.0 / 24.0, 2.0 / 86400.0);
}

TEST(DateTime, TicksAreNeverZeroAndNeverGoBack)
{
    const std::int64_t a = TickMs();
    EXPECT_NE(a, 0);
    EXPECT_GE(TickMs(), a);
    EXPECT_EQ(MsSince(0), 0);
    EXPECT_EQ(MsSince(TickMs() + 100000), 0);
    EXPECT_GE(MsSince(a - 50), 50);
}

} // namespace
