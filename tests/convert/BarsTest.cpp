// Bars and beats as a player counts them: 4/4 until the first signature, a
// signature starting a new bar, unusable signatures ignored, fractions of a
// beat in lowest terms, and the ends of the range without overflow.
#include "convert/Bars.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

namespace {

constexpr int division = 96;                        // ticks per quarter
constexpr std::int64_t quarter = 24 * division;     // a quarter in 24ths of a tick

TEST(BarsTest, PlacesAreBarAndBeatWithTheFractionInLowestTerms)
{
    const struct {
        std::vector<TimeSignature> signatures;
        std::int64_t position;
        std::string want;
    } cases[] = {
        {{}, 0, "1:1"},
        {{}, 5 * quarter, "2:2"},
        {{}, quarter / 2, "1:1+1/2"},
        {{}, quarter / 3, "1:1+1/3"},
        {{}, quarter / 24 * 5, "1:1+5/24"},
        {{}, -quarter, "1:1"},                                   // before the start
        {{{0, 3, 4}}, 3 * quarter, "2:1"},                       // 3/4 from the start
        {{{0, 6, 8}}, quarter / 2 * 7, "2:2"},                    // eighths as beats
        // 3/4 from the middle of bar 2: the bar it cuts short counts whole.
        {{{6 * division, 3, 4}}, 6 * quarter, "3:1"},
        {{{6 * division, 3, 4}}, 9 * quarter, "4:1"},
        // Of two at one tick the last counts; unusable ones are ignored.
        {{{0, 2, 4}, {0, 3, 4}, {0, 0, 4}, {0, 3, 128}, {-1, 5, 4}}, 3 * quarter, "2:1"},
        {{}, std::numeric_limits<std::int64_t>::max(), "1000799917193444:3+5/24"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Bars(division, c.signatures).place(c.position), c.want) << "at " << c.position;
}

TEST(BarsTest, ABarOrMoreFollowsTheMetreAtThePlace)
{
    const Bars bars(division, {{4 * division, 3, 8}});
    EXPECT_TRUE(bars.barOrMore(0, 16));            // 4/4: 16 sixteenths
    EXPECT_FALSE(bars.barOrMore(0, 15));
    EXPECT_TRUE(bars.barOrMore(0, -16));           // either sign
    EXPECT_TRUE(bars.barOrMore(4 * quarter, 6));   // 3/8: 6 sixteenths
    EXPECT_FALSE(bars.barOrMore(4 * quarter, 5));
    EXPECT_TRUE(bars.barOrMore(0, std::numeric_limits<std::int64_t>::min()));
}

} // namespace
