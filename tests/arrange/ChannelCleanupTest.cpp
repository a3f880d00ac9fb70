// Tests of the element order, lowest pitch, tempo copies, removal of
// identical notes, the polyphony limit and the element dump.
#include "arrange/Channel.h"
#include "core/Element.h"
#include "core/Message.h"
#include "support/Capture.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstddef>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace {

// Builders: elements set up by hand, as the song and `quantise` would leave
// them. Each returns the element's index in the list (elements are values,
// so an index, not an address, stays valid while the list grows).
std::size_t addNote(Channel& ch, int time, int pitch, int duration, int delta = 0, int length = 0,
                    int velocity = 64)
{
    Element note = Element::makeNote(time, 0, pitch, velocity);
    note.duration = duration;
    note.delta = delta;
    note.length = length;
    ch.elements.push_back(note);
    return ch.elements.size() - 1;
}

std::size_t addTempo(Channel& ch, int time, int bpm, int delta = 0)
{
    Element tempo = Element::makeTempo(time, 0, bpm);
    tempo.delta = delta;
    ch.elements.push_back(tempo);
    return ch.elements.size() - 1;
}

std::size_t addVolume(Channel& ch, int time, int volume, int delta = 0)
{
    Element vol = Element::makeVolume(time, 0, volume);
    vol.delta = delta;
    ch.elements.push_back(vol);
    return ch.elements.size() - 1;
}

// The note at `i`; fails the test when the entry there is no note.
const Element& noteAt(const Channel& ch, std::size_t i)
{
    const Element& e = ch.elements.at(i);
    EXPECT_TRUE(e.isNote()) << "entry " << i;
    return e;
}

// The order as a three-way comparison: negative when `a` goes before `b`,
// positive when `b` goes before `a`, 0 when neither does.
int cmp(const Element& a, const Element& b)
{
    const bool ab = Channel::before(a, b);
    const bool ba = Channel::before(b, a);
    EXPECT_FALSE(ab && ba) << "before() holds both ways";
    return ab ? -1 : (ba ? 1 : 0);
}

// The value that tells the elements of one list apart in the tests that
// give each a number of its own: a note's velocity, a tempo's bpm, a volume's value.
int tagOf(const Element& e)
{
    switch (e.kind) {
    case ElementKind::Tempo:
        return e.bpm;
    case ElementKind::Volume:
        return e.volume;
    case ElementKind::Note:
        break;
    }
    return e.velocity;
}

int sign(int v)
{
    return (v > 0) - (v < 0);
}

class ChannelCleanupTest : public ::testing::Test {
protected:
    void SetUp() override { setVerbosity(Message::msgLevelDefault); }
    void TearDown() override { setVerbosity(Message::msgLevelDefault); }
};

// ---------------------------------------------------------------- compare

TEST_F(ChannelCleanupTest, CompareEarlierTimeFirstWhateverKind)
{
    Element early = Element::makeNote(10, 0, 90, 64);
    early.duration = 1;
    const Element late = Element::makeTempo(20, 0, 120);
    EXPECT_LT(cmp(early, late), 0);
    EXPECT_GT(cmp(late, early), 0);
}

TEST_F(ChannelCleanupTest, CompareExtremeTimesDoNotOverflow)
{
    const Element a = Element::makeNote(INT_MIN, 0, 60, 64);
    const Element b = Element::makeNote(INT_MAX, 0, 60, 64);
    EXPECT_LT(cmp(a, b), 0);
    EXPECT_GT(cmp(b, a), 0);
}

TEST_F(ChannelCleanupTest, CompareTempoBeforeVolumeBeforeNote)
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

TEST_F(ChannelCleanupTest, CompareTwoTemposOrTwoVolumesOnOneTickAreEqual)
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

TEST_F(ChannelCleanupTest, CompareLongerNoteFirstThenLowerPitch)
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

TEST_F(ChannelCleanupTest, CompareAnElementWithItselfIsEqual)
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

TEST_F(ChannelCleanupTest, CompareIsAConsistentOrdering)
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

