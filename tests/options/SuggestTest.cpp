// Suggestions: the ranking of switch sets built on the given ones, the
// words for what they change, and the best set alone on the last line.
#include "options/Suggest.h"

#include "support/MidiWriter.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

Suggestions suggestFor(const std::string& midi, const std::vector<std::string>& switches)
{
    SuggestRequest request;
    request.switches = switches;
    request.midi = std::span(reinterpret_cast<const unsigned char*>(midi.data()), midi.size());
    return suggest(request);
}

std::string lastLine(const std::string& text)
{
    const std::size_t end = text.size() - 1;
    const std::size_t start = text.rfind('\n', end - 1);
    return text.substr(start == std::string::npos ? 0 : start + 1, end - (start == std::string::npos ? 0 : start + 1));
}

std::string example()
{
    std::ifstream file(std::string(MIDI2VARN_SOURCE_DIR) + "/examples/example.mid", std::ios::binary);
    return std::string{std::istreambuf_iterator<char>(file), {}};
}

// A bass line two octaves too low, long enough to need more than five
// parts, under a high tune that moving the whole song up would push out.
std::string lowAndLong()
{
    std::vector<midi::SongNote> notes;
    for (int i = 0; i < 1500; ++i)
        notes.push_back({24 * i, 24, 24 + (i * 5) % 12});
    for (int i = 0; i < 20; ++i)
        notes.push_back({96 * i, 96, 79 + i % 5, 1});
    return midi::song(notes);
}

// A bass line two octaves too low under bass drum and hi-hat on channel 10.
std::string lowWithDrums()
{
    std::vector<midi::SongNote> notes;
    for (int i = 0; i < 8; ++i)
        notes.push_back({96 * i, 96, 36 + (i * 5) % 12});
    for (int i = 0; i < 4; ++i)
        notes.push_back({48 + 192 * (i / 2), 24, 36 + 6 * (i % 2), 9});
    return midi::song(notes);
}

// lowAndLong() with a hi-hat on every off-beat.
std::string lowLongWithDrums()
{
    std::vector<midi::SongNote> notes;
    for (int i = 0; i < 1500; ++i)
        notes.push_back({24 * i, 24, 24 + (i * 5) % 12});
    for (int i = 0; i < 20; ++i)
        notes.push_back({96 * i, 96, 79 + i % 5, 1});
    for (int i = 0; i < 300; ++i)
        notes.push_back({48 + 96 * i, 24, 42, 9});
    return midi::song(notes);
}

// Each note of channel 1 doubled on channel 2: merged with -e, the song
// fits a macro; without -e it needs more than the game's 5 parts.
std::string doubled()
{
    std::vector<midi::SongNote> notes;
    for (int i = 0; i < 600; ++i) {
        notes.push_back({48 * i, 48, 60 + (i * 7) % 12});
        notes.push_back({48 * i, 48, 60 + (i * 7) % 12, 1});
    }
    return midi::song(notes);
}

TEST(SuggestTest, RankingAndWords)
{
    const struct {
        const char* name;
        std::string midi;
        std::vector<std::string> switches;
        std::vector<std::string> ranking; // the rows' switches, best first
        std::string bestWords;
    } cases[] = {
        {"the example plays as written", example(), {}, {""}, "the switches as given"},
        {"the example too high: -o", example(), {"-t", "30", "-p", "1"}, {"-t 30 -p 1 -o", "-t 30 -p 1"},
         "+ -o: 46 more notes in their octave"},
        {"given -e that drops nothing is left out", example(), {"-e"}, {"", "-e"}, "- -e: no change"},
        {"too low and too long: -o and -b 5", lowAndLong(), {}, {"-o -b 5", "-a -b 5", "-b 5", ""},
         "+ -o + -b 5: 1,500 more notes in their octave, played whole in 2 macros"},
        {"a given -b above 5 is swapped, and says so", lowAndLong(), {"-b", "8"}, {"-o -b 5", "-a -b 5", "-b 5", "-b 8"},
         "+ -o -b 5 instead of -b 8: 1,500 more notes in their octave, played whole in 2 macros"},
        {"drums: -d 10 on the best sets", lowWithDrums(), {}, {"-o -d 10", "-a -d 10", "-o", "-a", ""},
         "+ -o + -d 10: 8 more notes in their octave, 4 drum notes no longer played as pitches"},
        {"drums, too long: -d 10 and -b 5", lowLongWithDrums(), {},
         {"-o -d 10 -b 5", "-a -d 10 -b 5", "-o -b 5", "-a -b 5", "-d 10 -b 5", "-b 5", ""},
         "+ -o + -d 10 + -b 5: 1,500 more notes in their octave, 300 drum notes no longer played as pitches, played "
         "whole in 2 macros"},
        {"a better set needs -b 5 though the given ones fit", doubled(), {"-m", "1,2", "-e"},
         {"-m 1,2 -b 5", "-m 1,2 -e"},
         "- -e + -b 5: 600 more notes played, 600 more notes in their octave, 600 more notes on time, 600 more notes "
         "at their length, played whole in 2 macros"},
    };
    for (const auto& c : cases) {
        const Suggestions s = suggestFor(c.midi, c.switches);
        ASSERT_TRUE(s.converted) << c.name << s.errors;
        std::vector<std::string> ranking;
        for (const Candidate& candidate : s.ranked)
            ranking.push_back(candidate.typed);
        EXPECT_EQ(ranking, c.ranking) << c.name << "\n" << formatSuggestions(s);
        ASSERT_FALSE(s.ranked.empty());
        EXPECT_EQ(s.ranked.front().words, c.bestWords) << c.name;
        // Scripts take the last line: the best switch set alone.
        EXPECT_EQ(lastLine(formatSuggestions(s)), s.ranked.front().typed) << c.name;
        // The best plays whole and scores at least as high as any other that does.
        for (const Candidate& other : s.ranked)
            if (other.playsWhole) {
                EXPECT_GE(s.ranked.front().figures.fidelity.asWritten, other.figures.fidelity.asWritten) << c.name;
            }
    }
}

