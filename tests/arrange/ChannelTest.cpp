// Tests of the element order, lowest pitch, tempo copies, removal of
// identical notes and the element dump.
#include "arrange/Channel.h"

#include "core/Element.h"
#include "core/Message.h"
#include "support/Capture.h"
#include "support/ChannelBuild.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstddef>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace {

// The order as a three-way comparison: negative when `a` goes before `b`,
// positive when `b` goes before `a`, 0 when neither does.
int cmp(const Element& a, const Element& b)
{
    const bool ab = Channel::before(a, b);
    const bool ba = Channel::before(b, a);
    EXPECT_FALSE(ab && ba) << "before() holds both ways";
    return ab ? -1 : (ba ? 1 : 0);
}

int sign(int v)
{
    return (v > 0) - (v < 0);
}

class ChannelTest : public ::testing::Test {
protected:
    void SetUp() override { setVerbosity(Message::msgLevelDefault); }
    void TearDown() override { setVerbosity(Message::msgLevelDefault); }
};

// ---------------------------------------------------------------- compare

TEST_F(ChannelTest, CompareEarlierTimeFirstWhateverKind)
{
    Element early = Element::makeNote(10, 0, 90, 64);
    early.duration = 1;
    const Element late = Element::makeTempo(20, 0, 120);
    EXPECT_LT(cmp(early, late), 0);
    EXPECT_GT(cmp(late, early), 0);
}

TEST_F(ChannelTest, CompareExtremeTimesDoNotOverflow)
{
    const Element a = Element::makeNote(INT_MIN, 0, 60, 64);
    const Element b = Element::makeNote(INT_MAX, 0, 60, 64);
    EXPECT_LT(cmp(a, b), 0);
    EXPECT_GT(cmp(b, a), 0);
}

TEST_F(ChannelTest, CompareTempoBeforeVolumeBeforeNote)
{
    const Element t = Element::makeTempo(0, 0, 120);
    const Element v = Element::makeVolume(0, 0, 100);
    Element n = Element::makeNote(0, 0, 60, 64);
    n.duration = 480;
    EXPECT_LT(cmp(t, v), 0);
    EXPECT_GT(cmp(v, t), 0);
    EXPECT_LT(cmp(t, n), 0);
    EXPECT_GT(cmp(n, t), 0);
    EXPECT_LT(cmp(v, n), 0);
    EXPECT_GT(cmp(n, v), 0);
}

TEST_F(ChannelTest, CompareTwoTemposOrTwoVolumesOnOneTickAreEqual)
{
    const Element t1 = Element::makeTempo(5, 0, 120);
    const Element t2 = Element::makeTempo(5, 0, 60);
    const Element v1 = Element::makeVolume(5, 0, 100);
    const Element v2 = Element::makeVolume(5, 0, 10);
    EXPECT_EQ(cmp(t1, t2), 0);
    EXPECT_EQ(cmp(t2, t1), 0);
    EXPECT_EQ(cmp(v1, v2), 0);
    EXPECT_EQ(cmp(v2, v1), 0);
}

TEST_F(ChannelTest, CompareLongerNoteFirstThenLowerPitch)
{
    Element longHigh = Element::makeNote(0, 0, 72, 64);
    longHigh.duration = 480;
    Element shortLow = Element::makeNote(0, 0, 40, 64);
    shortLow.duration = 240;
    EXPECT_LT(cmp(longHigh, shortLow), 0);
    EXPECT_GT(cmp(shortLow, longHigh), 0);

    Element low = Element::makeNote(0, 0, 60, 64);
    low.duration = 240;
    Element high = Element::makeNote(0, 0, 64, 64);
    high.duration = 240;
    EXPECT_LT(cmp(low, high), 0);
    EXPECT_GT(cmp(high, low), 0);

    Element same = Element::makeNote(0, 0, 60, 1);
    same.duration = 240;
    EXPECT_EQ(cmp(low, same), 0);
}

