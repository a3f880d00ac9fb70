#include "midi/Track.h"

#include "support/Capture.h"

#include <gtest/gtest.h>

#include <climits>

namespace {

class TrackTest : public ::testing::Test {
protected:
    void SetUp() override { setVerbosity(9); }
    void TearDown() override { setVerbosity(4); }

    static const Element& noteAt(const Track& track, std::size_t index)
    {
        const Element& element = track.elements().at(index);
        EXPECT_TRUE(element.isNote()) << "element " << index << " is not a note";
        return element;
    }
};

TEST_F(TrackTest, NoteOnAppendsSoundingNoteAndMarksUsed)
{
    Track track;
    ConsoleCapture out;
    track.addNote(10, 3, 60, 100);
    EXPECT_EQ(out.take(), "");
    ASSERT_EQ(track.elements().size(), 1u);
    const Element& note = noteAt(track, 0);
    EXPECT_EQ(note.time, 10);
    EXPECT_EQ(note.channel, 3);
    EXPECT_EQ(note.pitch, 60);
    EXPECT_EQ(note.velocity, 100);
    EXPECT_EQ(note.duration, 0);
    EXPECT_EQ(note.length, 0);
    EXPECT_EQ(note.delta, 0);
    EXPECT_TRUE(track.used);
    EXPECT_EQ(track.findActiveNote(10, 3, 60), &note);
}

TEST_F(TrackTest, NoteOffWithoutSoundingNoteWarnsWithRawValues)
{
    Track track;
    ConsoleCapture out;
    track.setNoteOff(480, 9, 38, true);
    EXPECT_EQ(out.take(), "FORMAT: Warning, did not find an active note for 480 ch 9 note 38.\n");
    EXPECT_TRUE(track.elements().empty());
    EXPECT_FALSE(track.used);
}

TEST_F(TrackTest, NoteOffWithoutReportIsSilentWhenNothingSounds)
{
    Track track;
    ConsoleCapture out;
    track.setNoteOff(480, 9, 38, false);
    EXPECT_EQ(out.take(), "");
}

TEST_F(TrackTest, NoteOffEndsNoteSilently)
{
    Track track;
    track.addNote(0, 0, 60, 64);
    ConsoleCapture out;
    track.setNoteOff(96, 0, 60, true);
    EXPECT_EQ(out.take(), "");
    EXPECT_EQ(noteAt(track, 0).duration, 96);
    EXPECT_EQ(track.findActiveNote(200, 0, 60), nullptr);
}

TEST_F(TrackTest, NoteOffWithoutReportWarnsWhenItCutsANote)
{
    Track track;
    track.addNote(0, 0, 60, 64);
    ConsoleCapture out;
    track.setNoteOff(50, 0, 60, false);
    EXPECT_EQ(out.take(), "FORMAT: Warning, note 60 hasn't been released yet!\n");
    EXPECT_EQ(noteAt(track, 0).duration, 50);
}

TEST_F(TrackTest, ReStruckPitchCutsEarlierNote)
{
    Track track;
    track.addNote(0, 0, 60, 64);
    ConsoleCapture out;
    track.addNote(96, 0, 60, 70);
    EXPECT_EQ(out.take(), "FORMAT: Warning, note 60 hasn't been released yet!\n");
    ConsoleCapture out2;
    track.setNoteOff(192, 0, 60, true);
    EXPECT_EQ(out2.take(), "");
    ASSERT_EQ(track.elements().size(), 2u);
    EXPECT_EQ(noteAt(track, 0).duration, 96);
    EXPECT_EQ(noteAt(track, 1).duration, 96);
    EXPECT_EQ(noteAt(track, 1).velocity, 70);
}

TEST_F(TrackTest, PairingIsPerChannel)
{
    Track track;
    track.addNote(0, 0, 60, 64);
    track.addNote(10, 1, 60, 64);
    ConsoleCapture out;
    track.setNoteOff(40, 1, 60, true);
    track.setNoteOff(50, 1, 60, true);
    EXPECT_EQ(out.take(), "FORMAT: Warning, did not find an active note for 50 ch 1 note 60.\n");
    EXPECT_EQ(noteAt(track, 0).duration, 0);
    EXPECT_EQ(noteAt(track, 1).duration, 30);
    track.setNoteOff(70, 0, 60, true);
    EXPECT_EQ(noteAt(track, 0).duration, 70);
}

TEST_F(TrackTest, PairingIsPerPitch)
{
    Track track;
    track.addNote(0, 0, 60, 64);
    track.addNote(0, 0, 64, 64);
    track.setNoteOff(24, 0, 64, true);
    EXPECT_EQ(noteAt(track, 0).duration, 0);
    EXPECT_EQ(noteAt(track, 1).duration, 24);
}

TEST_F(TrackTest, NoteStartingLaterIsNotFoundByEarlierNoteOff)
{
    Track track;
    track.addNote(100, 0, 60, 64);
    EXPECT_EQ(track.findActiveNote(99, 0, 60), nullptr);
    EXPECT_NE(track.findActiveNote(100, 0, 60), nullptr);
}

TEST_F(TrackTest, FindActiveNoteTakesTheLatestSoundingNote)
{
    Track track;
    track.addNote(0, 0, 60, 64);
    track.setNoteOff(0, 0, 60, true); // same tick: still sounding
    track.addNote(0, 0, 62, 64);
    track.addNote(5, 0, 60, 64);      // cuts the first at 5
    EXPECT_EQ(track.findActiveNote(10, 0, 60), &noteAt(track, 2));
}

TEST_F(TrackTest, NoteOnAndOffOnSameTickStaySounding)
{
    Track track;
    track.addNote(48, 2, 60, 64);
    track.setNoteOff(48, 2, 60, true);
    EXPECT_EQ(noteAt(track, 0).duration, 0);
    EXPECT_NE(track.findActiveNote(48, 2, 60), nullptr);

    // A later note-on of the pitch ends it, with the warning.
    ConsoleCapture out;
    track.addNote(96, 2, 60, 64);
    EXPECT_EQ(out.take(), "FORMAT: Warning, note 60 hasn't been released yet!\n");
    EXPECT_EQ(noteAt(track, 0).duration, 48);

    // A later note-off, all-notes-off or end of track gives it a duration too.
    for (int way = 0; way < 3; ++way) {
        Track other;
        other.addNote(48, 2, 60, 64);
        other.setNoteOff(48, 2, 60, true);
        if (way == 0)
            other.setNoteOff(60, 2, 60, true);
        else if (way == 1)
            other.allNotesOff(60, 2);
        else
            other.allNotesOff(60);
        EXPECT_EQ(noteAt(other, 0).duration, 12) << "way " << way;
    }
}

TEST_F(TrackTest, VelocityZeroActsAsNoteOff)
{
    Track track;
    track.addNote(0, 5, 72, 90);
    ConsoleCapture out;
    track.addNote(30, 5, 72, 0);
    EXPECT_EQ(out.take(), "");
    ASSERT_EQ(track.elements().size(), 1u);
    EXPECT_EQ(noteAt(track, 0).duration, 30);

    ConsoleCapture out2;
    track.addNote(40, 5, 72, 0);
    EXPECT_EQ(out2.take(), "FORMAT: Warning, did not find an active note for 40 ch 5 note 72.\n");
    EXPECT_EQ(track.elements().size(), 1u);
}

TEST_F(TrackTest, OnlyVelocityZeroTempoAndVolumeLeaveTrackUnused)
{
    Track track;
    ConsoleCapture out;
    track.addNote(0, 0, 60, 0);
    track.addTempo(0, 15, 120);
    track.addVolume(0, 0, 100);
    EXPECT_EQ(out.take(), "FORMAT: Warning, did not find an active note for 0 ch 0 note 60.\n");
    EXPECT_FALSE(track.used);
    ASSERT_EQ(track.elements().size(), 2u);
    const Element& tempo = track.elements()[0];
    ASSERT_EQ(tempo.kind, ElementKind::Tempo);
    EXPECT_EQ(tempo.bpm, 120);
    EXPECT_EQ(tempo.channel, 15);
    const Element& volume = track.elements()[1];
    ASSERT_EQ(volume.kind, ElementKind::Volume);
    EXPECT_EQ(volume.volume, 100);
    EXPECT_EQ(volume.channel, 0);
}

TEST_F(TrackTest, AllNotesOffOfOneChannel)
{
    Track track;
    track.addNote(0, 2, 60, 64);
    track.addNote(0, 3, 60, 64);
    track.addNote(10, 2, 64, 64);
    track.addNote(20, 2, 67, 64);
    track.setNoteOff(30, 2, 67, true);
    ConsoleCapture out;
    track.allNotesOff(100, 2);
    EXPECT_EQ(out.take(), "");
    EXPECT_EQ(noteAt(track, 0).duration, 100);
    EXPECT_EQ(noteAt(track, 1).duration, 0);
    EXPECT_EQ(noteAt(track, 2).duration, 90);
    EXPECT_EQ(noteAt(track, 3).duration, 10);
}

TEST_F(TrackTest, AllNotesOffOfEveryChannel)
{
    Track track;
    track.addNote(0, 0, 60, 64);
    track.addNote(5, 15, 61, 64);
    track.addNote(10, 9, 62, 64);
    track.setNoteOff(20, 9, 62, true);
    ConsoleCapture out;
    track.allNotesOff(50);
    EXPECT_EQ(out.take(), "");
    EXPECT_EQ(noteAt(track, 0).duration, 50);
    EXPECT_EQ(noteAt(track, 1).duration, 45);
    EXPECT_EQ(noteAt(track, 2).duration, 10);
}

TEST_F(TrackTest, TakingTheElementsForgetsTheSoundingNotes)
{
    // The song takes a track's elements away: notes still sounding then are
    // not found again, and a note added afterwards is ended on its own.
    Track track;
    track.addNote(0, 0, 60, 64);
    track.addNote(0, 0, 62, 64);
    track.addTempo(0, 15, 100);
    const std::vector<Element> taken = track.takeElements();
    ASSERT_EQ(taken.size(), 3u);
    EXPECT_TRUE(track.elements().empty());
    EXPECT_EQ(track.findActiveNote(10, 0, 60), nullptr);
    track.addNote(20, 0, 62, 64);
    track.allNotesOff(30);
    ASSERT_EQ(track.elements().size(), 1u);
    EXPECT_EQ(noteAt(track, 0).duration, 10);
    EXPECT_EQ(taken[1].duration, 0); // the taken notes are not touched
}

TEST_F(TrackTest, PrintListsEveryElementInOrder)
{
    Track track;
    track.addTempo(0, 15, 120);
    track.addNote(48, 0, 60, 100);
    track.addVolume(96, 1, 80);
    track.setNoteOff(144, 0, 60, true);
    ConsoleCapture out;
    track.print(96);
    EXPECT_EQ(out.take(),
              "Info:   Time   0    Channel 16: Tempo 120\n"
              "Info:   Time 1/2Channel 1: Note 60, Velocity 100, Duration   1     (  0    )\n"
              "Info:   Time   1    Channel 2: Volume 80\n");
}

TEST_F(TrackTest, DurationWrapsWithoutOverflow)
{
    Track track;
    track.addNote(INT_MIN, 0, 60, 64);
    track.setNoteOff(INT_MAX, 0, 60, true);
    EXPECT_EQ(noteAt(track, 0).duration, -1);
}

} // namespace
