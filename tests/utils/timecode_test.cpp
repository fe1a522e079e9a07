#include "utils/timecode.h"

#include <gtest/gtest.h>

TEST(TimeCode, SplitsAndJoinsByTheSameRule)
{
    const TimeCode t(1, 2, 3, 4, 5);
    EXPECT_EQ(t.toMilliseconds(), ((86400 + 2 * 3600 + 3 * 60 + 4) * 1000LL) + 5);
    const TimeCode back = TimeCode::fromMilliseconds(t.toMilliseconds());
    EXPECT_EQ(back.days, 1);
    EXPECT_EQ(back.hours, 2);
    EXPECT_EQ(back.minutes, 3);
    EXPECT_EQ(back.seconds, 4);
    EXPECT_EQ(back.milliseconds, 5);
    EXPECT_EQ(TimeCode::fromMilliseconds(90061001).toString(), "01d 01h 01m 01s");
}

TEST(TimeCode, TextDropsLeadingZeroUnits)
{
    EXPECT_EQ(TimeCode(0, 0, 0, 0).toString(), "00m 00s");
    EXPECT_EQ(TimeCode(0, 0, 5, 7, 999).toString(), "05m 07s");
    EXPECT_EQ(TimeCode(0, 3, 0, 9).toString(), "03h 00m 09s");
    EXPECT_EQ(TimeCode(12, 0, 0, 0).toString(), "12d 00h 00m 00s");
}

TEST(TimeCode, OutOfRangeTotalsClampInsteadOfWrapping)
{
    EXPECT_EQ(TimeCode::fromMilliseconds(-5000).toMilliseconds(), 0);
    const qint64 tooLong = 300LL * 86400 * 1000;
    EXPECT_EQ(TimeCode::fromMilliseconds(tooLong).toMilliseconds(), TimeCode::MaximumMilliseconds);
    EXPECT_EQ(TimeCode::fromMilliseconds(tooLong).days, 255);
}
