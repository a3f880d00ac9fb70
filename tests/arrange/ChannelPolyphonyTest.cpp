// Tests of the polyphony limit: cuts and drops at each new group and the
// peak count. Hostile values meet the plain walk (PolyphonyWalkTest).
#include "arrange/ChannelPolyphony.h"

#include "arrange/ChannelQuantisation.h"
#include "core/Element.h"
#include "core/Message.h"
#include "support/Capture.h"
#include "support/ChannelBuild.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace {

class ChannelPolyphonyTest : public ::testing::Test {
protected:
    void SetUp() override { setVerbosity(Message::msgLevelDefault); }
    void TearDown() override { setVerbosity(Message::msgLevelDefault); }
};

// ---------------------------------------------------------------- fixPolyphony

TEST_F(ChannelPolyphonyTest, PolyphonyUnusedChannelReturnsZeroAndIsUnchanged)
{
    Channel ch; // used is false
    addNote(ch, {.time = 0, .pitch = 60, .duration = 1, .delta = 0, .length = 24});
    addNote(ch, {.time = 0, .pitch = 62, .duration = 1, .delta = 0, .length = 24});
    addNote(ch, {.time = 0, .pitch = 64, .duration = 1, .delta = 0, .length = 24});
    EXPECT_EQ(fixPolyphony(ch, 1), 0);
    EXPECT_EQ(ch.elements.size(), 3u);
}

TEST_F(ChannelPolyphonyTest, PolyphonyLimit2CutsTheNoteFrom12AtTheNewGroup)
{
    Channel ch;
    ch.used = true;
    const std::size_t held = addNote(ch, {.time = 0, .pitch = 60, .duration = 0, .delta = 0, .length = 48});
    const std::size_t mid = addNote(ch, {.time = 0, .pitch = 64, .duration = 0, .delta = 12, .length = 24});
    const std::size_t last = addNote(ch, {.time = 0, .pitch = 67, .duration = 0, .delta = 12, .length = 24});
    setVerbosity(7);
    ConsoleCapture capture;
    const int peak = fixPolyphony(ch, 2);
    const std::string out = capture.take();
    EXPECT_EQ(peak, 2);
    ASSERT_EQ(ch.elements.size(), 3u);
    EXPECT_EQ(noteAt(ch, held).pitch, 60);
    EXPECT_EQ(noteAt(ch, held).length, 48);
    EXPECT_EQ(noteAt(ch, mid).pitch, 64);
    EXPECT_EQ(noteAt(ch, mid).length, 12);
    EXPECT_EQ(noteAt(ch, last).pitch, 67);
    EXPECT_EQ(noteAt(ch, last).length, 24);
    EXPECT_EQ(out, "Debug:  polyphonyB 1 @ 1\n"
                   "Debug:  polyphonyA 2 @ 1\n");
}

TEST_F(ChannelPolyphonyTest, PolyphonyLimit3DropsTheLowestOfFourEqualNotes)
{
    Channel ch;
    ch.used = true;
    // Division 96; four quarter notes on tick 96, nothing before them.
    for (int pitch : {67, 60, 64, 62})
        addNote(ch, {.time = 96, .pitch = pitch, .duration = 96});
    ch.sort();
    quantise(ch, 96, false);
    ASSERT_EQ(noteAt(ch, 0).pitch, 60);
    ASSERT_EQ(noteAt(ch, 0).delta, 24);
    ASSERT_EQ(noteAt(ch, 1).delta, 0);
    setVerbosity(7);
    ConsoleCapture capture;
    const int peak = fixPolyphony(ch, 3);
    const std::string out = capture.take();
    EXPECT_EQ(peak, 3);
    ASSERT_EQ(ch.elements.size(), 3u);
    EXPECT_EQ(noteAt(ch, 0).pitch, 62);
    EXPECT_EQ(noteAt(ch, 0).delta, 24); // the dropped note's delta
    EXPECT_EQ(noteAt(ch, 1).pitch, 64);
    EXPECT_EQ(noteAt(ch, 1).delta, 0);
    EXPECT_EQ(noteAt(ch, 2).pitch, 67);
    EXPECT_EQ(noteAt(ch, 2).delta, 0);
    for (std::size_t k = 0; k < 3; ++k)
        EXPECT_EQ(noteAt(ch, k).length, 24);
    EXPECT_EQ(out, "Debug:  polyphonyB 2 @ 1.33333\n"
                   "Debug:  polyphonyB 3 @ 1.33333\n");
}

