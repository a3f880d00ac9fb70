#include "arrange/Song.h"
#include "convert/Conversion.h"
#include "core/Element.h"
#include "core/Message.h"
#include "core/Settings.h"
#include "support/Capture.h"
#include "support/MidiWriter.h"
#include "tune/MacroWriter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <climits>
#include <random>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace {

// Builds a track as the reader does, note by note.
struct TrackBuilder {
    Track track;

    // A note of `duration` ticks; 0 leaves it sounding, as at a track's end.
    TrackBuilder& note(int time, int channel, int pitch, int duration, int velocity = 100)
    {
        track.addNote(time, channel, pitch, velocity);
        if (duration != 0)
            track.setNoteOff(time + duration, channel, pitch, true);
        return *this;
    }
    TrackBuilder& tempo(int time, int bpm)
    {
        track.addTempo(time, 15, bpm);
        return *this;
    }
    TrackBuilder& volume(int time, int channel, int value)
    {
        track.addVolume(time, channel, value);
        return *this;
    }
};

// A file of `division` without tracks (the tests add theirs to the song).
MidiFile emptyFile(int division = 240)
{
    MidiFile file;
    file.division = division;
    return file;
}

std::vector<int> pitchesOf(const Channel& channel)
{
    std::vector<int> pitches;
    for (const Element& e : channel.elements)
        if (e.isNote())
            pitches.push_back(e.pitch);
    return pitches;
}

int tempoCopies(const Channel& channel, int ch)
{
    int count = 0;
    for (const Element& e : channel.elements)
        if (e.kind == ElementKind::Tempo) {
            EXPECT_EQ(e.channel, ch);
            ++count;
        }
    return count;
}

// Converts the MIDI file `midi` as the program would, writing the macro
// blocks to a named output; the console text it produces goes to `console`.
Conversion convertBytes(const std::string& midi, const Settings& settings, std::string& console)
{
    ConversionRequest request;
    request.settings = settings;
    request.inputName = "song.mid";
    request.outputName = "song.txt";
    request.midi = std::span<const unsigned char>(reinterpret_cast<const unsigned char*>(midi.data()), midi.size());
    return convert(request, [&console](const ConsoleText& piece) { console += piece.text; });
}

// The stages after the arranging, on every used channel, as the conversion runs them.
void runStages(Song& song)
{
    for (int ch = 0; ch < Song::channelCount; ++ch) {
        if (!song.channels[ch].used)
            continue;
        quantiseChannel(song, ch);
        removeIdenticalNotes(song, ch);
        limitPolyphony(song, ch);
    }
}

class SongTest : public ::testing::Test {
protected:
    void SetUp() override { setVerbosity(4); }
    void TearDown() override { setVerbosity(Message::msgLevelDefault); }
};

TEST_F(SongTest, Defaults)
{
    Song song(Settings{}, MidiFile{});
    EXPECT_EQ(song.tempo, 120);
    EXPECT_EQ(song.division, 240);
    EXPECT_TRUE(song.settings.triplets);
    EXPECT_FALSE(song.settings.autoTranspose || song.settings.longChords || song.settings.upperC ||
                 song.settings.eliminateIdentical);
    EXPECT_EQ(song.lowestPitch, 127);
    EXPECT_EQ(song.transpose, 0);
    EXPECT_TRUE(song.tracks.empty());
    for (int ch = 0; ch < Song::channelCount; ++ch) {
        EXPECT_TRUE(song.settings.active[ch]);
        EXPECT_EQ(song.settings.polyphony[ch], 0);
        EXPECT_TRUE(song.settings.mergeList[ch].empty());
        EXPECT_TRUE(song.channels[ch].elements.empty());
        EXPECT_FALSE(song.channels[ch].used);
    }
    Song other(Settings{}, emptyFile(96));
    EXPECT_EQ(other.tempo, 120);
    EXPECT_EQ(other.division, 96);
    // The tempo the report names is not taken from the file: it stays 120.
    Song third(Settings{}, emptyFile(480));
    EXPECT_EQ(third.tempo, 120);
    EXPECT_EQ(third.division, 480);
}