TEST_F(ChannelTest, CompareAnElementWithItselfIsEqual)
{
    // No element goes before itself, whatever its kind.
    Element n = Element::makeNote(0, 0, 60, 64);
    n.duration = 96;
    const Element t = Element::makeTempo(0, 0, 120);
    const Element v = Element::makeVolume(0, 0, 100);
    EXPECT_EQ(cmp(n, n), 0);
    EXPECT_FALSE(Channel::before(t, t));
    EXPECT_FALSE(Channel::before(v, v));
}

TEST_F(ChannelTest, CompareIsAConsistentOrdering)
{
    // Antisymmetry and transitivity over a mixed pool with many ties.
    std::vector<Element> pool;
    for (int time = 0; time < 3; ++time) {
        pool.push_back(Element::makeTempo(time, 0, 100 + time));
        pool.push_back(Element::makeTempo(time, 0, 50));
        pool.push_back(Element::makeVolume(time, 0, 7));
        pool.push_back(Element::makeVolume(time, 0, 9));
        for (int dur = 1; dur <= 2; ++dur) {
            for (int pitch = 59; pitch <= 60; ++pitch) {
                Element n = Element::makeNote(time, 0, pitch, 64);
                n.duration = dur;
                pool.push_back(n);
            }
        }
    }
    for (const Element& a : pool) {
        for (const Element& b : pool) {
            EXPECT_EQ(sign(cmp(a, b)), -sign(cmp(b, a)));
            for (const Element& c : pool) {
                const int ab = sign(cmp(a, b));
                const int bc = sign(cmp(b, c));
                if (ab <= 0 && bc <= 0) {
                    EXPECT_LE(sign(cmp(a, c)), 0);
                }
                if (ab == 0 && bc == 0) {
                    EXPECT_EQ(cmp(a, c), 0);
                }
            }
        }
    }
}

// ---------------------------------------------------------------- sort

TEST_F(ChannelTest, SortTempoVolumeNoteOnSameTick)
{
    Channel ch;
    addNote(ch, {.time = 0, .pitch = 60, .duration = 96});
    addVolume(ch, 0, 100);
    addTempo(ch, 0, 120);
    ch.sort();
    ASSERT_EQ(ch.elements.size(), 3u);
    EXPECT_EQ(ch.elements[0].kind, ElementKind::Tempo);
    EXPECT_EQ(ch.elements[1].kind, ElementKind::Volume);
    EXPECT_EQ(ch.elements[2].kind, ElementKind::Note);
}

TEST_F(ChannelTest, SortByTimeFirst)
{
    Channel ch;
    addNote(ch, {.time = 200, .pitch = 60, .duration = 10});
    addTempo(ch, 100, 90);
    addNote(ch, {.time = 0, .pitch = 70, .duration = 5});
    ch.sort();
    EXPECT_EQ(ch.elements[0].time, 0);
    EXPECT_EQ(ch.elements[1].time, 100);
    EXPECT_EQ(ch.elements[2].time, 200);
}

TEST_F(ChannelTest, SortLongerFirstWhateverPitchThenLowerPitch)
{
    Channel ch;
    addNote(ch, {.time = 0, .pitch = 40, .duration = 240});
    addNote(ch, {.time = 0, .pitch = 80, .duration = 480});
    addNote(ch, {.time = 0, .pitch = 72, .duration = 240});
    addNote(ch, {.time = 0, .pitch = 30, .duration = 480});
    ch.sort();
    EXPECT_EQ(noteAt(ch, 0).pitch, 30);
    EXPECT_EQ(noteAt(ch, 0).duration, 480);
    EXPECT_EQ(noteAt(ch, 1).pitch, 80);
    EXPECT_EQ(noteAt(ch, 1).duration, 480);
    EXPECT_EQ(noteAt(ch, 2).pitch, 40);
    EXPECT_EQ(noteAt(ch, 3).pitch, 72);
}

