// The polyphony limit that keeps the outer voices of chords (-c): which
// notes stay, which are dropped (passing their delta on) and which are cut.
#include "arrange/ChannelPolyphony.h"
#include "core/Element.h"
#include "core/Message.h"
#include "support/Capture.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// A note as the quantised list holds it. Ticks are 24ths here: the note
// lasts `length` in the MIDI file too, unless `ticks` says otherwise.
struct Note {
    int delta;
    int pitch;
    int length;
    int velocity = 64;
    int ticks = -1;
};

// The channel of `notes`, each at the tick of its grid position.
Channel channelOf(const std::vector<Note>& notes)
{
    Channel channel;
    channel.used = true;
    int time = 0;
    for (const Note& n : notes) {
        time += n.delta;
        Element e = Element::makeNote(time, 0, n.pitch, n.velocity);
        e.delta = n.delta;
        e.length = n.length;
        e.duration = n.ticks < 0 ? n.length : n.ticks;
        channel.elements.push_back(e);
    }
    return channel;
}

// "delta:pitch:length" per note, with "!velocity" when not 64.
std::string describe(const std::vector<Element>& elements)
{
    std::string s;
    for (const Element& e : elements) {
        if (!s.empty())
            s += ' ';
        s += std::to_string(e.delta);
        s += ':';
        s += std::to_string(e.pitch);
        s += ':';
        s += std::to_string(e.length);
        if (e.velocity != 64) {
            s += '!';
            s += std::to_string(e.velocity);
        }
    }
    return s;
}

struct Case {
    const char* what;
    int limit;
    std::vector<Note> notes;
    std::string kept; // the list afterwards, as describe() writes it
    int peak;
};

TEST(ChannelChordsTest, RankedNotesStayAndTheRestGiveWay)
{
    const std::vector<Case> cases = {
        {"a chord of four notes of one length: highest and lowest stay", 2,
         {{12, 48, 24}, {0, 55, 24}, {0, 64, 24}, {0, 72, 24}}, "12:48:24 0:72:24", 2},
        {"a longer inner note listed first is dropped; its delta passes on", 2,
         {{12, 60, 48}, {0, 48, 24}, {0, 72, 24}}, "12:48:24 0:72:24", 2},
        {"a long bass under a moving melody: both stay, inner notes go", 2,
         {{0, 36, 96}, {0, 64, 24}, {0, 72, 24}, {24, 65, 24}, {0, 74, 24}, {24, 67, 24}, {0, 76, 24}},
         "0:36:96 0:72:24 24:74:24 24:76:24", 2},
        {"an octave doubling goes first, however loud", 3,
         {{0, 48, 24}, {0, 60, 24, 120}, {0, 64, 24}, {0, 72, 24}}, "0:48:24 0:64:24 0:72:24", 3},
        {"a held inner note stays against a louder new inner note", 3,
         {{0, 48, 48}, {0, 64, 48}, {0, 72, 24}, {24, 65, 24, 120}, {0, 74, 24}},
         "0:48:48 0:64:48 0:72:24 24:74:24", 3},
        {"a held doubling is cut for a new inner note", 3,
         {{0, 48, 48}, {0, 60, 48}, {0, 72, 24}, {24, 64, 24}, {0, 74, 24}},
         "0:48:48 0:60:24 0:72:24 24:64:24 0:74:24", 3},
        {"a cut ends where the notation can: a triplet's span becomes a sixteenth", 1,
         {{0, 60, 48}, {8, 72, 24}}, "0:60:6 8:72:24", 1},
        {"equal pitch classes: the louder stays", 3,
         {{0, 48, 24}, {0, 60, 24, 50}, {0, 72, 24, 90}, {0, 84, 24}}, "0:48:24 0:72:24!90 0:84:24", 3},
        {"the louder before the longer", 3,
         {{0, 64, 48}, {0, 48, 24}, {0, 62, 24, 100}, {0, 72, 24}}, "0:48:24 0:62:24!100 0:72:24", 3},
        {"equally loud: the longer", 3,
         {{0, 64, 48}, {0, 48, 24}, {0, 62, 24}, {0, 72, 24}}, "0:64:48 0:48:24 0:72:24", 3},
        {"equally loud and long: the higher", 3,
         {{0, 48, 24}, {0, 62, 24}, {0, 64, 24}, {0, 72, 24}}, "0:48:24 0:64:24 0:72:24", 3},
        {"a higher note held on only by its rounded length gives way to the melody", 2,
         {{0, 36, 48}, {0, 76, 12, 64, 8}, {8, 72, 24}}, "0:36:48 0:76:6 8:72:24", 2},
        {"a key struck again while held: the new note stays, the held one ends", 1,
         {{0, 72, 48}, {24, 72, 24}}, "0:72:24 24:72:24", 1},
        {"two notes at the top: the louder", 1, {{0, 72, 24, 50}, {0, 72, 24, 90}}, "0:72:24!90", 1},
        {"-p 1 keeps the top line over a held melody and a longer bass", 1,
         {{0, 72, 48}, {0, 48, 24}, {0, 64, 24}, {24, 60, 24}, {24, 74, 24}}, "0:72:48 48:74:24", 1},
        {"no limit: nothing changes", 0, {{0, 48, 24}, {0, 55, 24}, {0, 64, 24}, {0, 72, 24}},
         "0:48:24 0:55:24 0:64:24 0:72:24", 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Channel channel = channelOf(c.notes);
        ConsoleCapture capture; // the warnings of cut lengths
        EXPECT_EQ(fixPolyphony(channel, c.limit, true), c.peak);
        EXPECT_EQ(describe(channel.elements), c.kept);
    }
}

// The peak lines at verbosity 7: one per new count, at the chord's position.
TEST(ChannelChordsTest, DebugLinesNameEachNewPeak)
{
    Channel channel = channelOf({{0, 60, 24}, {72, 48, 96}, {0, 55, 24}, {0, 64, 24}, {0, 67, 24}});
    setVerbosity(7);
    ConsoleCapture capture;
    EXPECT_EQ(fixPolyphony(channel, 3, true), 3);
    const std::string out = capture.take();
    setVerbosity(4);
    EXPECT_EQ(out, "Debug:  polyphonyA 1 @ 1\n"
                   "Debug:  polyphonyA 2 @ 2\n"
                   "Debug:  polyphonyA 3 @ 2\n");
    EXPECT_EQ(describe(channel.elements), "0:60:24 72:48:96 0:64:24 0:67:24");
}

} // namespace