TEST_F(SongTest, TakesTheFilesTracksAndACopyOfTheSettings)
{
    Settings settings;
    settings.transpose = 5;
    settings.polyphony[3] = 2;
    settings.active[4] = false;
    MidiFile file = emptyFile(96);
    TrackBuilder t;
    t.note(0, 0, 60, 96).note(0, 1, 62, 96);
    file.tracks.push_back(std::move(t.track));
    file.tracks.emplace_back();
    Song song(settings, std::move(file));
    settings.transpose = 7; // later changes of the caller's settings do not reach the song
    EXPECT_EQ(song.settings.transpose, 5);
    EXPECT_EQ(song.transpose, 5);
    EXPECT_EQ(song.settings.polyphony[3], 2);
    EXPECT_FALSE(song.settings.active[4]);
    EXPECT_EQ(song.division, 96);
    ASSERT_EQ(song.tracks.size(), 2u);
    EXPECT_TRUE(song.tracks[0].used);
    // The track's elements have moved into their channels.
    EXPECT_TRUE(song.tracks[0].elements().empty());
    EXPECT_EQ(pitchesOf(song.channels[0]), (std::vector<int>{60}));
    EXPECT_EQ(pitchesOf(song.channels[1]), (std::vector<int>{62}));
    EXPECT_FALSE(song.tracks[1].used);
}

TEST_F(SongTest, MergedSourcesGoToTheTargetAndGetOnlyTempoCopies)
{
    Settings settings;
    settings.mergeList[0] = {1, 2}; // -m 1,2,3
    MidiFile file = emptyFile(96);
    TrackBuilder t;
    t.tempo(0, 100).note(0, 0, 60, 96).note(0, 1, 64, 96).note(96, 2, 67, 96);
    file.tracks.push_back(std::move(t.track));
    Song song(settings, std::move(file));

    EXPECT_TRUE(song.channels[0].used);
    EXPECT_EQ(pitchesOf(song.channels[0]), (std::vector<int>{60, 64, 67}));
    for (int ch : {1, 2}) {
        EXPECT_FALSE(song.channels[ch].used);
        EXPECT_TRUE(pitchesOf(song.channels[ch]).empty());
    }
    for (int ch = 0; ch < Song::channelCount; ++ch)
        EXPECT_EQ(tempoCopies(song.channels[ch], ch), 1) << "channel " << ch;

    // Every element of the track moved on into the channels (the tempo
    // change as one copy per channel); the track keeps none of them.
    ASSERT_EQ(song.tracks.size(), 1u);
    EXPECT_TRUE(song.tracks[0].elements().empty());
}

TEST_F(SongTest, MergeTargetsAndInactiveChannels)
{
    Settings settings;
    settings.mergeList[3] = {5};
    settings.mergeList[1] = {5, 7}; // 6 is listed twice: the lower target 2 wins
    settings.mergeList[0] = {3};    // 4 is a target itself and keeps its notes
    settings.active[7] = false;     // an inactive source contributes nothing
    settings.active[9] = false;
    MidiFile file = emptyFile(96);
    TrackBuilder t;
    t.note(0, 5, 50, 96).note(0, 3, 53, 96).note(0, 7, 55, 96).note(0, 9, 57, 96).note(0, 0, 59, 96);
    file.tracks.push_back(std::move(t.track));
    Song song(settings, std::move(file));

    EXPECT_EQ(pitchesOf(song.channels[1]), (std::vector<int>{50}));
    EXPECT_EQ(pitchesOf(song.channels[3]), (std::vector<int>{53}));
    EXPECT_EQ(pitchesOf(song.channels[0]), (std::vector<int>{59}));
    EXPECT_FALSE(song.channels[5].used);
    EXPECT_FALSE(song.channels[7].used);
    EXPECT_FALSE(song.channels[9].used);
    EXPECT_TRUE(song.channels[9].elements.empty());
}

