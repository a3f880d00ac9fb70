// Amounts and notes as the departure report writes them.
#include "convert/AmountText.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

namespace {

TEST(AmountTextTest, TimesNotesAndCounts)
{
    const struct {
        std::int64_t twentyFourths;
        const char* signedSixteenths;
        const char* value;
    } times[] = {
        {0, "0", "0/1"},         {6, "+1", "1/16"},    {-3, "-1/2", "1/32"},
        {10, "+5/3", "5/48"},    {96, "+16", "a whole note"}, {-204, "-34", "2 whole notes and 1/8"},
    };
    for (const auto& t : times) {
        EXPECT_EQ(sixteenths(t.twentyFourths), t.signedSixteenths) << t.twentyFourths;
        EXPECT_EQ(noteValue(t.twentyFourths), t.value) << t.twentyFourths;
    }
    EXPECT_EQ(sixteenths(12, false), "2");
    EXPECT_EQ(sixteenths(-12, false), "-2");

    const struct {
        int pitch;
        const char* name;
    } notes[] = {{60, "C4"}, {61, "C#4"}, {0, "C-1"}, {-1, "B-2"}, {127, "G9"}, {-13, "B-3"}};
    for (const auto& n : notes)
        EXPECT_EQ(noteName(n.pitch), n.name) << n.pitch;
    EXPECT_EQ(noteName(std::numeric_limits<int>::min()).empty(), false);

    EXPECT_EQ(floorDivide(-1, 6), -1);
    EXPECT_EQ(floorDivide(6, 6), 1);
    EXPECT_EQ(floorDivide(-6, 6), -1);
    EXPECT_EQ(grouped(0), "0");
    EXPECT_EQ(grouped(999), "999");
    EXPECT_EQ(grouped(2431), "2,431");
    EXPECT_EQ(grouped(1234567), "1,234,567");
}

} // namespace
