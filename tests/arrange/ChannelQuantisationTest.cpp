#include "arrange/ChannelQuantisation.h"
#include "core/Element.h"
#include "core/Message.h"
#include "support/Capture.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <random>
#include <string>

namespace {

// The grid search as a plain loop over whole quarters: the reference that
// the direct computation must match.
int literalFindFraction(int ticks, int division, bool triplets)
{
    static const double plain[] = {2.5, 3.9, 8.1, 9.5, 14.5, 15.9, 20.1, 21.5};
    static const int plainFr[] = {0, 3, 6, 9, 12, 15, 18, 21};
    static const double trip[] = {2.6, 3.4, 4.6, 7.4, 8.6, 9.4, 14.6, 15.4, 16.6, 19.4, 20.6, 21.4};
    static const int tripFr[] = {0, 3, 4, 6, 8, 9, 12, 15, 16, 18, 20, 21};
    const double* limits = triplets ? trip : plain;
    const int* fractions = triplets ? tripFr : plainFr;
    const int size = triplets ? 12 : 8;

    long double x = static_cast<long double>(ticks) / (static_cast<long double>(division) / 24.0L);
    std::uint32_t whole = 0;
    for (;;) {
        for (int i = 0; i < size; ++i)
            if (x < static_cast<long double>(limits[i]))
                return static_cast<int>(static_cast<std::uint32_t>(fractions[i]) + 24u * whole);
        ++whole;
        x -= 24;
    }
}

class QuantisationTest : public ::testing::Test {
protected:
    void SetUp() override { setVerbosity(Message::msgLevelDefault); }
    void TearDown() override { setVerbosity(Message::msgLevelDefault); }
};

TEST_F(QuantisationTest, DivisionFourEightyCases)
{
    struct Case {
        int ticks;
        bool triplets;
        int fraction;
    };
    const Case cases[] = {
        {50, false, 3},  {50, true, 0},   {52, true, 0},   {52, false, 3},  {170, false, 9},
        {170, true, 8},  {160, false, 6}, {160, true, 8},  {640, false, 30}, {640, true, 32},
        {440, false, 24}, {0, false, 0},  {0, true, 0},    {1, false, 0},   {480, true, 24},
        {960, false, 48}, {1380, false, 69}, {1430, false, 72},
    };
    for (const Case& c : cases)
        EXPECT_EQ(quantiseTicks(c.ticks, 480, c.triplets), c.fraction)
            << c.ticks << " ticks, triplets " << c.triplets;
}

TEST_F(QuantisationTest, SpansExactlyOnABandLimit)
{
    // Division 480: 20 ticks to the 24th, so limit x 20 ticks lies exactly on
    // the decimal limit. Limits whose binary64 value lies above the decimal
    // keep such a span in the lower band, the others put it in the upper one.
    struct Case {
        int ticks; // limit x 20
        bool triplets;
        int fraction;
    };
    const Case cases[] = {
        // triplet grid
        {52, true, 0},   {68, true, 4},   {92, true, 6},   {148, true, 6},  {172, true, 9},
        {188, true, 9},  {292, true, 15}, {308, true, 15}, {332, true, 16}, {388, true, 20},
        {412, true, 20}, {428, true, 24},
        // plain grid
        {50, false, 3},  {78, false, 6},  {162, false, 9}, {190, false, 12}, {290, false, 15},
        {318, false, 15}, {402, false, 18}, {430, false, 24},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(quantiseTicks(c.ticks, 480, c.triplets), c.fraction)
            << c.ticks << " ticks, triplets " << c.triplets;
        // The same position one quarter later lands in the same band.
        EXPECT_EQ(quantiseTicks(c.ticks + 480, 480, c.triplets), c.fraction + 24)
            << c.ticks + 480 << " ticks, triplets " << c.triplets;
    }
}

TEST_F(QuantisationTest, DivisionIsDividedInExtendedPrecision)
{
    // 13 ticks at division 80 is 3.9 24ths only to within rounding; in the
    // extended format it is not below the limit 3.9 and snaps to 6.
    EXPECT_EQ(quantiseTicks(13, 80, false), 6);
}

TEST_F(QuantisationTest, DirectComputationMatchesTheQuarterLoop)
{
    std::mt19937 rng(12345);
    const int divisions[] = {1, 7, 24, 80, 96, 100, 120, 192, 240, 384, 480, 500, 960, 1000, 32767, 32640};
    for (int division : divisions) {
        std::uniform_int_distribution<int> span(0, division * 40);
        for (int i = 0; i < 3000; ++i) {
            const int ticks = span(rng);
            for (bool triplets : {false, true})
                ASSERT_EQ(quantiseTicks(ticks, division, triplets),
                          literalFindFraction(ticks, division, triplets))
                    << ticks << " at " << division << ", triplets " << triplets;
        }
        // Every tick around every band limit of the first quarters.
        for (int ticks = 0; ticks < 3 * division && ticks < 100000; ++ticks)
            for (bool triplets : {false, true})
                ASSERT_EQ(quantiseTicks(ticks, division, triplets),
                          literalFindFraction(ticks, division, triplets))
                    << ticks << " at " << division << ", triplets " << triplets;
    }
}

TEST_F(QuantisationTest, HugeAndNegativeSpansAreCheapAndDefined)
{
    // A span near 2^31 ticks at division 1 is about 2^31 quarters: the result
    // wraps modulo 2^32 and is computed without a loop over the quarters.
    const int huge = quantiseTicks(INT_MAX, 1, false);
    const std::uint32_t expected = 24u * static_cast<std::uint32_t>(INT_MAX);
    EXPECT_EQ(static_cast<std::uint32_t>(huge), expected);
    EXPECT_EQ(quantiseTicks(INT_MAX, 480, true), literalFindFraction(INT_MAX, 480, true));
    EXPECT_EQ(quantiseTicks(-5, 480, false), 0);
    EXPECT_EQ(quantiseTicks(INT_MIN, 96, true), 0);
}

TEST_F(QuantisationTest, CorrectLengthWithItsWarnings)
{
    struct Case {
        int in, out;
        const char* messages;
    };
    const Case cases[] = {
        {0, 6, "WARN:   Warning! Setting note length to 0!\n"},
        {6, 6, ""},
        {24, 24, ""},
        {3, 6, "WARN:   Warning! 1/32 not yet supported! Increasing to 1/16!\n"},
        {9, 12, "WARN:   Warning! 1/32 not yet supported! Increasing to 1/16!\n"},
        {-3, 0, "WARN:   Warning! 1/32 not yet supported! Increasing to 1/16!\n"},
    };
    for (const Case& c : cases) {
        ConsoleCapture capture;
        EXPECT_EQ(correctLength(c.in), c.out) << c.in;
        EXPECT_EQ(capture.take(), c.messages) << c.in;
    }
}

// A length cut between grid positions is neither a sixteenth, a 32nd nor a
// triplet: it plays the nearest sixteenth, at least one, with one warning.
TEST_F(QuantisationTest, OffGridLengthsRoundToTheNearestSixteenth)
{
    const int cases[][2] = {{1, 6},   {2, 6},   {5, 6},   {7, 6},   {10, 12},         {11, 12},
                            {14, 12}, {26, 24}, {46, 48}, {50, 48}, {INT_MAX, INT_MAX - 1}, {-7, 6}};
    for (const auto& c : cases) {
        ConsoleCapture capture;
        EXPECT_EQ(correctLength(c[0]), c[1]) << c[0];
        EXPECT_EQ(capture.take(),
                  "WARN:   Warning! Note length " + std::to_string(c[0]) + " is off the grid! Rounding to nearest 1/16!\n")
            << c[0];
    }
}

// Every triplet length goes to the nearest sixteenth, with the one warning,
// however long it is.
TEST_F(QuantisationTest, TripletLengthsClampToTheNearestSixteenth)
{
    const int cases[][2] = {{4, 6},   {8, 6},   {16, 18}, {20, 18}, {28, 30}, {32, 30},   {40, 42},
                            {44, 42}, {52, 54}, {56, 54}, {64, 66}, {-4, -6}, {INT_MIN, INT_MIN + 2}};
    for (const auto& c : cases) {
        ConsoleCapture capture;
        EXPECT_EQ(correctLength(c[0]), c[1]) << c[0];
        EXPECT_EQ(capture.take(), "WARN:   Warning! Triplets not yet supported! Clamping to nearest 1/16!\n") << c[0];
    }
}

TEST_F(QuantisationTest, SmoothMeasuresFromThePreviousElementsTime)
{
    Channel channel;
    channel.elements.push_back(Element::makeTempo(0, 0, 100));
    Element first = Element::makeNote(480, 0, 60, 100);
    first.duration = 170;
    channel.elements.push_back(first);
    channel.elements.push_back(Element::makeVolume(1000, 0, 90));
    Element second = Element::makeNote(1010, 0, 62, 100);
    second.duration = 1;
    channel.elements.push_back(second);

    ConsoleCapture capture;
    quantise(channel, 480, false);
    EXPECT_EQ(capture.take(), "WARN:   Warning! 1/32 not yet supported! Increasing to 1/16!\n"
                              "WARN:   Warning! Setting note length to 0!\n");
    EXPECT_EQ(channel.elements[0].delta, 0);
    EXPECT_EQ(channel.elements[1].delta, 24);
    EXPECT_EQ(channel.elements[1].length, 12);
    EXPECT_EQ(channel.elements[2].delta, 24); // 520 ticks
    EXPECT_EQ(channel.elements[3].delta, 0);  // 10 ticks from the volume change
    EXPECT_EQ(channel.elements[3].length, 6);
}

} // namespace
