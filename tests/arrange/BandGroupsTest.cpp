// Cutting a band's voices, ordered by register, into players.
#include "arrange/BandGroups.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <vector>

TEST(BandGroupsTest, RunsSpanTheFewestSemitonesThenTheBusiestPlayerIsSmallest)
{
    const struct {
        std::vector<Voice> voices; // channel, median, notes
        std::size_t groups;
        std::vector<std::size_t> ends;
    } cases[] = {
        // Two low voices and two high ones.
        {{{0, 40, 1}, {1, 45, 1}, {2, 70, 1}, {3, 72, 1}}, 2, {2, 4}},
        // Either cut spans ten semitones: the one whose busiest player has
        // fewer notes wins, though the other is found first.
        {{{0, 50, 10}, {1, 60, 1}, {2, 70, 100}}, 2, {2, 3}},
        {{{0, 50, 100}, {1, 60, 1}, {2, 70, 10}}, 2, {1, 3}},
        // As many players as voices, and one player for all.
        {{{0, 50, 1}, {1, 60, 1}, {2, 70, 1}}, 3, {1, 2, 3}},
        {{{0, 50, 1}, {1, 60, 1}, {2, 70, 1}}, 1, {3}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(bestCut(c.voices, c.groups), c.ends) << c.voices.size() << " voices, " << c.groups << " groups";
}

TEST(BandGroupsTest, VoicesAreOrderedByTheirMovedMedian)
{
    std::array<std::vector<BandNote>, channelCount> notes;
    notes[0] = {{0, 96, 72}, {96, 192, 74}, {192, 288, 76}}; // median 74
    notes[3] = {{0, 96, 50}};                                 // 50, moved up two octaves: 74
    notes[5] = {{0, 96, 60}, {0, 96, 62}};                    // median 62
    std::array<int, channelCount> moves{};
    moves[3] = 2;
    std::vector<int> order;
    for (const Voice& voice : registerOrder(notes, moves))
        order.push_back(voice.channel);
    EXPECT_EQ(order, (std::vector<int>{5, 0, 3}));
}
