// The overview of a MIDI file: notes per channel before any switch, the
// first tempo by time across all tracks, and the changes of tempo after it.
#include "convert/Summary.h"
#include "support/MidiWriter.h"

#include <gtest/gtest.h>

#include <array>
#include <span>
#include <string>

namespace {

MidiSummary of(const std::string& bytes)
{
    return summarize(std::span(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size()));
}

TEST(SummaryTest, CountsNotesPerChannelAndTempoChangesByTime)
{
    // Track 1 sets 100 bpm at tick 48 and again at 96 (no change), 80 at 144.
    midi::TrackBody conductor;
    conductor.tempo(48, 600000).tempo(48, 600000).tempo(48, 750000).endOfTrack(0);
    // Track 2 sets 120 bpm at tick 0, before track 1's first tempo in time.
    // Its notes: three on channel 1 (one ended by a note-on of velocity 0),
    // one on channel 10, one on channel 16.
    midi::TrackBody band;
    band.tempo(0, 500000)
        .noteOn(0, 0, 60, 100)
        .noteOn(0, 9, 36, 100)
        .noteOn(0, 15, 70, 100)
        .noteOn(24, 0, 60, 0)
        .noteOff(0, 9, 36)
        .noteOff(0, 15, 70)
        .noteOn(0, 0, 62, 100)
        .noteOff(24, 0, 62)
        .noteOn(0, 0, 64, 100)
        .noteOff(24, 0, 64)
        .endOfTrack(0);
    const MidiSummary summary = of(midi::header(1, 2, 96) + conductor.chunk() + band.chunk());
    ASSERT_TRUE(summary.readable);
    std::array<int, channelCount> notes{};
    notes[0] = 3;
    notes[9] = 1;
    notes[15] = 1;
    EXPECT_EQ(summary.notes, notes);
    EXPECT_EQ(summary.firstTempo, 120);
    EXPECT_EQ(summary.tempoChanges, 2);
}

TEST(SummaryTest, FilesWithoutTempoOrUnreadable)
{
    midi::TrackBody plain;
    plain.noteOn(0, 2, 60, 100).noteOff(96, 2, 60).endOfTrack(0);
    const std::string good = midi::header(0, 1, 96) + plain.chunk();
    const MidiSummary untimed = of(good);
    ASSERT_TRUE(untimed.readable);
    EXPECT_EQ(untimed.notes[2], 1);
    EXPECT_EQ(untimed.firstTempo, 0);
    EXPECT_EQ(untimed.tempoChanges, 0);

    // A track cut short still counts what was read, as the converter goes on.
    const MidiSummary cut = of(good.substr(0, good.size() - 6));
    EXPECT_TRUE(cut.readable);
    EXPECT_EQ(cut.notes[2], 1);

    for (const std::string& broken : {std::string(), std::string("Not a MIDI file at all.\n"),
                                      good.substr(0, 10), midi::header(0, 1, 0) + plain.chunk()}) {
        const MidiSummary summary = of(broken);
        EXPECT_FALSE(summary.readable) << broken.size() << " bytes";
        EXPECT_EQ(summary.notes, (std::array<int, channelCount>{}));
    }
}

} // namespace
