// The preview file, read back through the converter's own MIDI reader.
#include "tune/Preview.h"

#include "core/Message.h"
#include "midi/MidiReader.h"
#include "support/Capture.h"
#include "tune/TuneReader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::string readFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

MidiFile parse(const std::string& bytes)
{
    setVerbosity(Level::Fatal);
    MidiFile file;
    ConsoleCapture quiet;
    EXPECT_TRUE(MidiReader().loadSong(std::span(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size()),
                                     "preview.mid", file));
    quiet.take();
    setVerbosity(Level::Output);
    return file;
}

// The notes of a file as "channel:start+duration:pitch@velocity", sorted.
std::vector<std::string> notesOf(const MidiFile& file)
{
    std::vector<std::string> notes;
    for (const Track& track : file.tracks)
        for (const Element& e : track.elements())
            if (e.isNote())
                notes.push_back(std::to_string(e.channel + 1) + ":" + std::to_string(e.time) + "+" +
                                std::to_string(e.duration) + ":" + std::to_string(e.pitch) + "@" +
                                std::to_string(e.velocity));
    std::sort(notes.begin(), notes.end());
    return notes;
}

std::string joined(const std::vector<std::string>& notes)
{
    std::string all;
    for (const std::string& n : notes)
        all += (all.empty() ? "" : " ") + n;
    return all;
}

// The example's preview plays the example's own notes: each at its time
// under the song's tempo map (100, then 80 from bar 8), at 1920 ticks a
// second, with the velocity of its volume.
TEST(PreviewTest, ExamplePlaysTheSong)
{
    const fs::path examples = fs::path(MIDI2VARN_SOURCE_DIR) / "examples";
    const Preview preview = makePreview(readTunes(readFile(examples / "example.txt")));
    EXPECT_TRUE(preview.remarks.empty());
    const MidiFile played = parse(preview.midi);
    EXPECT_EQ(played.division, 960);
    ASSERT_EQ(played.tracks.size(), 3u);
    EXPECT_NE(preview.midi.find("\xFF\x03\x09" "Channel 1"), std::string::npos);
    EXPECT_NE(preview.midi.find("\xFF\x03\x09" "Channel 2"), std::string::npos);

    const MidiFile song = parse(readFile(examples / "example.mid"));
    ASSERT_EQ(song.division, 96);
    // Seconds at 100 beats a minute, and at 80 from tick 7 x 384 (bar 8) on.
    const auto ticks = [](int songTicks) {
        const double seconds =
            std::min(songTicks, 7 * 384) / 96.0 * 0.6 + std::max(songTicks - 7 * 384, 0) / 96.0 * 0.75;
        return static_cast<int>(std::lround(seconds * 1920));
    };
    std::vector<std::string> expected;
    for (const Track& track : song.tracks)
        for (const Element& e : track.elements())
            if (e.isNote()) {
                const int volume = static_cast<int>(100.0 * e.velocity / 1000.0 + 0.5);
                expected.push_back(std::to_string(e.channel + 1) + ":" + std::to_string(ticks(e.time)) + "+" +
                                   std::to_string(ticks(e.time + e.duration) - ticks(e.time)) + ":" +
                                   std::to_string(e.pitch) + "@" + std::to_string((127 * volume + 5) / 10));
            }
    std::sort(expected.begin(), expected.end());
    ASSERT_EQ(expected.size(), 78u);
    EXPECT_EQ(notesOf(played), expected);
}

