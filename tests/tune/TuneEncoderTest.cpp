// The rest and volume tokens the encoder writes.
#include "tune/TuneEncoder.h"

#include "tune/TuneText.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

namespace {

TEST(TuneEncoderTest, PutVolumeSteps)
{
    const struct {
        int current;
        int wanted;
        const char* text;
    } cases[] = {{6, 7, "}"}, {7, 6, "{"}, {7, 5, "%5"}, {5, 7, "%7"}, {10, 10, ""},
                 {8, 10, "%"}, {9, 10, "}"}, {1, 10, "%"}, {10, 1, "%1"}, {10, 9, "{"}};
    for (const auto& c : cases) {
        TuneText out;
        int current = c.current;
        TuneEncoder::putVolume(out, current, c.wanted);
        EXPECT_EQ(out.str(), c.text) << c.current << "->" << c.wanted;
        EXPECT_EQ(current, c.wanted);
        EXPECT_FALSE(out.cut());
    }
}

TEST(TuneEncoderTest, AddPauseWritesWholeRests)
{
    const struct {
        int n;
        const char* text;
    } cases[] = {{-5, ""}, {0, ""}, {1, "p1"}, {2, "p"}, {3, "p3"}, {4, "p4"}, {8, "p8"},
                 {10, "p8p"}, {12, "p8p4"}, {16, "p8p8"}, {17, "p8p8p1"}, {26, "p8p8p8p"}};
    for (const auto& c : cases) {
        TuneText out;
        TuneEncoder::addPause(out, c.n);
        EXPECT_EQ(out.str(), c.text) << c.n;
    }
}

TEST(TuneEncoderTest, AddPauseStopsAtCapExactly)
{
    static_assert(TuneText::maxText == 4950000);
    TuneText out;
    ASSERT_TRUE(out.put(std::string(4949998, 'x')));
    TuneEncoder::addPause(out, 8);
    EXPECT_FALSE(out.cut());
    EXPECT_EQ(out.str().size(), 4950000u);
    TuneEncoder::addPause(out, 1);
    EXPECT_TRUE(out.cut());
    EXPECT_EQ(out.str().size(), 4950000u);

    TuneText odd;
    ASSERT_TRUE(odd.put(std::string(4949999, 'x')));
    TuneEncoder::addPause(odd, INT_MAX);
    EXPECT_TRUE(odd.cut());
    EXPECT_EQ(odd.str().size(), 4950000u);
    EXPECT_EQ(odd.str().back(), 'p');
}

} // namespace
