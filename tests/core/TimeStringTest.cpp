#include "core/TimeString.h"

#include <gtest/gtest.h>

namespace {

TEST(TimeStringTest, EuclidGcdKeepsEuclidsSigns)
{
    struct Case {
        int a, b, gcd;
    };
    const Case cases[] = {{24, 18, 6}, {12, 0, 12}, {0, 5, 5}, {0, 0, 0}, {480, 120, 120},
                          {480, 1000 % 480, 40}, {7, 3, 1}, {-2147483647 - 1, -1, -1}};
    for (const Case& c : cases)
        EXPECT_EQ(euclidGcd(c.a, c.b), c.gcd) << c.a << ", " << c.b;
}

} // namespace
