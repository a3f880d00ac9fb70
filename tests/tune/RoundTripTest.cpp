// Converting and reading back: for every channel, the tune plays exactly
// the notes the encoder meant (each start as the sum of the sixteenths
// written before it, its length, pitch and volume), with no stuck notes;
// held notes end at or after their length. Over the example, the
// benchmark generator's 10k-note files and every valid file of the shared
// collection (skipped where it is absent), under several option sets.
#include "convert/Conversion.h"
#include "options/Options.h"
#include "support/Run.h"
#include "tune/TuneReader.h"
#include "tune/TuneText.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

const fs::path corpus = fs::path(MIDI2VARN_SOURCE_DIR) / ".." / "shared" / "midi-corpus" / "Valid";

const std::vector<std::vector<std::string>> optionSets = {
    {}, {"-k"}, {"-l", "-p", "4"}, {"-e", "-n", "-u", "-t", "5"}, {"-a", "-m", "all", "-l", "-k"},
};

std::string readFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

Settings settingsOf(const std::vector<std::string>& options)
{
    std::vector<std::string> args{"midi2varn"};
    args.insert(args.end(), options.begin(), options.end());
    args.push_back("in.mid");
    const CommandLine line = parseOptions(args);
    EXPECT_TRUE(line.proceed);
    Settings settings = line.settings;
    settings.verbosity = Level::Fatal;
    return settings;
}

struct Tally {
    int conversions = 0;
    long notes = 0;
    int cut = 0;       // channels cut at the text cap
    long heldAgain = 0; // held notes of a pitch started again while it was held
};

// The tune of one channel against what the encoder meant for its notes,
// matched by the letter written for each.
void compareChannel(const ChannelTrace& trace, const TuneRecord& record, const PlayedTune& played,
                    bool keepInStep, const std::string& what, Tally& tally)
{
    if (record.text.size() >= static_cast<std::size_t>(TuneText::maxText) ||
        std::any_of(trace.notes.begin(), trace.notes.end(), [](const TracedNote& n) { return n.fate == Fate::Cut; })) {
        ++tally.cut;
        return;
    }
    // A held note started while one of its pitch is held reads as that
    // one's end; the held notes of that pitch are left out.
    std::set<std::size_t> heldLetters;
    for (const TracedNote& n : trace.notes)
        if (n.fate == Fate::Written && n.held)
            heldLetters.insert(n.letter);
    std::set<int> heldAgain;
    for (const HeldEnd& end : played.heldEnds)
        if (heldLetters.count(end.letter))
            heldAgain.insert(played.notes[end.note].pitch);
    std::map<std::size_t, std::size_t> byLetter;
    for (std::size_t i = 0; i < played.notes.size(); ++i)
        byLetter[played.notes[i].letter] = i;
    for (const TracedNote& meant : trace.notes) {
        if (meant.fate != Fate::Written)
            continue;
        const std::string note = what + ", note at letter " + std::to_string(meant.letter);
        if (meant.held && heldAgain.count(meant.writtenPitch)) {
            ++tally.heldAgain;
            byLetter.erase(meant.letter);
            continue;
        }
        const auto found = byLetter.find(meant.letter);
        ASSERT_NE(found, byLetter.end()) << note;
        const PlayedNote& p = played.notes[found->second];
        byLetter.erase(found);
        ASSERT_EQ(p.start, meant.start) << note;
        ASSERT_EQ(p.pitch, meant.writtenPitch) << note;
        ASSERT_EQ(p.volume, meant.volume) << note;
        ASSERT_EQ(p.held, meant.held) << note;
        ASSERT_FALSE(p.stuck) << note;
        if (meant.held)
            ASSERT_GE(p.length, meant.sixteenths) << note;
        else
            ASSERT_EQ(p.length, meant.sixteenths) << note;
        // With -k no start is a sixteenth or more off its grid position.
        if (keepInStep) {
            ASSERT_GE(meant.grid - 6 * p.start, 0) << note;
            ASSERT_LT(meant.grid - 6 * p.start, 6) << note;
        }
        ++tally.notes;
    }
    // What is left was started by letters that ended held notes of those pitches.
    for (const auto& [letter, index] : byLetter) {
        ASSERT_TRUE(played.notes[index].held && heldAgain.count(played.notes[index].pitch))
            << what << ", a note no letter was written for, at letter " << letter;
    }
}