TEST_F(ChannelTest, SortKeepsEqualElementsInListOrder)
{
    Channel ch;
    // Equal notes told apart by velocity, tempos by bpm, volumes by value.
    addNote(ch, {.time = 0, .pitch = 60, .duration = 96, .delta = 0, .length = 0, .velocity = 1});
    addTempo(ch, 0, 120);
    addVolume(ch, 0, 11);
    addNote(ch, {.time = 0, .pitch = 60, .duration = 96, .delta = 0, .length = 0, .velocity = 2});
    addTempo(ch, 0, 60);
    addVolume(ch, 0, 22);
    addNote(ch, {.time = 0, .pitch = 60, .duration = 96, .delta = 0, .length = 0, .velocity = 3});
    addTempo(ch, 0, 240);
    ch.sort();
    ASSERT_EQ(ch.elements.size(), 8u);
    for (std::size_t k = 0; k < 3; ++k)
        EXPECT_EQ(ch.elements[k].kind, ElementKind::Tempo) << k;
    EXPECT_EQ(ch.elements[0].bpm, 120);
    EXPECT_EQ(ch.elements[1].bpm, 60);
    EXPECT_EQ(ch.elements[2].bpm, 240);
    for (std::size_t k = 3; k < 5; ++k)
        EXPECT_EQ(ch.elements[k].kind, ElementKind::Volume) << k;
    EXPECT_EQ(ch.elements[3].volume, 11);
    EXPECT_EQ(ch.elements[4].volume, 22);
    EXPECT_EQ(noteAt(ch, 5).velocity, 1);
    EXPECT_EQ(noteAt(ch, 6).velocity, 2);
    EXPECT_EQ(noteAt(ch, 7).velocity, 3);
}

TEST_F(ChannelTest, SortAgreesWithCompareOnRandomLists)
{
    std::mt19937 rng(12345);
    for (int round = 0; round < 60; ++round) {
        Channel ch;
        // Short lists sort by insertion; long ones in random order make it
        // give up half-way and leave the rest to the key sort.
        const int n = 1 + static_cast<int>(rng() % (round < 50 ? 40 : 400));
        for (int k = 0; k < n; ++k) {
            const int time = static_cast<int>(rng() % 4);
            switch (rng() % 4) {
            case 0:
                addTempo(ch, time, k);
                break;
            case 1:
                addVolume(ch, time, k);
                break;
            default:
                addNote(ch, {.time = time, .pitch = 58 + static_cast<int>(rng() % 4),
                             .duration = static_cast<int>(rng() % 3), .delta = 0, .length = 0, .velocity = k});
                break;
            }
        }
        // Remember the order of appending to check stability: every element
        // carries its number k (bpm, volume or velocity), which is its index.
        const std::size_t size = ch.elements.size();
        ch.sort();
        ASSERT_EQ(ch.elements.size(), size);
        std::vector<bool> seen(size, false);
        for (const Element& e : ch.elements) {
            const int tag = tagOf(e);
            ASSERT_TRUE(tag >= 0 && static_cast<std::size_t>(tag) < size);
            EXPECT_FALSE(seen[static_cast<std::size_t>(tag)]) << "element " << tag << " twice";
            seen[static_cast<std::size_t>(tag)] = true;
        }
        for (std::size_t k = 1; k < ch.elements.size(); ++k) {
            const Element& a = ch.elements[k - 1];
            const Element& b = ch.elements[k];
            const int c = cmp(a, b);
            EXPECT_LE(c, 0);
            if (c == 0) {
                EXPECT_LT(tagOf(a), tagOf(b));
            }
        }
    }
}

TEST_F(ChannelTest, SortPutsAnEarlierTempoBeforeALaterNote)
{
    Channel ch;
    addNote(ch, {.time = 5, .pitch = 60, .duration = 10});
    addTempo(ch, 0, 120);
    ch.sort();
    ASSERT_EQ(ch.elements.size(), 2u);
    EXPECT_EQ(ch.elements[0].kind, ElementKind::Tempo);
    EXPECT_EQ(ch.elements[1].kind, ElementKind::Note);
}

