#include "tune/OctaveFit.h"

#include "core/Element.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// A channel of notes of `pitches`, with a tempo and a volume change that
// must not count as notes.
std::vector<Element> channelOf(const std::vector<int>& pitches)
{
    std::vector<Element> elements{Element::makeTempo(0, 0, 100), Element::makeVolume(0, 0, 20)};
    for (int pitch : pitches)
        elements.push_back(Element::makeNote(0, 0, pitch, 100));
    return elements;
}

TEST(OctaveFitTest, FewestNotesOutsideThenSmallestMoveThenUp)
{
    const struct {
        const char* name;
        std::vector<int> pitches;
        int transpose;
        bool upperC;
        OctaveFit fit; // octaves, outside, outside after the move
    } cases[] = {
        {"in range: no move", {48, 60, 83}, 0, false, {0, 0, 0}},
        {"a bass line two octaves low", {24, 28, 31, 35, 26}, 0, false, {2, 5, 0}},
        {"above the range", {90, 95, 100}, 0, false, {-2, 3, 0}},
        {"more than three octaves: fewest outside, not the smallest move", {36, 40, 60, 72, 84, 90}, 0, false,
         {-1, 4, 2}},
        {"a tie of up and down: up", {42, 90}, 0, false, {1, 2, 1}},
        {"a tie with no move: no move", {40, 80}, 0, false, {0, 1, 1}},
        {"84 is out of range", {60, 84}, 0, false, {-1, 1, 0}},
        {"84 is in range with the upper c", {60, 84}, 0, true, {0, 0, 0}},
        {"85 is not", {61, 85}, 0, true, {-1, 1, 0}},
        {"the transposition counts", {60, 64, 67}, 24, false, {-1, 3, 0}},
        {"ten octaves up", {0}, -72, false, {10, 1, 0}},
        {"eleven octaves up: no move helps", {0}, -73, false, {0, 1, 1}},
        {"ten octaves down", {127}, 76, false, {-10, 1, 0}},
        {"eleven octaves down: no move helps", {127}, 77, false, {0, 1, 1}},
        {"pitches near the int range wrap, as the encoder's do", {0x7FFFFFF0}, 0x10, false, {0, 1, 1}},
        {"no notes", {}, 0, false, {0, 0, 0}},
    };
    for (const auto& c : cases) {
        const OctaveFit fit = fitOctaves(channelOf(c.pitches), c.transpose, c.upperC);
        EXPECT_EQ(fit.octaves, c.fit.octaves) << c.name;
        EXPECT_EQ(fit.outside, c.fit.outside) << c.name;
        EXPECT_EQ(fit.outsideMoved, c.fit.outsideMoved) << c.name;
    }
}

} // namespace
