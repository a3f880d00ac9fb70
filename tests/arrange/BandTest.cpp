#include "arrange/Band.h"
#include "core/Element.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <random>
#include <vector>

namespace {

using Notes = std::array<std::vector<BandNote>, channelCount>;

// A line of quarter notes (division 96) over `keys`, from tick 0.
std::vector<BandNote> line(std::initializer_list<int> keys, int times = 1)
{
    std::vector<BandNote> notes;
    std::int64_t at = 0;
    for (int t = 0; t < times; ++t)
        for (int key : keys) {
            notes.push_back(BandNote{at, at + 96, key});
            at += 96;
        }
    return notes;
}

std::vector<std::vector<int>> groupsOf(const BandPlan& plan)
{
    std::vector<std::vector<int>> groups;
    for (const Player& player : plan.players)
        groups.push_back(player.channels);
    return groups;
}

// A bass, a middle voice and a melody four octaves above the bass: each is
// moved into the range without crossing, and grouped by register.
TEST(BandTest, BassMiddleAndMelodyForOneToThreePlayers)
{
    Notes notes;
    notes[0] = line({36, 38, 40, 41, 43}, 4);     // bass, an octave low
    notes[3] = line({60, 62, 64, 65, 67}, 2);     // middle, in range
    notes[5] = line({84, 86, 88, 89, 91}, 3);     // melody, an octave high
    const struct {
        int players;
        std::vector<std::vector<int>> groups;
    } cases[] = {
        {1, {{0, 3, 5}}},
        // Either cut spans 12 semitones; the bass has the most notes, so it
        // plays alone.
        {2, {{0}, {3, 5}}},
        {3, {{0}, {3}, {5}}},
        {16, {{0}, {3}, {5}}},
    };
    for (const auto& c : cases) {
        const BandPlan plan = arrangeBand(notes, c.players, 0, false);
        EXPECT_EQ(groupsOf(plan), c.groups) << c.players;
        EXPECT_EQ(plan.octaves[0], 1) << c.players;
        EXPECT_EQ(plan.octaves[3], 0) << c.players;
        EXPECT_EQ(plan.octaves[5], -1) << c.players;
        EXPECT_EQ(plan.notes, 45u);
        EXPECT_EQ(plan.inPlace, 45u);
        EXPECT_EQ(plan.playerOf[5], static_cast<int>(plan.players.size()) - 1);
        EXPECT_EQ(plan.playerOf[9], -1);
    }
}

// A bass just below the range and a tenor at its bottom, sounding together:
// each fitted on its own, the bass would land above the tenor. Both move up.
TEST(BandTest, MovesKeepTheVoicesInOrder)
{
    Notes notes;
    notes[1] = line({40, 43, 45, 47});
    notes[2] = line({48, 52, 53, 55});
    const BandPlan plan = arrangeBand(notes, 1, 0, false);
    EXPECT_EQ(plan.octaves[1], 1);
    EXPECT_EQ(plan.octaves[2], 1);
    EXPECT_EQ(plan.inPlace, 8u);
    EXPECT_EQ(plan.pairs, 4u);
    EXPECT_EQ(plan.pairsInOrder, 4u);
    // The same song transposed down an octave needs one more octave each.
    const BandPlan lower = arrangeBand(notes, 1, -12, false);
    EXPECT_EQ(lower.octaves[1], 2);
    EXPECT_EQ(lower.octaves[2], 2);
}

TEST(BandTest, PlayedPitchFoldsIntoTheRange)
{
    const int cases[][3] = {{47, 0, 59}, {36, 0, 48}, {48, 0, 48}, {83, 0, 83}, {84, 0, 72},
                            {84, 1, 84}, {85, 1, 73}, {-1, 0, 59}, {130, 0, 82}};
    for (const auto& c : cases)
        EXPECT_EQ(playedPitch(c[0], c[1] != 0), c[2]) << c[0];
}

// Random small songs: every channel with notes has a player, no single move
// of one channel and no one move of all channels scores better, and no other
// cut of the register order spans fewer semitones.
TEST(BandTest, OracleOnRandomSongs)
{
    std::mt19937 random(20261208);
    for (int round = 0; round < 150; ++round) {
        Notes notes;
        const int channels = 1 + static_cast<int>(random() % 6);
        for (int i = 0; i < channels; ++i) {
            const int c = static_cast<int>(random() % channelCount);
            const int centre = 20 + static_cast<int>(random() % 90);
            for (int n = static_cast<int>(random() % 12); n > 0; --n) {
                const auto start = static_cast<std::int64_t>(random() % 800);
                const auto length = static_cast<std::int64_t>(1 + random() % 300);
                notes[static_cast<std::size_t>(c)].push_back(
                    BandNote{start, start + length, centre + static_cast<int>(random() % 15) - 7});
            }
        }
        const int players = 1 + static_cast<int>(random() % 4);
        const int transpose = static_cast<int>(random() % 25) - 12;
        const bool upperC = random() % 2 == 0;
        const BandPlan plan = arrangeBand(notes, players, transpose, upperC);
        const auto score = [&](const BandPlan& p) { return bandScore(p.inPlace, p.notes, p.pairsInOrder, p.pairs); };
        const double best = score(plan);

        std::size_t used = 0, placed = 0;
        for (int c = 0; c < channelCount; ++c) {
            const std::size_t ci = static_cast<std::size_t>(c);
            used += notes[ci].empty() ? 0 : 1;
            EXPECT_EQ(plan.playerOf[ci] >= 0, !notes[ci].empty()) << round;
            if (notes[ci].empty())
                continue;
            ++placed;
            for (int k = -maxOctaveShift; k <= maxOctaveShift; ++k) {
                std::array<int, channelCount> other = plan.octaves;
                other[ci] = k;
                EXPECT_LE(score(countMoves(notes, other, transpose, upperC)), best + 1e-9) << round << " " << c;
            }
        }
        EXPECT_EQ(plan.players.size(), std::min<std::size_t>(used, static_cast<std::size_t>(players))) << round;
        for (int k = -maxOctaveShift; k <= maxOctaveShift; ++k) {
            std::array<int, channelCount> all{};
            all.fill(k);
            EXPECT_LE(score(countMoves(notes, all, transpose, upperC)), best + 1e-9) << round << " all " << k;
        }
        const BandPlan counted = countMoves(notes, plan.octaves, transpose, upperC);
        EXPECT_EQ(counted.inPlace, plan.inPlace);
        EXPECT_EQ(counted.pairsInOrder, plan.pairsInOrder);
        (void)placed;
    }
}

} // namespace