void roundTrip(const std::string& midi, const std::vector<std::string>& options, const std::string& name,
               Tally& tally)
{
    const std::string what = name + " with" + [&] {
        std::string all;
        for (const std::string& o : options)
            all += " " + o;
        return all;
    }();
    ConversionRequest request;
    request.settings = settingsOf(options);
    request.inputName = name;
    request.outputName = "out.txt";
    request.midi = std::span(reinterpret_cast<const unsigned char*>(midi.data()), midi.size());
    request.wantDepartures = true;
    const Conversion conversion = convert(request, nullptr);
    ASSERT_EQ(conversion.status, 0) << what;
    ++tally.conversions;

    // Read back as the player has it: the whole macro file.
    const TuneRead read = readTunes(conversion.macroText);
    EXPECT_EQ(read.errors, 0u) << what << ": " << (read.issues.empty() ? "" : read.issues[0].text);
    ASSERT_EQ(read.tunes.size(), conversion.tunes.size()) << what;
    ASSERT_EQ(conversion.trace.channels.size(), conversion.tunes.size()) << what;
    for (std::size_t i = 0; i < read.tunes.size(); ++i) {
        ASSERT_EQ(read.tunes[i].channel, conversion.tunes[i].channel) << what;
        ASSERT_EQ(read.tunes[i].text, conversion.tunes[i].text) << what;
        ASSERT_TRUE(conversion.trace.channels[i].followed) << what;
        compareChannel(conversion.trace.channels[i], conversion.tunes[i], read.tunes[i],
                       request.settings.keepInStep, what + ", channel " + std::to_string(read.tunes[i].channel),
                       tally);
    }
}

void roundTripAll(const std::string& midi, const std::string& name, Tally& tally)
{
    for (const auto& options : optionSets) {
        roundTrip(midi, options, name, tally);
        if (testing::Test::HasFatalFailure())
            return;
    }
}

TEST(RoundTripTest, Example)
{
    Tally tally;
    roundTripAll(readFile(fs::path(MIDI2VARN_SOURCE_DIR) / "examples" / "example.mid"), "example.mid", tally);
    EXPECT_EQ(tally.notes, 5 * 78);
    EXPECT_EQ(tally.cut + tally.heldAgain, 0);
}

TEST(RoundTripTest, BenchmarkFiles)
{
    const fs::path dir = fs::temp_directory_path() / ("roundtrip-" + std::to_string(std::random_device{}()));
    fs::create_directories(dir);
    Tally tally;
    for (const char* type : {"0", "1"}) {
        const fs::path file = dir / (std::string("bench") + type + ".mid");
        const RunResult made = runProgram(fs::absolute(BENCH_GENERATOR_EXE).string(),
                                          {"make_bench_midi", "10000", type, file.string()}, dir.string());
        ASSERT_EQ(made.status, 0) << made.err;
        roundTripAll(readFile(file), file.filename().string(), tally);
    }
    std::error_code ignored;
    fs::remove_all(dir, ignored);
    EXPECT_GT(tally.notes, 5 * 2 * 7000);
}

TEST(RoundTripTest, SharedCollection)
{
    if (!fs::is_directory(corpus))
        GTEST_SKIP() << "no collection at " << corpus;
    std::vector<fs::path> files;
    for (const auto& entry : fs::recursive_directory_iterator(corpus))
        if (entry.is_regular_file())
            files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    Tally tally;
    for (const fs::path& file : files) {
        roundTripAll(readFile(file), fs::relative(file, corpus).string(), tally);
        if (HasFatalFailure())
            return;
    }
    std::printf("%zu files x %zu option sets: %d conversions, %ld notes compared; left out: channels "
                "%d cut at the text cap; held notes started again while held: %ld\n",
                files.size(), optionSets.size(), tally.conversions, tally.notes, tally.cut, tally.heldAgain);
    EXPECT_GT(tally.notes, 100000);
}

} // namespace