TEST_F(ChannelPolyphonyTest, PolyphonyLimit1KeepsOnlyTheHighestOfAChord)
{
    Channel ch;
    ch.used = true;
    addTempo(ch, 0, 120, 0);
    addNote(ch, {.time = 0, .pitch = 60, .duration = 96, .delta = 48, .length = 24});
    addNote(ch, {.time = 0, .pitch = 64, .duration = 96, .delta = 0, .length = 24});
    addNote(ch, {.time = 0, .pitch = 67, .duration = 96, .delta = 0, .length = 24});
    addNote(ch, {.time = 0, .pitch = 72, .duration = 96, .delta = 24, .length = 24}); // follows the chord: kept
    EXPECT_EQ(fixPolyphony(ch, 1), 1);
    ASSERT_EQ(ch.elements.size(), 3u);
    EXPECT_EQ(ch.elements[0].kind, ElementKind::Tempo);
    EXPECT_EQ(noteAt(ch, 1).pitch, 67);
    EXPECT_EQ(noteAt(ch, 1).delta, 48);
    EXPECT_EQ(noteAt(ch, 1).length, 24);
    EXPECT_EQ(noteAt(ch, 2).pitch, 72);
    EXPECT_EQ(noteAt(ch, 2).delta, 24);
}

TEST_F(ChannelPolyphonyTest, PolyphonyLimit1CutsAHeldNoteInsteadOfDroppingIt)
{
    Channel ch;
    ch.used = true;
    const std::size_t held = addNote(ch, {.time = 0, .pitch = 60, .duration = 0, .delta = 24, .length = 48});
    const std::size_t a = addNote(ch, {.time = 0, .pitch = 64, .duration = 0, .delta = 12, .length = 24});
    EXPECT_EQ(fixPolyphony(ch, 1), 1); // a begins a group; the held note is cut, count 1
    ASSERT_EQ(ch.elements.size(), 2u);
    EXPECT_EQ(noteAt(ch, held).pitch, 60);
    EXPECT_EQ(noteAt(ch, held).length, 12);
    EXPECT_EQ(noteAt(ch, a).pitch, 64);
    EXPECT_EQ(noteAt(ch, a).length, 24);
}

TEST_F(ChannelPolyphonyTest, PolyphonyJoiningNoteCutsTheHeldNoteFirst)
{
    // Step B: the first-listed sounding note is held from before: it is cut,
    // not dropped, and nothing leaves the list.
    Channel ch;
    ch.used = true;
    const std::size_t held = addNote(ch, {.time = 0, .pitch = 50, .duration = 0, .delta = 0,
                                          .length = 96}); // 0..96
    const std::size_t a = addNote(ch, {.time = 0, .pitch = 60, .duration = 0, .delta = 24,
                                       .length = 24});   // 24: group with held (2)
    const std::size_t b = addNote(ch, {.time = 0, .pitch = 62, .duration = 0, .delta = 0,
                                       .length = 24});    // 24: joins, 3 > 2
    EXPECT_EQ(fixPolyphony(ch, 2), 2);
    ASSERT_EQ(ch.elements.size(), 3u);
    EXPECT_EQ(noteAt(ch, held).pitch, 50);
    EXPECT_EQ(noteAt(ch, held).length, 24);
    EXPECT_EQ(noteAt(ch, a).pitch, 60);
    EXPECT_EQ(noteAt(ch, a).length, 24);
    EXPECT_EQ(noteAt(ch, b).pitch, 62);
    EXPECT_EQ(noteAt(ch, b).length, 24);
}

TEST_F(ChannelPolyphonyTest, PolyphonyCutGoesThroughCorrectLength)
{
    Channel ch;
    ch.used = true;
    const std::size_t held = addNote(ch, {.time = 0, .pitch = 60, .duration = 0, .delta = 0, .length = 48});
    addNote(ch, {.time = 0, .pitch = 64, .duration = 0, .delta = 9,
                 .length = 24}); // starts 9 after: cut to 9 -> 12
    ConsoleCapture capture;
    fixPolyphony(ch, 1);
    const std::string out = capture.take();
    ASSERT_EQ(ch.elements.size(), 2u);
    EXPECT_EQ(noteAt(ch, held).pitch, 60);
    EXPECT_EQ(noteAt(ch, held).length, 12);
    EXPECT_EQ(out, "WARN:   Warning! 1/32 not yet supported! Increasing to 1/16!\n");
}

TEST_F(ChannelPolyphonyTest, PolyphonyLimit0OnlyCounts)
{
    Channel ch;
    ch.used = true;
    addNote(ch, {.time = 0, .pitch = 60, .duration = 0, .delta = 0, .length = 96});
    addNote(ch, {.time = 0, .pitch = 64, .duration = 0, .delta = 0, .length = 96});
    addNote(ch, {.time = 0, .pitch = 67, .duration = 0, .delta = 0, .length = 96});
    addNote(ch, {.time = 0, .pitch = 70, .duration = 0, .delta = 24, .length = 24});
    addNote(ch, {.time = 0, .pitch = 72, .duration = 0, .delta = 0, .length = 24});
    EXPECT_EQ(fixPolyphony(ch, 0), 5);
    ASSERT_EQ(ch.elements.size(), 5u);
    for (std::size_t k = 0; k < 3; ++k)
        EXPECT_EQ(noteAt(ch, k).length, 96);
    EXPECT_EQ(noteAt(ch, 3).delta, 24);
    EXPECT_EQ(noteAt(ch, 4).length, 24);
}