// ---------------------------------------------------------------- copyTempo

TEST_F(ChannelTest, CopyTempoAppendsAChannelOwnedCopy)
{
    Channel ch;
    Element original = Element::makeTempo(480, 15, 133);
    original.delta = 7;
    ch.copyTempo(original, 4);
    ASSERT_EQ(ch.elements.size(), 1u);
    const Element& copy = ch.elements[0];
    ASSERT_EQ(copy.kind, ElementKind::Tempo);
    EXPECT_EQ(copy.time, 480);
    EXPECT_EQ(copy.delta, 7);
    EXPECT_EQ(copy.bpm, 133);
    EXPECT_EQ(copy.channel, 4);
    EXPECT_EQ(original.channel, 15);
}

// ---------------------------------------------------------------- eliminateIdentical

TEST_F(ChannelTest, EliminateFolds36OntoAnd48RemovesSecond)
{
    Channel ch;
    addNote(ch, {.time = 0, .pitch = 36, .duration = 96, .delta = 12, .length = 24, .velocity = 10});
    addNote(ch, {.time = 0, .pitch = 48, .duration = 96, .delta = 0, .length = 48, .velocity = 99});
    ch.eliminateIdentical();
    ASSERT_EQ(ch.elements.size(), 1u);
    const Element& first = noteAt(ch, 0); // the first note survives
    EXPECT_EQ(first.pitch, 36);
    EXPECT_EQ(first.velocity, 10); // survivor's values stay as they are
    EXPECT_EQ(first.length, 24);
    EXPECT_EQ(first.delta, 12);
}

TEST_F(ChannelTest, EliminateKeeps60And48)
{
    Channel ch;
    addNote(ch, {.time = 0, .pitch = 60, .duration = 96, .delta = 0, .length = 24});
    addNote(ch, {.time = 0, .pitch = 48, .duration = 96, .delta = 0, .length = 24});
    ch.eliminateIdentical();
    EXPECT_EQ(ch.elements.size(), 2u);
}

TEST_F(ChannelTest, EliminateFolds96And84Onto72)
{
    Channel ch;
    addNote(ch, {.time = 0, .pitch = 96, .duration = 96, .delta = 0, .length = 24});
    addNote(ch, {.time = 0, .pitch = 84, .duration = 96, .delta = 0, .length = 24});
    ch.eliminateIdentical();
    ASSERT_EQ(ch.elements.size(), 1u);
    EXPECT_EQ(noteAt(ch, 0).pitch, 96);

    Channel other; // 72 itself is the same too
    addNote(other, {.time = 0, .pitch = 72, .duration = 96, .delta = 0, .length = 24});
    addNote(other, {.time = 0, .pitch = 96, .duration = 96, .delta = 0, .length = 24});
    other.eliminateIdentical();
    ASSERT_EQ(other.elements.size(), 1u);
    EXPECT_EQ(noteAt(other, 0).pitch, 72);
}

TEST_F(ChannelTest, EliminateKeepsNeighboursOnDifferentGridPositions)
{
    Channel ch;
    addNote(ch, {.time = 0, .pitch = 60, .duration = 96, .delta = 0, .length = 6});
    addNote(ch, {.time = 24, .pitch = 60, .duration = 96, .delta = 6, .length = 6});
    ch.eliminateIdentical();
    EXPECT_EQ(ch.elements.size(), 2u);
}