TEST_F(ChannelCleanupTest, SortTempoVolumeNoteOnSameTick)
{
    Channel ch;
    addNote(ch, 0, 60, 96);
    addVolume(ch, 0, 100);
    addTempo(ch, 0, 120);
    ch.sort();
    ASSERT_EQ(ch.elements.size(), 3u);
    EXPECT_EQ(ch.elements[0].kind, ElementKind::Tempo);
    EXPECT_EQ(ch.elements[1].kind, ElementKind::Volume);
    EXPECT_EQ(ch.elements[2].kind, ElementKind::Note);
}

TEST_F(ChannelCleanupTest, SortByTimeFirst)
{
    Channel ch;
    addNote(ch, 200, 60, 10);
    addTempo(ch, 100, 90);
    addNote(ch, 0, 70, 5);
    ch.sort();
    EXPECT_EQ(ch.elements[0].time, 0);
    EXPECT_EQ(ch.elements[1].time, 100);
    EXPECT_EQ(ch.elements[2].time, 200);
}

TEST_F(ChannelCleanupTest, SortLongerFirstWhateverPitchThenLowerPitch)
{
    Channel ch;
    addNote(ch, 0, 40, 240);
    addNote(ch, 0, 80, 480);
    addNote(ch, 0, 72, 240);
    addNote(ch, 0, 30, 480);
    ch.sort();
    EXPECT_EQ(noteAt(ch, 0).pitch, 30);
    EXPECT_EQ(noteAt(ch, 0).duration, 480);
    EXPECT_EQ(noteAt(ch, 1).pitch, 80);
    EXPECT_EQ(noteAt(ch, 1).duration, 480);
    EXPECT_EQ(noteAt(ch, 2).pitch, 40);
    EXPECT_EQ(noteAt(ch, 3).pitch, 72);
}