TEST_F(ChannelPolyphonyTest, PolyphonyPeakZeroWhenNothingOverlapsAfterPosition0)
{
    Channel ch;
    ch.used = true;
    addTempo(ch, 0, 120, 0);
    addNote(ch, {.time = 0, .pitch = 60, .duration = 0, .delta = 24, .length = 24});
    addNote(ch, {.time = 0, .pitch = 62, .duration = 0, .delta = 24, .length = 24});
    addNote(ch, {.time = 0, .pitch = 64, .duration = 0, .delta = 30, .length = 6});
    EXPECT_EQ(fixPolyphony(ch, 1), 0);
    EXPECT_EQ(fixPolyphony(ch, 0), 0);
}

TEST_F(ChannelPolyphonyTest, PolyphonyPeakOneWhenTheFirstNoteIsAtPosition0)
{
    Channel ch;
    ch.used = true;
    addNote(ch, {.time = 0, .pitch = 60, .duration = 0, .delta = 0, .length = 24});
    addNote(ch, {.time = 0, .pitch = 62, .duration = 0, .delta = 24, .length = 24});
    setVerbosity(7);
    ConsoleCapture capture;
    EXPECT_EQ(fixPolyphony(ch, 0), 1);
    EXPECT_EQ(capture.take(), "Debug:  polyphonyB 1 @ 1\n");
}

TEST_F(ChannelPolyphonyTest, PolyphonyTraceAtPosition48)
{
    Channel ch;
    ch.used = true;
    addNote(ch, {.time = 0, .pitch = 60, .duration = 0, .delta = 48, .length = 24});
    addNote(ch, {.time = 0, .pitch = 62, .duration = 0, .delta = 0, .length = 24});
    setVerbosity(7);
    ConsoleCapture capture;
    EXPECT_EQ(fixPolyphony(ch, 0), 2);
    EXPECT_EQ(capture.take(), "Debug:  polyphonyB 2 @ 1.66667\n");
}

TEST_F(ChannelPolyphonyTest, PolyphonyDroppedDeltaGoesToTheElementRightAfter)
{
    Channel ch;
    ch.used = true;
    addNote(ch, {.time = 0, .pitch = 60, .duration = 0, .delta = 30, .length = 24});
    addVolume(ch, 0, 80, 0);
    addNote(ch, {.time = 0, .pitch = 62, .duration = 0, .delta = 0, .length = 24});
    EXPECT_EQ(fixPolyphony(ch, 1), 1);
    ASSERT_EQ(ch.elements.size(), 2u);
    const Element& vol = ch.elements[0]; // the volume change, now first
    ASSERT_EQ(vol.kind, ElementKind::Volume);
    EXPECT_EQ(vol.volume, 80);
    EXPECT_EQ(vol.delta, 30);
    EXPECT_EQ(noteAt(ch, 1).pitch, 62);
    EXPECT_EQ(noteAt(ch, 1).delta, 0);
}

TEST_F(ChannelPolyphonyTest, PolyphonyNeverExceedsTheLimitAndKeepsGridPositions)
{
    std::mt19937 rng(4242);
    setVerbosity(0); // correctLength warnings are expected here
    for (int round = 0; round < 200; ++round) {
        Channel ch;
        ch.used = true;
        const int n = static_cast<int>(rng() % 25);
        for (int k = 0; k < n; ++k) {
            if (rng() % 6 == 0)
                addVolume(ch, 0, k, static_cast<int>(rng() % 3) * 6);
            else
                addNote(ch, {.time = 0, .pitch = 60 + static_cast<int>(rng() % 12), .duration = 0,
                             .delta = (rng() % 2 == 0) ? 0 : static_cast<int>(rng() % 4) * 6,
                             .length = 6 * (1 + static_cast<int>(rng() % 6)), .velocity = k});
        }
        // Grid position of every element, by its number k (a note's
        // velocity, a volume's value), which is its index in the list.
        std::vector<int> positions;
        int pos = 0;
        for (const Element& e : ch.elements) {
            pos += e.delta;
            positions.push_back(pos);
        }
        const int limit = 1 + static_cast<int>(rng() % 3);
        const int peak = fixPolyphony(ch, limit);
        EXPECT_LE(peak, limit);
        pos = 0;
        std::vector<std::pair<int, int>> spans;
        for (const Element& e : ch.elements) {
            pos += e.delta;
            const int tag = tagOf(e);
            ASSERT_TRUE(tag >= 0 && static_cast<std::size_t>(tag) < positions.size());
            EXPECT_EQ(positions[static_cast<std::size_t>(tag)], pos) << "element " << tag;
            if (e.isNote())
                spans.emplace_back(pos, pos + e.length);
        }
        // At every note start, at most `limit` notes sound.
        for (const auto& [start, end] : spans) {
            (void)end;
            int sounding = 0;
            for (const auto& [s, e] : spans) {
                if (s <= start && start < e)
                    ++sounding;
            }
            EXPECT_LE(sounding, limit) << "round " << round;
        }
    }
}

TEST_F(ChannelPolyphonyTest, PolyphonyOnEmptyChannel)
{
    Channel ch;
    ch.used = true;
    EXPECT_EQ(fixPolyphony(ch, 2), 0);
}

} // namespace
