#include "arrange/Song.h"
#include "core/Message.h"
#include "core/Note.h"
#include "core/Tempo.h"
#include "core/Volume.h"
#include "support/Capture.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdio>

namespace {

// Appends elements to a track directly, as the reader would leave them.
struct TrackBuilder {
    std::unique_ptr<Track> track = std::make_unique<Track>();

    TrackBuilder& note(int time, int channel, int pitch, int duration, int velocity = 100)
    {
        auto n = std::make_unique<Note>(time, channel, pitch, velocity);
        n->duration = duration;
        track->elements.push_back(std::move(n));
        track->used = true;
        return *this;
    }
    TrackBuilder& tempo(int time, int bpm)
    {
        track->elements.push_back(std::make_unique<Tempo>(time, 15, bpm));
        return *this;
    }
    TrackBuilder& volume(int time, int channel, int value)
    {
        track->elements.push_back(std::make_unique<Volume>(time, channel, value));
        return *this;
    }
};

std::vector<int> pitchesOf(const Channel& channel)
{
    std::vector<int> pitches;
    for (const auto& e : channel.elements)
        if (const auto* n = dynamic_cast<const Note*>(e.get()))
            pitches.push_back(n->pitch);
    return pitches;
}

int tempoCopies(const Channel& channel, int ch)
{
    int count = 0;
    for (const auto& e : channel.elements)
        if (const auto* t = dynamic_cast<const Tempo*>(e.get())) {
            EXPECT_EQ(t->channel, ch);
            ++count;
        }
    return count;
}

// Runs printVARN into a temporary file and returns what it wrote.
std::string writeMacros(Song& song)
{
    std::FILE* out = std::tmpfile();
    EXPECT_NE(out, nullptr);
    if (out == nullptr)
        return "";
    song.printVARN(out);
    std::rewind(out);
    std::string file;
    for (int c; (c = std::fgetc(out)) != EOF;)
        file.push_back(static_cast<char>(c));
    std::fclose(out);
    return file;
}

class SongTest : public ::testing::Test {
protected:
    void SetUp() override { setVerbosity(4); }
    void TearDown() override { setVerbosity(Message::msgLevelDefault); }
};

TEST_F(SongTest, Defaults)
{
    Song song;
    EXPECT_EQ(song.tempo, 120);
    EXPECT_EQ(song.division, 240);
    EXPECT_TRUE(song.triplets);
    EXPECT_FALSE(song.autoTranspose || song.longChords || song.upperC || song.eliminateIdentical);
    EXPECT_EQ(song.lowestPitch, 127);
    for (int ch = 0; ch < Song::channelCount; ++ch) {
        EXPECT_TRUE(song.active[ch]);
        EXPECT_EQ(song.polyphony[ch], 0);
        EXPECT_TRUE(song.mergeList[ch].empty());
        ASSERT_NE(song.channels[ch], nullptr);
        EXPECT_FALSE(song.channels[ch]->used);
    }
    Song other(96);
    EXPECT_EQ(other.tempo, 120);
    EXPECT_EQ(other.division, 96);
    Song third(90, 480);
    EXPECT_EQ(third.tempo, 90);
    EXPECT_EQ(third.division, 480);
}

TEST_F(SongTest, MergedSourcesGoToTheTargetAndGetOnlyTempoCopies)
{
    Song song(96);
    song.mergeList[0] = {1, 2}; // -m 1,2,3
    TrackBuilder t;
    t.tempo(0, 100).note(0, 0, 60, 96).note(0, 1, 64, 96).note(96, 2, 67, 96);
    song.tracks.push_back(std::move(t.track));
    song.sortToChannels();

    EXPECT_TRUE(song.channels[0]->used);
    EXPECT_EQ(pitchesOf(*song.channels[0]), (std::vector<int>{60, 64, 67}));
    for (int ch : {1, 2}) {
        EXPECT_FALSE(song.channels[ch]->used);
        EXPECT_TRUE(pitchesOf(*song.channels[ch]).empty());
    }
    for (int ch = 0; ch < Song::channelCount; ++ch)
        EXPECT_EQ(tempoCopies(*song.channels[ch], ch), 1) << "channel " << ch;

    // The track keeps its tempo change; distributed notes left it.
    const auto& entries = song.tracks[0]->elements;
    EXPECT_NE(dynamic_cast<const Tempo*>(entries[0].get()), nullptr);
    for (size_t i = 1; i < entries.size(); ++i)
        EXPECT_EQ(entries[i], nullptr);
}

TEST_F(SongTest, MergeTargetsAndInactiveChannels)
{
    Song song(96);
    song.mergeList[3] = {5};
    song.mergeList[1] = {5, 7}; // 6 is listed twice: the lower target 2 wins
    song.mergeList[0] = {3};    // 4 is a target itself and keeps its notes
    song.active[7] = false;     // an inactive source contributes nothing
    song.active[9] = false;
    TrackBuilder t;
    t.note(0, 5, 50, 96).note(0, 3, 53, 96).note(0, 7, 55, 96).note(0, 9, 57, 96).note(0, 0, 59, 96);
    song.tracks.push_back(std::move(t.track));
    song.sortToChannels();

    EXPECT_EQ(pitchesOf(*song.channels[1]), (std::vector<int>{50}));
    EXPECT_EQ(pitchesOf(*song.channels[3]), (std::vector<int>{53}));
    EXPECT_EQ(pitchesOf(*song.channels[0]), (std::vector<int>{59}));
    EXPECT_FALSE(song.channels[5]->used);
    EXPECT_FALSE(song.channels[7]->used);
    EXPECT_FALSE(song.channels[9]->used);
    EXPECT_TRUE(song.channels[9]->elements.empty());
}

TEST_F(SongTest, InactiveMergeTargetKeepsTheTempo)
{
    // -m 1,2 -d 1: channel 1 still receives channel 2's notes and needs the
    // song's tempo changes too; other inactive channels get none.
    Song song(96);
    song.mergeList[0] = {1};
    song.active[0] = false;
    song.active[5] = false;
    TrackBuilder t;
    t.tempo(0, 90).note(0, 1, 60, 96);
    song.tracks.push_back(std::move(t.track));
    song.sortToChannels();
    EXPECT_EQ(pitchesOf(*song.channels[0]), (std::vector<int>{60}));
    EXPECT_EQ(tempoCopies(*song.channels[0], 0), 1);
    EXPECT_EQ(tempoCopies(*song.channels[5], 5), 0);
}

TEST_F(SongTest, VolumeAloneDoesNotMakeAChannelUsed)
{
    Song song(96);
    TrackBuilder t;
    t.volume(0, 4, 100).note(0, 1, 60, 96);
    song.tracks.push_back(std::move(t.track));
    song.sortToChannels();
    EXPECT_FALSE(song.channels[4]->used);
    EXPECT_EQ(song.channels[4]->elements.size(), 1u);
    StdoutCapture capture;
    song.smoothChannels();
    EXPECT_EQ(capture.take(), "Output: Current polyphony on channel 2: 1\n");
}

TEST_F(SongTest, AutoTransposition)
{
    Song song(96);
    song.autoTranspose = true;
    song.transpose = 2;
    TrackBuilder t;
    t.note(0, 0, 60, 96).note(0, 3, 36, 96).note(96, 0, 40, 96);
    song.tracks.push_back(std::move(t.track));
    song.sortToChannels();
    EXPECT_EQ(song.lowestPitch, 36);
    EXPECT_EQ(song.transpose, 14);
}

TEST_F(SongTest, AutoTranspositionWithoutNotesAndAtTheIntLimit)
{
    Song empty;
    empty.autoTranspose = true;
    empty.sortToChannels();
    EXPECT_EQ(empty.lowestPitch, 127);
    EXPECT_EQ(empty.transpose, -79);

    Song song;
    song.autoTranspose = true;
    song.transpose = INT_MIN;
    song.sortToChannels(); // wraps instead of overflowing
    EXPECT_EQ(song.transpose, INT_MAX - 78);
}

TEST_F(SongTest, PrintCountsTracksAndChannels)
{
    Song song(96);
    TrackBuilder a, b;
    a.tempo(0, 120);
    b.note(0, 0, 60, 96);
    a.track->used = false;
    song.tracks.push_back(std::move(a.track));
    song.tracks.push_back(std::move(b.track));
    song.sortToChannels();
    StdoutCapture capture;
    song.print();
    EXPECT_EQ(capture.take(), "Output: Tempo 120\nOutput: 1/2 tracks:\nOutput: 1 channels.\n");

    setVerbosity(5);
    StdoutCapture detailed;
    song.print();
    EXPECT_EQ(detailed.take(), "Info:   \nInfo:   Song!\nOutput: Tempo 120\nOutput: 1/2 tracks:\n"
                               "Output: 1 channels.\nInfo:   Channel 1:\n"
                               "Info:   Time   0    Channel 1: Tempo 120\n"
                               "Info:   Time   0    Channel 1: Note 60, Velocity 100, Duration   1     (  0    )\n");
}

TEST_F(SongTest, OneNoteSongEndToEnd)
{
    // Middle C, velocity 64, one quarter at division 96.
    Song song(96);
    TrackBuilder t;
    t.note(0, 0, 60, 96, 64);
    song.tracks.push_back(std::move(t.track));
    song.sortToChannels();

    StdoutCapture capture;
    song.smoothChannels();
    song.createVARN();
    const std::string file = writeMacros(song);
    EXPECT_EQ(capture.take(), "Output: Current polyphony on channel 1: 1\n"
                              "Output: VARN channel 1:\n%6C\nOutput: Macro version:\n");
    EXPECT_EQ(file, "\"/playthis\"\n{\n  // Channel 1\n  \"/use %6C\\r\"\n}\n\n");
    EXPECT_EQ(song.tunes[0].status, VARN::ENone);
}

TEST_F(SongTest, PolyphonyLimitAndTunesPerChannel)
{
    Song song(96);
    song.polyphony[2] = 1;
    TrackBuilder t;
    t.note(0, 2, 60, 96).note(0, 2, 64, 96).note(0, 2, 67, 96).note(0, 5, 72, 48);
    song.tracks.push_back(std::move(t.track));
    song.sortToChannels();
    StdoutCapture capture;
    song.smoothChannels();
    song.createVARN();
    writeMacros(song);
    // A chord under a limit of 1 keeps its highest note.
    EXPECT_EQ(capture.take(), "Output: Current polyphony on channel 3: 1\n"
                              "Output: Current polyphony on channel 6: 1\n"
                              "Output: VARN channel 3:\nG\nOutput: Macro version:\n"
                              "Output: VARN channel 6:\n/c\nOutput: Macro version:\n");
}

} // namespace