// The channels equal the plain arrangement, sorted: every track in turn,
// each element in file order into its channel, tempo changes copied into
// every channel that gets them where they stand. Random tracks with tempo
// changes in several tracks, ties of every kind, times out of order, merges
// and inactive channels.
TEST_F(SongTest, ChannelsEqualThePlainArrangementSorted)
{
    std::mt19937 rng(4242);
    for (int round = 0; round < 300; ++round) {
        Settings settings;
        if (round % 3 == 1)
            settings.mergeList[0] = {1, 2};
        if (round % 4 == 2)
            settings.active[1] = false;
        if (round % 5 == 3) {
            settings.mergeList[2] = {3};
            settings.active[2] = false;
        }
        MidiFile file = emptyFile(96);
        const int trackCount = 1 + static_cast<int>(rng() % 3);
        int tag = 0;
        ConsoleCapture quiet; // a pitch struck again while it sounds is reported
        for (int t = 0; t < trackCount; ++t) {
            TrackBuilder b;
            int time = 0;
            const int n = static_cast<int>(rng() % 25);
            for (int k = 0; k < n; ++k, ++tag) {
                time = round % 2 == 0 ? time + static_cast<int>(rng() % 3) : static_cast<int>(rng() % 8);
                // Some rounds give each track a channel of its own, which then
                // takes the track's list whole.
                const int channel = round % 6 >= 4 ? t : static_cast<int>(rng() % 4);
                switch (rng() % 5) {
                case 0: b.tempo(time, tag); break;
                case 1: b.volume(time, channel, tag); break;
                default: b.note(time, channel, 58 + static_cast<int>(rng() % 3), static_cast<int>(rng() % 3), tag + 1);
                }
            }
            file.tracks.push_back(std::move(b.track));
        }
        std::array<Channel, Song::channelCount> plain;
        for (const Track& track : file.tracks) {
            for (const Element& e : track.elements()) {
                for (int ch = 0; ch < Song::channelCount; ++ch) {
                    const bool getsTempos = settings.active[ch] || !settings.mergeList[ch].empty();
                    if (e.kind == ElementKind::Tempo && getsTempos)
                        plain[ch].copyTempo(e, ch);
                }
                if (e.kind == ElementKind::Tempo || !settings.active[e.channel])
                    continue;
                int target = e.channel;
                for (int t = Song::channelCount - 1; t >= 0; --t)
                    for (int source : settings.mergeList[t])
                        if (source == e.channel && settings.mergeList[e.channel].empty())
                            target = t;
                plain[target].elements.push_back(e);
            }
        }
        Song song(settings, std::move(file));
        for (int ch = 0; ch < Song::channelCount; ++ch) {
            if (!song.channels[ch].used)
                continue;
            plain[ch].sort();
            const auto& got = song.channels[ch].elements;
            const auto& want = plain[ch].elements;
            ASSERT_EQ(got.size(), want.size()) << "round " << round << " channel " << ch;
            for (std::size_t i = 0; i < got.size(); ++i) {
                EXPECT_EQ(got[i].kind, want[i].kind) << "round " << round << " channel " << ch << " at " << i;
                EXPECT_EQ(got[i].time, want[i].time) << "round " << round << " channel " << ch << " at " << i;
                EXPECT_EQ(got[i].channel, want[i].channel) << "round " << round << " channel " << ch << " at " << i;
                const int gotTag = got[i].isNote() ? got[i].velocity : got[i].volume;
                const int wantTag = want[i].isNote() ? want[i].velocity : want[i].volume;
                EXPECT_EQ(gotTag, wantTag) << "round " << round << " channel " << ch << " at " << i;
            }
        }
    }
}

