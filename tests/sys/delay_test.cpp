#include "sys/delay.h"

#include <gtest/gtest.h>

TEST(DelayUnits, TableAndDueTime) {
    EXPECT_EQ(sys::DelayUnitMilliseconds(0), 1);
    EXPECT_EQ(sys::DelayUnitMilliseconds(1), 1000);
    EXPECT_EQ(sys::DelayUnitMilliseconds(2), 60000);
    EXPECT_EQ(sys::DelayUnitMilliseconds(3), 3600000);
    EXPECT_EQ(sys::DelayUnitMilliseconds(250), 250);
    EXPECT_EQ(sys::DelayUnitMilliseconds(-4), -4);
    EXPECT_EQ(sys::DelayDueTime(2, 0), -20000);
    EXPECT_EQ(sys::DelayDueTime(2, 2), -1200000000LL);
    EXPECT_EQ(sys::DelayDueTime(3, 250), -7500000);
    EXPECT_EQ(sys::DelayDueTime(0, 0), 0);
    EXPECT_GT(sys::DelayDueTime(-5, 0), 0);  // not in the future: the timer fires at once
    // 2^31-1 hours does not overflow the 64-bit due time's sign.
    EXPECT_LT(sys::DelayDueTime(2147483647, 3), 0);
}

TEST(DelayWithMessages, NonPositiveAmountReturnsAtOnce) {
    EXPECT_TRUE(sys::DelayWithMessages(0));
    EXPECT_TRUE(sys::DelayWithMessages(-100, 1));
}