TEST_F(ChannelCleanupTest, SortKeepsEqualElementsInListOrder)
{
    Channel ch;
    // Equal notes told apart by velocity, tempos by bpm, volumes by value.
    addNote(ch, 0, 60, 96, 0, 0, 1);
    addTempo(ch, 0, 120);
    addVolume(ch, 0, 11);
    addNote(ch, 0, 60, 96, 0, 0, 2);
    addTempo(ch, 0, 60);
    addVolume(ch, 0, 22);
    addNote(ch, 0, 60, 96, 0, 0, 3);
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

TEST_F(ChannelCleanupTest, SortAgreesWithCompareOnRandomLists)
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
                addNote(ch, time, 58 + static_cast<int>(rng() % 4),
                        static_cast<int>(rng() % 3), 0, 0, k);
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

TEST_F(ChannelCleanupTest, SortPutsAnEarlierTempoBeforeALaterNote)
{
    Channel ch;
    addNote(ch, 5, 60, 10);
    addTempo(ch, 0, 120);
    ch.sort();
    ASSERT_EQ(ch.elements.size(), 2u);
    EXPECT_EQ(ch.elements[0].kind, ElementKind::Tempo);
    EXPECT_EQ(ch.elements[1].kind, ElementKind::Note);
}

// ---------------------------------------------------------------- findLowest, copyTempo

TEST_F(ChannelCleanupTest, FindLowestIs127WithoutNotes)
{
    Channel ch;
    EXPECT_EQ(ch.findLowest(), 127);
    addTempo(ch, 0, 120);
    addVolume(ch, 0, 0);
    EXPECT_EQ(ch.findLowest(), 127);
}

TEST_F(ChannelCleanupTest, FindLowestTakesTheLowestPitch)
{
    Channel ch;
    addNote(ch, 0, 64, 1);
    addNote(ch, 10, 31, 1);
    addVolume(ch, 5, 3);
    addNote(ch, 20, 50, 1);
    EXPECT_EQ(ch.findLowest(), 31);
}

TEST_F(ChannelCleanupTest, CopyTempoAppendsAChannelOwnedCopy)
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

TEST_F(ChannelCleanupTest, EliminateFolds36OntoAnd48RemovesSecond)
{
    Channel ch;
    addNote(ch, 0, 36, 96, 12, 24, 10);
    addNote(ch, 0, 48, 96, 0, 48, 99);
    ch.eliminateIdentical();
    ASSERT_EQ(ch.elements.size(), 1u);
    const Element& first = noteAt(ch, 0); // the first note survives
    EXPECT_EQ(first.pitch, 36);
    EXPECT_EQ(first.velocity, 10); // survivor's values stay as they are
    EXPECT_EQ(first.length, 24);
    EXPECT_EQ(first.delta, 12);
}

TEST_F(ChannelCleanupTest, EliminateKeeps60And48)
{
    Channel ch;
    addNote(ch, 0, 60, 96, 0, 24);
    addNote(ch, 0, 48, 96, 0, 24);
    ch.eliminateIdentical();
    EXPECT_EQ(ch.elements.size(), 2u);
}

TEST_F(ChannelCleanupTest, EliminateFolds96And84Onto72)
{
    Channel ch;
    addNote(ch, 0, 96, 96, 0, 24);
    addNote(ch, 0, 84, 96, 0, 24);
    ch.eliminateIdentical();
    ASSERT_EQ(ch.elements.size(), 1u);
    EXPECT_EQ(noteAt(ch, 0).pitch, 96);

    Channel other; // 72 itself is the same too
    addNote(other, 0, 72, 96, 0, 24);
    addNote(other, 0, 96, 96, 0, 24);
    other.eliminateIdentical();
    ASSERT_EQ(other.elements.size(), 1u);
    EXPECT_EQ(noteAt(other, 0).pitch, 72);
}

TEST_F(ChannelCleanupTest, EliminateKeepsNeighboursOnDifferentGridPositions)
{
    Channel ch;
    addNote(ch, 0, 60, 96, 0, 6);
    addNote(ch, 24, 60, 96, 6, 6);
    ch.eliminateIdentical();
    EXPECT_EQ(ch.elements.size(), 2u);
}

TEST_F(ChannelCleanupTest, EliminatePassesOverNonNotesWithDeltaZero)
{
    Channel ch;
    addNote(ch, 0, 60, 96, 0, 24);
    addVolume(ch, 0, 50, 0);
    addTempo(ch, 0, 100, 0);
    addNote(ch, 0, 60, 96, 0, 24);  // same pitch in the same run: removed
    addVolume(ch, 0, 50, 3);        // non-zero delta ends the run
    addNote(ch, 0, 60, 96, 0, 24);  // new run: kept
    ch.eliminateIdentical();
    ASSERT_EQ(ch.elements.size(), 5u);
    EXPECT_EQ(noteAt(ch, 0).pitch, 60);
    EXPECT_EQ(ch.elements[1].kind, ElementKind::Volume);
    EXPECT_EQ(ch.elements[2].kind, ElementKind::Tempo);
    EXPECT_EQ(ch.elements[3].kind, ElementKind::Volume);
    EXPECT_EQ(ch.elements[3].delta, 3);
    EXPECT_EQ(noteAt(ch, 4).pitch, 60);
}

TEST_F(ChannelCleanupTest, EliminateRemovesEveryLaterDuplicateOfAGroup)
{
    Channel ch;
    addNote(ch, 0, 60, 96, 24, 24);
    addNote(ch, 0, 64, 96, 0, 24);
    addNote(ch, 0, 48, 96, 0, 24);  // same as 60 (both 48..83: 48 != 60) - kept
    addNote(ch, 0, 76, 96, 0, 24);  // 76 is in range: differs from 64 - kept
    addNote(ch, 0, 100, 96, 0, 24); // 100 -> 88 -> 76: removed
    addNote(ch, 0, 24, 96, 0, 24);  // 24 -> 48: removed
    addNote(ch, 0, 60, 96, 0, 24);  // removed
    ch.eliminateIdentical();
    ASSERT_EQ(ch.elements.size(), 4u);
    EXPECT_EQ(noteAt(ch, 0).pitch, 60);
    EXPECT_EQ(noteAt(ch, 1).pitch, 64);
    EXPECT_EQ(noteAt(ch, 2).pitch, 48);
    EXPECT_EQ(noteAt(ch, 3).pitch, 76);
    EXPECT_EQ(noteAt(ch, 0).delta, 24);
}

TEST_F(ChannelCleanupTest, EliminateTerminatesForExtremePitches)
{
    Channel ch;
    addNote(ch, 0, INT_MIN, 1, 0, 6);
    addNote(ch, 0, INT_MAX, 1, 0, 6);
    addNote(ch, 0, INT_MIN + 12, 1, 0, 6); // same pitch class as INT_MIN: removed
    addNote(ch, 0, INT_MAX - 24, 1, 0, 6); // same as INT_MAX: removed
    addNote(ch, 0, -1, 1, 0, 6);           // folds to 59
    addNote(ch, 0, 59 + 12 * 1000000, 1, 0, 6); // folds to 83, not 59: kept
    ch.eliminateIdentical();
    ASSERT_EQ(ch.elements.size(), 4u);
    EXPECT_EQ(noteAt(ch, 0).pitch, INT_MIN);
    EXPECT_EQ(noteAt(ch, 1).pitch, INT_MAX);
    EXPECT_EQ(noteAt(ch, 2).pitch, -1);
}

TEST_F(ChannelCleanupTest, EliminateKeepsANonNoteBetweenTwoIdenticalNotes)
{
    // The entry between them is no note: it stays in place, and the run of
    // notes starting together goes on past it.
    Channel ch;
    addNote(ch, 0, 60, 1, 0, 6);
    addTempo(ch, 0, 90, 0);
    addNote(ch, 0, 60, 1, 0, 6);
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

TEST_F(ChannelCleanupTest, EliminateMatchesTheLiteralWalkOnRandomLists)
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
                addNote(ch, 0, pitch, 1, delta, 6, k);
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

// ---------------------------------------------------------------- fixPolyphony

TEST_F(ChannelCleanupTest, PolyphonyUnusedChannelReturnsZeroAndIsUnchanged)
{
    Channel ch; // used is false
    addNote(ch, 0, 60, 1, 0, 24);
    addNote(ch, 0, 62, 1, 0, 24);
    addNote(ch, 0, 64, 1, 0, 24);
    EXPECT_EQ(ch.fixPolyphony(1), 0);
    EXPECT_EQ(ch.elements.size(), 3u);
}

TEST_F(ChannelCleanupTest, PolyphonyLimit2CutsTheNoteFrom12AtTheNewGroup)
{
    Channel ch;
    ch.used = true;
    const std::size_t held = addNote(ch, 0, 60, 0, 0, 48);
    const std::size_t mid = addNote(ch, 0, 64, 0, 12, 24);
    const std::size_t last = addNote(ch, 0, 67, 0, 12, 24);
    setVerbosity(7);
    ConsoleCapture capture;
    const int peak = ch.fixPolyphony(2);
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

TEST_F(ChannelCleanupTest, PolyphonyLimit3DropsTheLowestOfFourEqualNotes)
{
    Channel ch;
    ch.used = true;
    // Division 96; four quarter notes on tick 96, nothing before them.
    for (int pitch : {67, 60, 64, 62})
        addNote(ch, 96, pitch, 96);
    ch.sort();
    ch.quantise(96, false);
    ASSERT_EQ(noteAt(ch, 0).pitch, 60);
    ASSERT_EQ(noteAt(ch, 0).delta, 24);
    ASSERT_EQ(noteAt(ch, 1).delta, 0);
    setVerbosity(7);
    ConsoleCapture capture;
    const int peak = ch.fixPolyphony(3);
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

TEST_F(ChannelCleanupTest, PolyphonyLimit1KeepsOnlyTheHighestOfAChord)
{
    Channel ch;
    ch.used = true;
    addTempo(ch, 0, 120, 0);
    addNote(ch, 0, 60, 96, 48, 24);
    addNote(ch, 0, 64, 96, 0, 24);
    addNote(ch, 0, 67, 96, 0, 24);
    addNote(ch, 0, 72, 96, 24, 24); // follows the chord: kept
    EXPECT_EQ(ch.fixPolyphony(1), 1);
    ASSERT_EQ(ch.elements.size(), 3u);
    EXPECT_EQ(ch.elements[0].kind, ElementKind::Tempo);
    EXPECT_EQ(noteAt(ch, 1).pitch, 67);
    EXPECT_EQ(noteAt(ch, 1).delta, 48);
    EXPECT_EQ(noteAt(ch, 1).length, 24);
    EXPECT_EQ(noteAt(ch, 2).pitch, 72);
    EXPECT_EQ(noteAt(ch, 2).delta, 24);
}

TEST_F(ChannelCleanupTest, PolyphonyLimit1CutsAHeldNoteInsteadOfDroppingIt)
{
    Channel ch;
    ch.used = true;
    const std::size_t held = addNote(ch, 0, 60, 0, 24, 48);
    const std::size_t a = addNote(ch, 0, 64, 0, 12, 24);
    EXPECT_EQ(ch.fixPolyphony(1), 1); // a begins a group; the held note is cut, count 1
    ASSERT_EQ(ch.elements.size(), 2u);
    EXPECT_EQ(noteAt(ch, held).pitch, 60);
    EXPECT_EQ(noteAt(ch, held).length, 12);
    EXPECT_EQ(noteAt(ch, a).pitch, 64);
    EXPECT_EQ(noteAt(ch, a).length, 24);
}

TEST_F(ChannelCleanupTest, PolyphonyJoiningNoteCutsTheHeldNoteFirst)
{
    // Step B: the first-listed sounding note is held from before: it is cut,
    // not dropped, and nothing leaves the list.
    Channel ch;
    ch.used = true;
    const std::size_t held = addNote(ch, 0, 50, 0, 0, 96); // 0..96
    const std::size_t a = addNote(ch, 0, 60, 0, 24, 24);   // 24: group with held (2)
    const std::size_t b = addNote(ch, 0, 62, 0, 0, 24);    // 24: joins, 3 > 2
    EXPECT_EQ(ch.fixPolyphony(2), 2);
    ASSERT_EQ(ch.elements.size(), 3u);
    EXPECT_EQ(noteAt(ch, held).pitch, 50);
    EXPECT_EQ(noteAt(ch, held).length, 24);
    EXPECT_EQ(noteAt(ch, a).pitch, 60);
    EXPECT_EQ(noteAt(ch, a).length, 24);
    EXPECT_EQ(noteAt(ch, b).pitch, 62);
    EXPECT_EQ(noteAt(ch, b).length, 24);
}

TEST_F(ChannelCleanupTest, PolyphonyCutGoesThroughCorrectLength)
{
    Channel ch;
    ch.used = true;
    const std::size_t held = addNote(ch, 0, 60, 0, 0, 48);
    addNote(ch, 0, 64, 0, 9, 24); // starts 9 after: cut to 9 -> 12
    ConsoleCapture capture;
    ch.fixPolyphony(1);
    const std::string out = capture.take();
    ASSERT_EQ(ch.elements.size(), 2u);
    EXPECT_EQ(noteAt(ch, held).pitch, 60);
    EXPECT_EQ(noteAt(ch, held).length, 12);
    EXPECT_EQ(out, "WARN:   Warning! 1/32 not yet supported! Increasing to 1/16!\n");
}

TEST_F(ChannelCleanupTest, PolyphonyLimit0OnlyCounts)
{
    Channel ch;
    ch.used = true;
    addNote(ch, 0, 60, 0, 0, 96);
    addNote(ch, 0, 64, 0, 0, 96);
    addNote(ch, 0, 67, 0, 0, 96);
    addNote(ch, 0, 70, 0, 24, 24);
    addNote(ch, 0, 72, 0, 0, 24);
    EXPECT_EQ(ch.fixPolyphony(0), 5);
    ASSERT_EQ(ch.elements.size(), 5u);
    for (std::size_t k = 0; k < 3; ++k)
        EXPECT_EQ(noteAt(ch, k).length, 96);
    EXPECT_EQ(noteAt(ch, 3).delta, 24);
    EXPECT_EQ(noteAt(ch, 4).length, 24);
}

TEST_F(ChannelCleanupTest, PolyphonyPeakZeroWhenNothingOverlapsAfterPosition0)
{
    Channel ch;
    ch.used = true;
    addTempo(ch, 0, 120, 0);
    addNote(ch, 0, 60, 0, 24, 24);
    addNote(ch, 0, 62, 0, 24, 24);
    addNote(ch, 0, 64, 0, 30, 6);
    EXPECT_EQ(ch.fixPolyphony(1), 0);
    EXPECT_EQ(ch.fixPolyphony(0), 0);
}

TEST_F(ChannelCleanupTest, PolyphonyPeakOneWhenTheFirstNoteIsAtPosition0)
{
    Channel ch;
    ch.used = true;
    addNote(ch, 0, 60, 0, 0, 24);
    addNote(ch, 0, 62, 0, 24, 24);
    setVerbosity(7);
    ConsoleCapture capture;
    EXPECT_EQ(ch.fixPolyphony(0), 1);
    EXPECT_EQ(capture.take(), "Debug:  polyphonyB 1 @ 1\n");
}

TEST_F(ChannelCleanupTest, PolyphonyTraceAtPosition48)
{
    Channel ch;
    ch.used = true;
    addNote(ch, 0, 60, 0, 48, 24);
    addNote(ch, 0, 62, 0, 0, 24);
    setVerbosity(7);
    ConsoleCapture capture;
    EXPECT_EQ(ch.fixPolyphony(0), 2);
    EXPECT_EQ(capture.take(), "Debug:  polyphonyB 2 @ 1.66667\n");
}

TEST_F(ChannelCleanupTest, PolyphonyDroppedDeltaGoesToTheElementRightAfter)
{
    Channel ch;
    ch.used = true;
    addNote(ch, 0, 60, 0, 30, 24);
    addVolume(ch, 0, 80, 0);
    addNote(ch, 0, 62, 0, 0, 24);
    EXPECT_EQ(ch.fixPolyphony(1), 1);
    ASSERT_EQ(ch.elements.size(), 2u);
    const Element& vol = ch.elements[0]; // the volume change, now first
    ASSERT_EQ(vol.kind, ElementKind::Volume);
    EXPECT_EQ(vol.volume, 80);
    EXPECT_EQ(vol.delta, 30);
    EXPECT_EQ(noteAt(ch, 1).pitch, 62);
    EXPECT_EQ(noteAt(ch, 1).delta, 0);
}

TEST_F(ChannelCleanupTest, PolyphonyNeverExceedsTheLimitAndKeepsGridPositions)
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
                addNote(ch, 0, 60 + static_cast<int>(rng() % 12), 0,
                        (rng() % 2 == 0) ? 0 : static_cast<int>(rng() % 4) * 6,
                        6 * (1 + static_cast<int>(rng() % 6)), k);
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
        const int peak = ch.fixPolyphony(limit);
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

TEST_F(ChannelCleanupTest, PolyphonyHostileValuesStaySafe)
{
    Channel ch;
    ch.used = true;
    addNote(ch, 0, 60, 0, INT_MAX, INT_MAX);
    addNote(ch, 0, 62, 0, INT_MAX, INT_MAX);
    addNote(ch, 0, 64, 0, 0, -5);
    addNote(ch, 0, 65, 0, 0, 0);
    addNote(ch, 0, 66, 0, INT_MIN, INT_MIN);
    addVolume(ch, 0, 100, 0);
    addNote(ch, 0, 67, 0, 0, 6);
    setVerbosity(0);
    for (int limit : {0, 1, 2, -1}) {
        ch.fixPolyphony(limit);
        EXPECT_FALSE(ch.elements.empty());
    }
}

TEST_F(ChannelCleanupTest, PolyphonyOnEmptyChannel)
{
    Channel ch;
    ch.used = true;
    EXPECT_EQ(ch.fixPolyphony(2), 0);
}

// ---------------------------------------------------------------- print

TEST_F(ChannelCleanupTest, PrintDumpsEveryElementInListOrder)
{
    Channel ch;
    addTempo(ch, 0, 120, 0);
    addVolume(ch, 0, 100, 0);
    addNote(ch, 96, 60, 96, 24, 24);
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
