// Where a split song may be cut and which cuts are chosen: bar lines and
// beats from the time signatures, bars kept whole where they fit, beats
// only where a bar alone is too long.
#include "convert/SplitCuts.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

constexpr int division = 96; // ticks per quarter
constexpr int beat = 24;     // grid units (24ths of a quarter)

// The positions of `places`, bar lines marked by a negative sign (0 stays 0).
std::vector<long long> marked(const std::vector<Place>& places)
{
    std::vector<long long> result;
    for (const Place& place : places)
        result.push_back(place.bar ? -place.at : place.at);
    return result;
}

// One channel with a note on every beat of `beats`, each taking `letters` characters.
Lane everyBeat(int beats, int letters)
{
    Lane lane;
    for (int k = 0; k < beats; ++k) {
        lane.starts.push_back(k * beat);
        lane.letters.push_back(static_cast<std::size_t>(k * letters));
        lane.spanStarts.push_back(k * beat);
        lane.spanEnds.push_back((k + 1) * beat);
    }
    lane.textSize = static_cast<std::size_t>(beats * letters);
    lane.end = beats * beat;
    return lane;
}

TEST(SplitCutsTest, PlacesAreTheBarLinesAndBeatsOfTheTimeSignatures)
{
    const struct {
        std::vector<TimeSignature> signatures;
        std::int64_t end;
        std::vector<long long> want;
    } cases[] = {
        {{}, 8 * beat, {0, 24, 48, 72, -96, 120, 144, 168, -192}},
        {{{0, 3, 4}}, 6 * beat, {0, 24, 48, -72, 96, 120, -144}},
        // 2/4, then 6/8 from the second bar: eighths as beats, six to the bar.
        {{{0, 2, 4}, {2 * division, 6, 8}}, 5 * beat, {0, 24, -48, 60, 72, 84, 96, 108, -120}},
    };
    for (const auto& c : cases) {
        const Bars bars(division, c.signatures);
        EXPECT_EQ(marked(cutPlaces({}, bars, division, c.end)), c.want) << c.signatures.size() << " signatures";
    }
}

TEST(SplitCutsTest, NotesSoundingAcrossAPlaceAreCounted)
{
    Lane held = everyBeat(4, 10);
    held.spanEnds = {48, 72, 96, 96}; // the first two notes are held over the next beat
    const std::vector<Place> nodes = cutPlaces({held}, Bars(division, {}), division, 96);
    std::vector<std::int64_t> across;
    for (const Place& place : nodes)
        across.push_back(place.across);
    EXPECT_EQ(across, (std::vector<std::int64_t>{0, 1, 1, 1, 0}));
}

TEST(SplitCutsTest, BarsAreKeptWholeWhereTheyFitAndCutAtBeatsWhereNot)
{
    // Four bars of a note a beat, 10 characters each: a bar takes 40 characters
    // and a piece's overhead.
    const std::vector<Lane> lanes{everyBeat(16, 10)};
    const std::vector<Place> nodes = cutPlaces(lanes, Bars(division, {}), division, 16 * beat);
    const struct {
        std::int64_t budget;
        std::vector<long long> starts; // where the pieces start, in grid units
    } cases[] = {
        {1000, {0}},                      // everything fits in one
        {140, {0, 192}},                  // two bars a piece, as even as can be
        {70, {0, 96, 192, 288}},          // a bar a piece
        {45, {0, 48, 96, 144, 192, 240, 288, 336}}, // a bar is too long: halves at beats
    };
    for (const auto& c : cases) {
        std::vector<long long> starts;
        for (std::size_t i : chooseCuts(lanes, nodes, c.budget))
            starts.push_back(nodes[i].at);
        EXPECT_EQ(starts, c.starts) << "budget " << c.budget;
    }
}

} // namespace