TEST(SuggestTest, TheTable)
{
    const Suggestions s = suggestFor(lowAndLong(), {});
    ASSERT_TRUE(s.converted);
    EXPECT_EQ(formatSuggestions(s),
              "switches  as written  played  macros  parts         what changes\n"
              "-o -b 5   100%        100%    2       4             + -o + -b 5: 1,500 more notes in their octave, "
              "played whole in 2 macros\n"
              "-a -b 5   98%         100%    2       4             + -a + -b 5: 1,480 more notes in their octave, "
              "played whole in 2 macros\n"
              "-b 5      1%          100%    2       4             + -b 5: played whole in 2 macros\n"
              "(none)    1%          100%    1       8 (too many)  the switches as given\n"
              "-o -b 5\n");
}

// With players asked for: sets with -P for them are tried, and no set
// ranked needs more players than asked.
TEST(SuggestTest, AtMostTheirPlayers)
{
    // A bass, a middle voice and a melody, with drums.
    std::vector<midi::SongNote> notes;
    for (int i = 0; i < 32; ++i) {
        notes.push_back({96 * i, 96, 36 + (i * 5) % 12});
        notes.push_back({96 * i, 48, 60 + (i * 7) % 12, 1});
        notes.push_back({48 * i, 48, 79 + i % 5, 2});
        notes.push_back({96 * i, 24, 42, 9});
    }
    const std::string band = midi::song(notes);
    const struct {
        int players;
        std::vector<std::string> switches;
        const char* banded; // a row that must be there
    } cases[] = {
        {1, {}, "-P 1"},
        {2, {"-k"}, "-k -P 2"},
        {2, {"-m", "1,2", "-o"}, "-o -P 2"},
        {3, {"-P", "1"}, "-P 1"},
        {4, {"-d", "10"}, "-d 10 -P 4"},
    };
    for (const auto& c : cases) {
        SuggestRequest request;
        request.switches = c.switches;
        request.players = c.players;
        request.midi = std::span(reinterpret_cast<const unsigned char*>(band.data()), band.size());
        const Suggestions s = suggest(request);
        ASSERT_TRUE(s.converted) << c.banded << s.errors;
        const std::string table = formatSuggestions(s);
        EXPECT_EQ(table.substr(0, table.find('\n')).find("players"), table.find("players")) << table;
        bool banded = false;
        for (const Candidate& candidate : s.ranked) {
            banded = banded || candidate.typed == c.banded;
            EXPECT_GE(candidate.players, 1) << candidate.typed;
            EXPECT_LE(candidate.players, c.players) << candidate.typed << "\n" << table;
        }
        EXPECT_TRUE(banded) << c.banded << "\n" << table;
    }
}

// The page offers the best set when it scores 5 points more, or leaves out
// drums the given switches play.
TEST(SuggestTest, OfferLine)
{
    std::vector<midi::SongNote> tune;
    for (int i = 0; i < 60; ++i)
        tune.push_back({96 * i, 96, 60 + i % 12});
    tune.push_back({0, 24, 49, 9}); // one crash cymbal
    const auto oneDrum = [&tune] { return midi::song(tune); };
    const struct {
        std::string midi;
        std::vector<std::string> switches;
        std::string offer;
    } cases[] = {
        {lowWithDrums(), {}, "Better: -o -d 10: 100% as written instead of 0%, drums left out"},
        {lowLongWithDrums(), {}, "Better: -o -d 10 -b 5: 100% as written instead of 1%, drums left out, played whole"},
        {oneDrum(), {}, "Better: -d 10: 100% as written instead of 98%, drums left out"},
        {example(), {"-t", "30", "-p", "1"}, "Better: -t 30 -p 1 -o: 58% as written instead of 0%"},
        {example(), {}, ""},     // the given switches are best
        {example(), {"-e"}, ""}, // no switches are as good: not worth a change
    };
    for (const auto& c : cases) {
        const Suggestions s = suggestFor(c.midi, c.switches);
        ASSERT_TRUE(s.converted) << c.offer;
        EXPECT_EQ(offerLine(s), c.offer) << formatSuggestions(s);
    }
}

TEST(SuggestTest, RefusedSwitchesAndUnreadableSongs)
{
    const struct {
        std::string midi;
        std::vector<std::string> switches;
        const char* error;
    } cases[] = {
        {example(), {"-x"}, "invalid option -- 'x'"},
        {example(), {"-p", "x"}, "were refused"},
        {example(), {"name.txt"}, "\"name.txt\" is not a switch"},
        {"not a MIDI file", {}, "could not be converted"},
    };
    for (const auto& c : cases) {
        const Suggestions s = suggestFor(c.midi, c.switches);
        EXPECT_FALSE(s.converted) << c.error;
        EXPECT_TRUE(s.ranked.empty()) << c.error;
        EXPECT_NE(s.errors.find(c.error), std::string::npos) << s.errors;
    }
}

} // namespace