TEST_F(ChannelTest, EliminatePassesOverNonNotesWithDeltaZero)
{
    Channel ch;
    addNote(ch, {.time = 0, .pitch = 60, .duration = 96, .delta = 0, .length = 24});
    addVolume(ch, 0, 50, 0);
    addTempo(ch, 0, 100, 0);
    addNote(ch, {.time = 0, .pitch = 60, .duration = 96, .delta = 0,
                 .length = 24});  // same pitch in the same run: removed
    addVolume(ch, 0, 50, 3);        // non-zero delta ends the run
    addNote(ch, {.time = 0, .pitch = 60, .duration = 96, .delta = 0, .length = 24});  // new run: kept
    ch.eliminateIdentical();
    ASSERT_EQ(ch.elements.size(), 5u);
    EXPECT_EQ(noteAt(ch, 0).pitch, 60);
    EXPECT_EQ(ch.elements[1].kind, ElementKind::Volume);
    EXPECT_EQ(ch.elements[2].kind, ElementKind::Tempo);
    EXPECT_EQ(ch.elements[3].kind, ElementKind::Volume);
    EXPECT_EQ(ch.elements[3].delta, 3);
    EXPECT_EQ(noteAt(ch, 4).pitch, 60);
}

TEST_F(ChannelTest, EliminateRemovesEveryLaterDuplicateOfAGroup)
{
    Channel ch;
    addNote(ch, {.time = 0, .pitch = 60, .duration = 96, .delta = 24, .length = 24});
    addNote(ch, {.time = 0, .pitch = 64, .duration = 96, .delta = 0, .length = 24});
    addNote(ch, {.time = 0, .pitch = 48, .duration = 96, .delta = 0,
                 .length = 24});  // same as 60 (both 48..83: 48 != 60) - kept
    addNote(ch, {.time = 0, .pitch = 76, .duration = 96, .delta = 0,
                 .length = 24});  // 76 is in range: differs from 64 - kept
    addNote(ch, {.time = 0, .pitch = 100, .duration = 96, .delta = 0,
                 .length = 24}); // 100 -> 88 -> 76: removed
    addNote(ch, {.time = 0, .pitch = 24, .duration = 96, .delta = 0, .length = 24});  // 24 -> 48: removed
    addNote(ch, {.time = 0, .pitch = 60, .duration = 96, .delta = 0, .length = 24});  // removed
    ch.eliminateIdentical();
    ASSERT_EQ(ch.elements.size(), 4u);
    EXPECT_EQ(noteAt(ch, 0).pitch, 60);
    EXPECT_EQ(noteAt(ch, 1).pitch, 64);
    EXPECT_EQ(noteAt(ch, 2).pitch, 48);
    EXPECT_EQ(noteAt(ch, 3).pitch, 76);
    EXPECT_EQ(noteAt(ch, 0).delta, 24);
}

TEST_F(ChannelTest, EliminateTerminatesForExtremePitches)
{
    Channel ch;
    addNote(ch, {.time = 0, .pitch = INT_MIN, .duration = 1, .delta = 0, .length = 6});
    addNote(ch, {.time = 0, .pitch = INT_MAX, .duration = 1, .delta = 0, .length = 6});
    addNote(ch, {.time = 0, .pitch = INT_MIN + 12, .duration = 1, .delta = 0,
                 .length = 6}); // same pitch class as INT_MIN: removed
    addNote(ch, {.time = 0, .pitch = INT_MAX - 24, .duration = 1, .delta = 0,
                 .length = 6}); // same as INT_MAX: removed
    addNote(ch, {.time = 0, .pitch = -1, .duration = 1, .delta = 0, .length = 6});           // folds to 59
    addNote(ch, {.time = 0, .pitch = 59 + 12 * 1000000, .duration = 1, .delta = 0,
                 .length = 6}); // folds to 83, not 59: kept
    ch.eliminateIdentical();
    ASSERT_EQ(ch.elements.size(), 4u);
    EXPECT_EQ(noteAt(ch, 0).pitch, INT_MIN);
    EXPECT_EQ(noteAt(ch, 1).pitch, INT_MAX);
    EXPECT_EQ(noteAt(ch, 2).pitch, -1);
}