TEST(PreviewTest, TimingChannelsAndHeldNotes)
{
    const struct {
        const char* input;
        const char* notes;
    } cases[] = {
        {"C", "1:0+960:60@127"},
        {"%1c%5c", "1:0+480:60@13 1:480+480:60@64"},
        {"@60C@180C", "1:0+1920:60@127 1:1920+640:60@127"},
        {"@90c1", "1:0+320:60@127"},
        {"[ce]8G", "1:0+1920:60@127 1:0+1920:64@127 1:0+960:67@127"},
        {"[c]$Ep8[c]$", "1:0+2880:60@127 1:0+960:64@127"},
        {"[c]$C", "1:0+960:60@127 1:0+960:60@127"},
        {"[c]$[c]$C", "1:0+960:60@127"},
        {"\"/playthis\"\n{\n  // Channel 10\n  \"/use C\\r\"\n}\n", "1:0+960:60@127"},
        {"\"/playthis\"\n{\n  // Channel 1\n  \"/use C\\r\"\n}\n\"/playthis\"\n{\n  // Channel 10\n"
         "  \"/use @60C\\r\"\n}\n\"/playthis\"\n{\n  // Channel 2\n  \"/use p8E\\r\"\n}\n",
         "1:0+960:60@127 2:1920+960:64@127 3:0+1920:60@127"},
    };
    for (const auto& c : cases) {
        const Preview preview = makePreview(readTunes(c.input));
        EXPECT_EQ(joined(notesOf(parse(preview.midi))), c.notes) << c.input;
    }
}

// A note ending where the next of its pitch starts is off before that one
// is on; the tempo track holds 120 and 4/4 at tick 0.
TEST(PreviewTest, EventOrderAndConductor)
{
    const Preview preview = makePreview(readTunes("cc"));
    const std::string conductor = std::string("MTrk\x00\x00\x00\x13", 8) +
                                  std::string("\x00\xFF\x51\x03\x07\xA1\x20", 7) +
                                  std::string("\x00\xFF\x58\x04\x04\x02\x18\x08", 8) +
                                  std::string("\x00\xFF\x2F\x00", 4);
    EXPECT_EQ(preview.midi.substr(14, conductor.size()), conductor);
    const std::string offThenOn = std::string("\x83\x60\x80\x3C\x40\x00\x90\x3C\x7F", 9);
    EXPECT_NE(preview.midi.find(offThenOn), std::string::npos);

    std::string all16;
    for (int ch = 1; ch <= 16; ++ch)
        all16 += "\"/playthis\"\n{\n  // Channel " + std::to_string(ch) + "\n  \"/use C\\r\"\n}\n";
    const Preview crowded = makePreview(readTunes(all16));
    ASSERT_EQ(crowded.remarks.size(), 1u);
    EXPECT_NE(crowded.remarks[0].find("Channel 10 plays on MIDI channel 10"), std::string::npos);
}

} // namespace

// A clock asked in any order answers as the marks say: marks out of order
// and two on one clock, times before, on and between them. A sixteenth
// lasts 15 / bpm seconds; before the first mark the tempo is 120.
TEST(PreviewTest, TuneClockAnswersAlikeInAnyOrder)
{
    const std::vector<TempoMark> marks = {{0, 90}, {16, 180}, {16, 60}, {40, 150}, {32, 100}, {200, 75}};
    const auto expected = [](std::int64_t t) {
        const double s = static_cast<double>(t);
        if (t < 0)
            return s * 15 / 120;
        if (t < 16)
            return s * 15 / 90;
        if (t < 40)
            return 16.0 * 15 / 90 + (s - 16) * 15 / 60;
        if (t < 200)
            return 16.0 * 15 / 90 + 24.0 * 15 / 60 + (s - 40) * 15 / 100;
        return 16.0 * 15 / 90 + 24.0 * 15 / 60 + 160.0 * 15 / 100 + (s - 200) * 15 / 75;
    };
    std::vector<std::int64_t> times;
    for (std::int64_t t = -3; t < 260; t += 5)
        times.push_back(t);
    for (const std::int64_t t : {16, 40, 200, 0})
        times.push_back(t);
    std::vector<std::int64_t> scrambled = times;
    std::reverse(scrambled.begin(), scrambled.end());
    for (std::size_t i = 0; i + 7 < scrambled.size(); i += 7)
        std::swap(scrambled[i], scrambled[i + 7]);
    for (const auto& order : {times, scrambled}) {
        const TuneClock clock(marks);
        for (const std::int64_t t : order)
            EXPECT_NEAR(clock.seconds(t), expected(t), 1e-9) << t;
    }
}
