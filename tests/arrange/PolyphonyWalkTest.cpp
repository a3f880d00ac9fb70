// Tests of what the polyphony passes share: where the one-walk passes hand
// over to the plain walk, and the plain walk on hostile values.
#include "arrange/PolyphonyWalk.h"

#include "core/Element.h"
#include "core/Message.h"
#include "support/Capture.h"
#include "support/ChannelBuild.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstddef>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace {

class PolyphonyWalkTest : public ::testing::Test {
protected:
    void TearDown() override { setVerbosity(Message::msgLevelDefault); }
};

constexpr int bound = 1 << 29;

// An element of a case: a note, or a volume change, with its delta.
struct Step {
    bool note;
    int delta;
    int length;
};

// The notes handed over, each with its position, up to the first one out of
// bounds, and where the plain walk takes over: the next element and the
// position of the one before it, as a sum that wraps.
TEST_F(PolyphonyWalkTest, WalkInBoundsStopsAtTheFirstNoteOutOfBounds)
{
    using Visits = std::vector<std::pair<std::size_t, int>>;
    struct Case {
        const char* name;
        std::vector<Step> steps;
        Visits visits;
        std::optional<std::pair<std::size_t, int>> stop;
    };
    const std::vector<Case> cases = {
        {"a volume's delta counts", {{true, 0, 24}, {false, 12, 0}, {true, 12, 24}}, {{0, 0}, {2, 24}}, {}},
        {"position at the bound", {{true, bound, 6}}, {{0, bound}}, {}},
        {"position past the bound", {{true, bound, 6}, {true, 1, 6}}, {{0, bound}}, {{1, bound}}},
        {"lengths at the bounds", {{true, 0, bound}, {true, 0, -bound}}, {{0, 0}, {1, 0}}, {}},
        {"length past the bound", {{true, 24, 6}, {true, 0, bound + 1}}, {{0, 24}}, {{1, 24}}},
        {"length below the bound", {{true, 24, 6}, {true, 6, -bound - 1}}, {{0, 24}}, {{1, 24}}},
        {"shortest length", {{true, 6, INT_MIN}}, {}, {{0, 0}}},
        {"negative delta of a note", {{true, 48, 6}, {true, -24, 6}}, {{0, 48}}, {{1, 48}}},
        {"negative delta of a volume", {{true, 24, 6}, {false, -12, 0}, {true, 0, 6}}, {{0, 24}}, {{2, 12}}},
        {"wrapped position", {{true, INT_MAX, 6}, {true, INT_MAX, 6}}, {}, {{0, 0}}},
        {"no notes", {{false, INT_MIN, 0}, {false, -1, 0}}, {}, {}},
    };
    for (const Case& c : cases) {
        Channel ch;
        for (const Step& step : c.steps) {
            if (step.note)
                addNote(ch, {.delta = step.delta, .length = step.length});
            else
                addVolume(ch, 0, 100, step.delta);
        }
        Visits visits;
        const std::optional<PolyphonyWalkState> stop =
            walkInBounds(ch.elements, [&visits](std::size_t i, int now) { visits.emplace_back(i, now); });
        EXPECT_EQ(visits, c.visits) << c.name;
        ASSERT_EQ(stop.has_value(), c.stop.has_value()) << c.name;
        if (stop) {
            EXPECT_EQ(stop->next, c.stop->first) << c.name;
            EXPECT_EQ(stop->position, c.stop->second) << c.name;
            EXPECT_EQ(stop->count, 0) << c.name;
            EXPECT_EQ(stop->peak, 0) << c.name;
        }
    }
}

TEST_F(PolyphonyWalkTest, HostileValuesStaySafe)
{
    Channel ch;
    ch.used = true;
    addNote(ch, {.time = 0, .pitch = 60, .duration = 0, .delta = INT_MAX, .length = INT_MAX});
    addNote(ch, {.time = 0, .pitch = 62, .duration = 0, .delta = INT_MAX, .length = INT_MAX});
    addNote(ch, {.time = 0, .pitch = 64, .duration = 0, .delta = 0, .length = -5});
    addNote(ch, {.time = 0, .pitch = 65, .duration = 0, .delta = 0, .length = 0});
    addNote(ch, {.time = 0, .pitch = 66, .duration = 0, .delta = INT_MIN, .length = INT_MIN});
    addVolume(ch, 0, 100, 0);
    addNote(ch, {.time = 0, .pitch = 67, .duration = 0, .delta = 0, .length = 6});
    setVerbosity(0);
    for (int limit : {0, 1, 2, -1}) {
        walkPolyphony(ch.elements, limit);
        EXPECT_FALSE(ch.elements.empty());
    }
}

} // namespace