TEST_F(ChannelTest, EliminateKeepsANonNoteBetweenTwoIdenticalNotes)
{
    // The entry between them is no note: it stays in place, and the run of
    // notes starting together goes on past it.
    Channel ch;
    addNote(ch, {.time = 0, .pitch = 60, .duration = 1, .delta = 0, .length = 6});
    addTempo(ch, 0, 90, 0);
    addNote(ch, {.time = 0, .pitch = 60, .duration = 1, .delta = 0, .length = 6});
    ch.eliminateIdentical();
    ASSERT_EQ(ch.elements.size(), 2u);
    EXPECT_TRUE(ch.elements[0].isNote());
    EXPECT_EQ(ch.elements[1].kind, ElementKind::Tempo);
    EXPECT_EQ(ch.elements[1].bpm, 90);
}

// The removal walk, literally (fold by octave steps, restart after each removal).
int foldByLoop(int p)
{
    while (p < 48)
        p += 12;
    while (p >= 84)
        p -= 12;
    return p;
}

void literalEliminate(std::vector<Element>& list)
{
    for (std::size_t i = 0; i < list.size(); ++i) {
        if (!list[i].isNote())
            continue;
        bool again = true;
        while (again) {
            again = false;
            for (std::size_t j = i + 1; j < list.size() && list[j].delta == 0; ++j) {
                if (!list[j].isNote())
                    continue;
                if (foldByLoop(list[i].pitch) == foldByLoop(list[j].pitch)) {
                    list.erase(list.begin() + static_cast<std::ptrdiff_t>(j));
                    again = true;
                    break;
                }
            }
        }
    }
}

TEST_F(ChannelTest, EliminateMatchesTheLiteralWalkOnRandomLists)
{
    std::mt19937 rng(777);
    for (int round = 0; round < 300; ++round) {
        Channel ch;
        std::vector<Element> reference;
        const int n = static_cast<int>(rng() % 30);
        for (int k = 0; k < n; ++k) {
            const int delta = (rng() % 3 == 0) ? static_cast<int>(rng() % 3) * 6 : 0;
            if (rng() % 5 == 0) {
                addVolume(ch, 0, k, delta);
                reference.push_back(Element::makeVolume(0, 0, k));
            } else {
                const int pitch = static_cast<int>(rng() % 128);
                addNote(ch, {.time = 0, .pitch = pitch, .duration = 1, .delta = delta, .length = 6,
                             .velocity = k});
                reference.push_back(Element::makeNote(0, 0, pitch, k));
            }
            reference.back().delta = delta;
        }
        ch.eliminateIdentical();
        literalEliminate(reference);
        ASSERT_EQ(ch.elements.size(), reference.size()) << "round " << round;
        for (std::size_t k = 0; k < reference.size(); ++k) {
            const Element& a = ch.elements[k];
            const Element& b = reference[k];
            EXPECT_EQ(a.delta, b.delta);
            ASSERT_EQ(a.kind, b.kind);
            if (a.isNote()) {
                EXPECT_EQ(a.pitch, b.pitch);
                EXPECT_EQ(a.velocity, b.velocity);
            } else {
                EXPECT_EQ(a.volume, b.volume);
            }
        }
    }
}

// ---------------------------------------------------------------- print

TEST_F(ChannelTest, PrintDumpsEveryElementInListOrder)
{
    Channel ch;
    addTempo(ch, 0, 120, 0);
    addVolume(ch, 0, 100, 0);
    addNote(ch, {.time = 96, .pitch = 60, .duration = 96, .delta = 24, .length = 24});
    setVerbosity(5);
    std::string expected;
    {
        ConsoleCapture capture;
        for (const Element& e : ch.elements)
            e.print(96);
        expected = capture.take();
    }
    ConsoleCapture capture;
    ch.print(96);
    const std::string out = capture.take();
    EXPECT_EQ(out, expected);
    EXPECT_NE(out.find("Tempo 120"), std::string::npos);
    EXPECT_LT(out.find("Tempo 120"), out.find("Note 60"));
}

} // namespace