TEST_F(SongTest, InactiveMergeTargetKeepsTheTempo)
{
    // -m 1,2 -d 1: channel 1 still receives channel 2's notes and needs the
    // song's tempo changes too; other inactive channels get none.
    Settings settings;
    settings.mergeList[0] = {1};
    settings.active[0] = false;
    settings.active[5] = false;
    MidiFile file = emptyFile(96);
    TrackBuilder t;
    t.tempo(0, 90).note(0, 1, 60, 96);
    file.tracks.push_back(std::move(t.track));
    Song song(settings, std::move(file));
    EXPECT_EQ(pitchesOf(song.channels[0]), (std::vector<int>{60}));
    EXPECT_EQ(tempoCopies(song.channels[0], 0), 1);
    EXPECT_EQ(tempoCopies(song.channels[5], 5), 0);
}

TEST_F(SongTest, VolumeAloneDoesNotMakeAChannelUsed)
{
    MidiFile file = emptyFile(96);
    TrackBuilder t;
    t.volume(0, 4, 100).note(0, 1, 60, 96);
    file.tracks.push_back(std::move(t.track));
    Song song(Settings{}, std::move(file));
    EXPECT_FALSE(song.channels[4].used);
    EXPECT_EQ(song.channels[4].elements.size(), 1u);
    ConsoleCapture capture;
    runStages(song);
    EXPECT_EQ(capture.take(), "Output: Current polyphony on channel 2: 1\n");
}

TEST_F(SongTest, AutoTransposition)
{
    Settings settings;
    settings.autoTranspose = true;
    settings.transpose = 2;
    MidiFile file = emptyFile(96);
    TrackBuilder t;
    t.note(0, 0, 60, 96).note(0, 3, 36, 96).note(96, 0, 40, 96);
    file.tracks.push_back(std::move(t.track));
    Song song(settings, std::move(file));
    EXPECT_EQ(song.lowestPitch, 36);
    EXPECT_EQ(song.transpose, 14);
    EXPECT_EQ(song.settings.transpose, 2); // the setting itself stays as given
}

TEST_F(SongTest, AutoTranspositionWithoutNotesAndAtTheIntLimit)
{
    Settings automatic;
    automatic.autoTranspose = true;
    Song empty(automatic, MidiFile{});
    EXPECT_EQ(empty.lowestPitch, 127);
    EXPECT_EQ(empty.transpose, -79);

    automatic.transpose = INT_MIN;
    Song song(automatic, MidiFile{});
    EXPECT_EQ(song.transpose, INT_MAX - 78);
}

TEST_F(SongTest, PrintCountsTracksAndChannels)
{
    MidiFile file = emptyFile(96);
    TrackBuilder a, b;
    a.tempo(0, 120);
    b.note(0, 0, 60, 96);
    a.track.used = false;
    file.tracks.push_back(std::move(a.track));
    file.tracks.push_back(std::move(b.track));
    Song song(Settings{}, std::move(file));
    ConsoleCapture capture;
    song.print();
    EXPECT_EQ(capture.take(), "Output: Tempo 120\nOutput: 1/2 tracks:\nOutput: 1 channels.\n");

    setVerbosity(5);
    ConsoleCapture detailed;
    song.print();
    EXPECT_EQ(detailed.take(), "Info:   \nInfo:   Song!\nOutput: Tempo 120\nOutput: 1/2 tracks:\n"
                               "Output: 1 channels.\nInfo:   Channel 1:\n"
                               "Info:   Time   0    Channel 1: Tempo 120\n"
                               "Info:   Time   0    Channel 1: Note 60, Velocity 100, Duration   1     (  0    )\n");
}

TEST_F(SongTest, OneNoteSongEndToEnd)
{
    // Middle C, velocity 64, one quarter at division 96.
    const std::string midi =
        midi::header(0, 1, 96) + midi::TrackBody().noteOn(0, 0, 60, 64).noteOff(96, 0, 60).endOfTrack(0).chunk();
    std::string console;
    ConsoleCapture capture;
    const Conversion result = convertBytes(midi, Settings{}, console);
    EXPECT_EQ(capture.take(), ""); // the report goes to the sink only
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(console, "Output: Parsing \"song.mid\"...\n"
                       "Output: Current polyphony on channel 1: 1\n"
                       "Output: Tempo 120\nOutput: 1/1 tracks:\nOutput: 1 channels.\n"
                       "Output: VARN channel 1:\n%6C\nOutput: Macro version:\n");
    EXPECT_EQ(result.macroText, "\"/playthis\"\n{\n  // Channel 1\n  \"/use %6C\\r\"\n}\n\n");
    ASSERT_EQ(result.tunes.size(), 1u);
    EXPECT_EQ(result.tunes[0].channel, 1);
    EXPECT_EQ(result.tunes[0].text, "%6C");
    EXPECT_EQ(result.tunes[0].status, TuneStatus::None);
}

TEST_F(SongTest, OneNoteSongThroughTheSongsStages)
{
    // The same song built by hand: the song's stages and the tune of its channel.
    MidiFile file = emptyFile(96);
    TrackBuilder t;
    t.note(0, 0, 60, 96, 64);
    file.tracks.push_back(std::move(t.track));

    ConsoleCapture capture;
    Song song(Settings{}, std::move(file));
    runStages(song);
    TuneEncoder tune;
    tune.encode(song.channels[0].elements, song.transpose, song.settings.triplets, song.settings.longChords,
                song.settings.upperC);
    std::string macro;
    appendMacro(macro, tune, 0);
    EXPECT_EQ(capture.take(), "Output: Current polyphony on channel 1: 1\n");
    EXPECT_EQ(tune.text, "%6C");
    EXPECT_EQ(macro, "\"/playthis\"\n{\n  // Channel 1\n  \"/use %6C\\r\"\n}\n\n");
    EXPECT_EQ(tune.status, TuneStatus::None);
}

TEST_F(SongTest, PolyphonyLimitAndTunesPerChannel)
{
    Settings settings;
    settings.polyphony[2] = 1;
    // A C major chord of quarters on channel 3 and an eighth c on channel 6, division 96.
    const std::string midi = midi::header(0, 1, 96) + midi::TrackBody()
                                                          .noteOn(0, 2, 60, 100)
                                                          .noteOn(0, 2, 64, 100)
                                                          .noteOn(0, 2, 67, 100)
                                                          .noteOn(0, 5, 72, 100)
                                                          .noteOff(48, 5, 72)
                                                          .noteOff(48, 2, 60)
                                                          .noteOff(0, 2, 64)
                                                          .noteOff(0, 2, 67)
                                                          .endOfTrack(0)
                                                          .chunk();
    std::string console;
    const Conversion result = convertBytes(midi, settings, console);
    EXPECT_EQ(result.status, 0);
    // A chord under a limit of 1 keeps its highest note.
    EXPECT_EQ(console, "Output: Parsing \"song.mid\"...\n"
                       "Output: Current polyphony on channel 3: 1\n"
                       "Output: Current polyphony on channel 6: 1\n"
                       "Output: Tempo 120\nOutput: 1/1 tracks:\nOutput: 2 channels.\n"
                       "Output: VARN channel 3:\nG\nOutput: Macro version:\n"
                       "Output: VARN channel 6:\n/c\nOutput: Macro version:\n");
    ASSERT_EQ(result.tunes.size(), 2u);
    EXPECT_EQ(result.tunes[0].channel, 3);
    EXPECT_EQ(result.tunes[0].text, "G");
    EXPECT_EQ(result.tunes[1].channel, 6);
    EXPECT_EQ(result.tunes[1].text, "/c");
    EXPECT_EQ(result.macroText, "\"/playthis\"\n{\n  // Channel 3\n  \"/use G\\r\"\n}\n\n"
                                "\"/playthis\"\n{\n  // Channel 6\n  \"/use /c\\r\"\n}\n\n");
}

} // namespace
