// The conversion as a library call: many conversions in one process, with
// different settings and failures in between, each give exactly what the
// program gives when run on its own.
#include "convert/Conversion.h"
#include "options/Options.h"
#include "support/MidiWriter.h"
#include "support/Run.h"
#include "support/TextMode.h"
#include "tune/TuneReader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace fs = std::filesystem;

namespace {

const std::string exe = fs::absolute(MIDI2VARN_EXE).string();

// What one run shows: its status, standard output and error, and the file written.
struct Outcome {
    int status = -1;
    std::string console;
    std::string errors;
    std::string text;
    Diagnostics diagnostics; // of the conversion
};

// One run: the switches and names after the program's name, and the input
// file's bytes (none: the file does not exist).
struct Case {
    std::vector<std::string> args;
    const std::string* midi;
};

std::string readFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The run in this process, as the program makes it: the switches, then the
// conversion of the bytes.
Outcome inProcess(const Case& c)
{
    std::vector<std::string> args{"midi2varn"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const CommandLine commandLine = parseOptions(args);
    Outcome outcome;
    outcome.errors = commandLine.errors;
    if (!commandLine.proceed) {
        for (const ConsoleLine& line : commandLine.lines)
            outcome.console += line.text;
        outcome.status = commandLine.status;
        return outcome;
    }
    ConversionRequest request;
    request.settings = commandLine.settings;
    request.inputName = commandLine.inputName;
    request.outputName = commandLine.outputName;
    request.inputRead = c.midi != nullptr;
    if (c.midi != nullptr)
        request.midi = std::span(reinterpret_cast<const unsigned char*>(c.midi->data()), c.midi->size());
    request.preamble = commandLine.lines;
    request.keepBlocks = true;
    const Conversion result = convert(request, [&](const ConsoleText& piece) { outcome.console += piece.text; });
    outcome.status = result.status;
    outcome.text = result.macroText;
    outcome.diagnostics = result.diagnostics;
    // The file holds the channels' blocks one after the other.
    std::string blocks;
    for (const TuneRecord& tune : result.tunes)
        blocks += tune.block;
    if (request.outputName != "-") {
        EXPECT_EQ(blocks, result.macroText);
    }
    return outcome;
}

class ConversionTest : public testing::Test {
protected:
    void SetUp() override
    {
        std::random_device random;
        for (int attempt = 0; attempt < 100 && dir.empty(); ++attempt) {
            const fs::path candidate = fs::path(testing::TempDir()) / ("conversion" + std::to_string(random()));
            if (fs::create_directory(candidate))
                dir = candidate;
        }
        ASSERT_FALSE(dir.empty());
        example = readFile(fs::absolute(MIDI2VARN_SOURCE_DIR) / "examples" / "example.mid");
        ASSERT_FALSE(example.empty());
        midi::TrackBody cut;
        cut.noteOn(0, 0, 60, 100).noteOff(96, 0, 60);
        truncated = midi::header(0, 1, 96) + midi::chunk(cut.str()).substr(0, 12);
        midi::TrackBody huge;
        huge.noteOn(0, 0, 60, 100).noteOff(0x0FFFFFFF, 0, 60).noteOn(0, 1, 40, 10).noteOff(1, 1, 40).endOfTrack(0);
        longRest = midi::header(0, 1, 24) + huge.chunk();
    }

    void TearDown() override
    {
        std::error_code ignored;
        fs::remove_all(dir, ignored);
    }

    // The program run on its own, in a fresh process, on the same bytes.
    Outcome separately(const Case& c)
    {
        fs::remove(dir / "song.mid");
        fs::remove(dir / "song.txt");
        if (c.midi != nullptr) {
            EXPECT_TRUE(midi::writeFile((dir / "song.mid").string(), *c.midi));
        }
        std::vector<std::string> args{"midi2varn"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const RunResult run = runProgram(exe, args, dir.string());
        Outcome outcome{run.status, run.out, run.err, "", {}};
        if (fs::exists(dir / "song.txt"))
            outcome.text = readFile(dir / "song.txt");
        return outcome;
    }

    fs::path dir;
    std::string example;
    const std::string empty;
    const std::string notMidi = "Not a MIDI file at all.\n";
    std::string truncated;
    std::string longRest;
};

TEST_F(ConversionTest, EachOfManyCallsInOneProcessMatchesARunOnItsOwn)
{
    const std::vector<Case> cases = {
        {{"song.mid"}, &example},
        {{"-p", "3", "-e", "song.mid"}, &example},
        {{"song.mid"}, &notMidi},
        {{"-v", "9", "-l", "-u", "-t", "-5", "song.mid"}, &example},
        {{"song.mid"}, &empty},
        {{"-m", "all", "-p", "4", "song.mid", "-"}, &example},
        {{"-x", "song.mid"}, &example},
        {{"-n", "-a", "-d", "2", "song.mid"}, &example},
        {{"-v", "7", "song.mid"}, &truncated},
        {{"song.mid"}, nullptr},
        {{"-v", "0", "-p", "2@1", "song.mid"}, &example},
        {{"-h"}, &example},
        {{"-v", "5", "song.mid"}, &longRest},
        {{"song.mid", "song.mid"}, &example},
    };
    std::vector<Outcome> expected;
    for (const Case& c : cases)
        expected.push_back(separately(c));

    // Twice through, the second time in reverse: no call depends on what
    // ran before it in this process.
    std::vector<std::size_t> order(cases.size());
    for (std::size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    for (int round = 0; round < 2; ++round) {
        for (std::size_t i : order) {
            const Outcome got = inProcess(cases[i]);
            const std::string what = "case " + std::to_string(i) + ", round " + std::to_string(round);
            EXPECT_EQ(got.status, expected[i].status) << what;
            EXPECT_EQ(textMode(got.console), expected[i].console) << what;
            EXPECT_EQ(textMode(got.errors), expected[i].errors) << what;
            EXPECT_EQ(textMode(got.text), expected[i].text) << what;
        }
        std::reverse(order.begin(), order.end());
    }
}

TEST_F(ConversionTest, ConsoleStreamComesInWholeLinesWithTheirLevels)
{
    const Case c{{"-v", "9", "song.mid"}, &example};
    std::vector<ConsoleLine> lines;
    std::vector<std::string> args{"midi2varn"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const CommandLine commandLine = parseOptions(args);
    ConversionRequest request;
    request.settings = commandLine.settings;
    request.inputName = commandLine.inputName;
    request.outputName = "-";
    request.midi = std::span(reinterpret_cast<const unsigned char*>(example.data()), example.size());
    request.keepBlocks = true;
    std::string macro;
    const Conversion result = convert(request, [&](const ConsoleText& piece) {
        if (piece.macro)
            macro += piece.text;
        else
            lines.push_back({piece.level, std::string(piece.text)});
    });
    ASSERT_EQ(result.status, 0);
    EXPECT_TRUE(result.macroText.empty());
    ASSERT_FALSE(result.tunes.empty());
    EXPECT_FALSE(macro.empty());
    std::string blocks;
    for (const TuneRecord& tune : result.tunes) {
        EXPECT_NE(tune.block.find(tune.text), std::string::npos) << "channel " << tune.channel;
        blocks += tune.block;
    }
    // The blocks are the macro text of the console stream, in channel order.
    EXPECT_EQ(blocks, macro);

    const char* const labels[10] = {"FATAL:  ", "ERROR:  ", "FORMAT: ", "WARN:   ", "Output: ",
                                    "Info:   ", "Notice: ", "Debug:  ", "Ignore: ", "All:    "};
    int labelled = 0;
    for (const ConsoleLine& line : lines) {
        ASSERT_FALSE(line.text.empty());
        EXPECT_EQ(line.text.back(), '\n') << line.text;
        EXPECT_EQ(std::count(line.text.begin(), line.text.end(), '\n'), 1) << line.text;
        // A labelled line carries the label of its own level.
        for (int level = 0; level < 10; ++level) {
            if (line.text.rfind(labels[level], 0) == 0) {
                EXPECT_EQ(static_cast<int>(line.level), level) << line.text;
                ++labelled;
            }
        }
    }
    EXPECT_GT(labelled, 100);
}

// Where each note of a tune starts, in sixteenths: single notes and rests
// move the clock, notes in a group start together and do not.
std::vector<long> noteStarts(const std::string& tune)
{
    std::vector<long> starts;
    long clock = 0;
    bool inGroup = false;
    const auto number = [&](std::size_t& i, long otherwise) {
        if (i + 1 >= tune.size() || !std::isdigit(static_cast<unsigned char>(tune[i + 1])))
            return otherwise;
        long n = 0;
        while (i + 1 < tune.size() && std::isdigit(static_cast<unsigned char>(tune[i + 1])))
            n = n * 10 + (tune[++i] - '0');
        return n;
    };
    for (std::size_t i = 0; i < tune.size(); ++i) {
        const char c = tune[i];
        if (c == '[') {
            inGroup = true;
        } else if (c == ']') {
            inGroup = false;
            if (i + 1 < tune.size() && tune[i + 1] == '$')
                ++i;
            else
                number(i, 0);
        } else if (c == 'p') {
            clock += number(i, 2);
        } else if (c == '%' || c == '@') {
            number(i, 0);
        } else if (std::isalpha(static_cast<unsigned char>(c))) {
            starts.push_back(clock);
            while (i + 1 < tune.size() && (tune[i + 1] == '#' || tune[i + 1] == '.'))
                ++i;
            const long length = number(i, std::isupper(static_cast<unsigned char>(c)) ? 4 : 2);
            if (!inGroup)
                clock += length;
        }
    }
    return starts;
}

// Two channels of different rhythms merged into one tune: with -k every note
// starts at its quantised position rounded down to a sixteenth, so both
// parts end where the file ends them; without it the rounded gaps drift.
TEST(KeepInStepTest, MergedRhythmsStayOnTheirGrid)
{
    midi::TrackBody triplets; // eighth-note triplets on channel 1
    for (int i = 0; i < 12; ++i)
        triplets.noteOn(i == 0 ? 0 : 8, 0, 60 + i % 5, 100).noteOff(24, 0, 60 + i % 5);
    midi::TrackBody shuffle; // long-short pairs on channel 2
    const int shuffleStarts[] = {0, 64, 96, 160, 192, 256, 288, 352};
    int previousEnd = 0;
    for (int start : shuffleStarts) {
        shuffle.noteOn(static_cast<std::uint32_t>(start - previousEnd), 1, 50, 100).noteOff(16, 1, 50);
        previousEnd = start + 16;
    }
    const std::string file = midi::header(1, 2, 96) + triplets.endOfTrack(0).chunk() + shuffle.endOfTrack(0).chunk();

    // The quantised starts in 24ths (division 96: 4 ticks each), merged.
    std::vector<long> expected;
    for (int i = 0; i < 12; ++i)
        expected.push_back(i * 32 / 4 / 6);
    for (int start : shuffleStarts)
        expected.push_back(start / 4 / 6);
    std::sort(expected.begin(), expected.end());

    for (bool keepInStep : {false, true}) {
        ConversionRequest request;
        request.settings.mergeList[0] = {1};
        request.settings.keepInStep = keepInStep;
        request.settings.verbosity = Level::Fatal;
        request.inputName = "song.mid";
        request.outputName = "song.txt";
        request.midi = std::span(reinterpret_cast<const unsigned char*>(file.data()), file.size());
        const Conversion result = convert(request, nullptr);
        ASSERT_EQ(result.status, 0);
        ASSERT_EQ(result.tunes.size(), 1u);
        EXPECT_TRUE(result.tunes[0].block.empty()); // not asked for
        const std::vector<long> starts = noteStarts(result.tunes[0].text);
        if (keepInStep)
            EXPECT_EQ(starts, expected) << result.tunes[0].text;
        else
            EXPECT_NE(starts.back(), expected.back()) << result.tunes[0].text;
    }
}

} // namespace

namespace {

// One conversion in memory, quiet; the tunes it made.
Conversion convertQuietly(const std::string& file, Settings settings)
{
    settings.verbosity = Level::Fatal;
    ConversionRequest request;
    request.settings = settings;
    request.inputName = "song.mid";
    request.outputName = "song.txt";
    request.midi = std::span(reinterpret_cast<const unsigned char*>(file.data()), file.size());
    return convert(request, nullptr);
}

// Four chords a beat apart (division 192), each strummed over 22 ticks from
// a tick or two before its beat: each strum alone rounds to nothing.
std::string strummedChords()
{
    struct Event {
        int tick;
        bool on;
        int key;
    };
    std::vector<Event> events;
    const int chords[] = {0, 190, 382, 574};
    for (int beat = 0; beat < 4; ++beat) {
        for (const auto& [key, offset] : {std::pair{55, 0}, std::pair{59, 8}, std::pair{62, 22}})
            events.push_back({chords[beat] + offset, true, key});
        for (int key : {55, 59, 62})
            events.push_back({192 * beat + 170, false, key});
    }
    std::stable_sort(events.begin(), events.end(), [](const Event& a, const Event& b) { return a.tick < b.tick; });
    midi::TrackBody body;
    int now = 0;
    for (const Event& e : events) {
        const auto delta = static_cast<std::uint32_t>(e.tick - now);
        if (e.on)
            body.noteOn(delta, 0, e.key, 80);
        else
            body.noteOff(delta, 0, e.key);
        now = e.tick;
    }
    return midi::header(0, 1, 192) + body.endOfTrack(0).chunk();
}

} // namespace

// With -k each element's distance comes from the grid positions of the
// element and its predecessor, so a strum's spread is never lost.
TEST(KeepInStepTest, StrummedChordsStayOnTheirBeats)
{
    const std::string file = strummedChords();
    const struct {
        bool keepInStep;
        const char* tune;
    } cases[] = {
        {false, "[%8\\g][b]3%8=d3[\\g][b]3=d3[\\g][b]3=d3[\\g][b]3=d3"},
        {true, "[%8\\g][b]3%8=d3p1[\\g][b]3=d3p1[\\g][b]3=d3p1[\\g][b]3=d3"},
    };
    for (const auto& c : cases) {
        Settings settings;
        settings.keepInStep = c.keepInStep;
        const Conversion result = convertQuietly(file, settings);
        ASSERT_EQ(result.tunes.size(), 1u);
        EXPECT_EQ(result.tunes[0].text, c.tune) << c.keepInStep;
    }
}

// Two players off the grid in their own ways (a drummer rushing by a few
// ticks, a triplet line dragging), over 64 bars: with -k no note, read back
// from the tune, starts a sixteenth or more away from its tick, whether the
// channels are merged or apart. Without -k the same song drifts.
TEST(KeepInStepTest, HumanisedBandStartsWithinASixteenth)
{
    constexpr int division = 480;
    std::vector<std::int64_t> ticks;
    midi::TrackBody drums;
    midi::TrackBody triplets;
    std::uint32_t seed = 12345;
    const auto jitter = [&seed](int spread) {
        seed = seed * 1103515245u + 12345u;
        return static_cast<int>((seed >> 16) % static_cast<std::uint32_t>(spread));
    };
    int previous = 0;
    for (int i = 0; i < 64 * 8; ++i) { // eighths, each up to 18 ticks early
        const int tick = i * 240 + 20 - jitter(38);
        drums.noteOn(static_cast<std::uint32_t>(tick - previous), 0, 60, 100).noteOff(100, 0, 60);
        previous = tick + 100;
        ticks.push_back(tick);
    }
    previous = 0;
    for (int i = 0; i < 64 * 12; ++i) { // eighth triplets, each up to 27 ticks late
        const int tick = i * 160 + jitter(28);
        triplets.noteOn(static_cast<std::uint32_t>(tick - previous), 1, 67, 100).noteOff(80, 1, 67);
        previous = tick + 80;
        ticks.push_back(tick);
    }
    const std::string file = midi::header(1, 2, division) + drums.endOfTrack(0).chunk() + triplets.endOfTrack(0).chunk();
    std::sort(ticks.begin(), ticks.end());

    for (const bool merged : {false, true}) {
        for (const bool keepInStep : {false, true}) {
            Settings settings;
            settings.keepInStep = keepInStep;
            if (merged)
                settings.mergeList[0] = {1};
            const Conversion result = convertQuietly(file, settings);
            ASSERT_EQ(result.tunes.size(), merged ? 1u : 2u);
            TuneRead read;
            for (const TuneRecord& tune : result.tunes)
                readTune(tune.text, tune.channel, read);
            std::vector<std::int64_t> starts; // in 24ths of a tick
            for (const PlayedTune& tune : read.tunes)
                for (const PlayedNote& note : tune.notes)
                    starts.push_back(note.start * 6 * division);
            ASSERT_EQ(starts.size(), ticks.size());
            std::sort(starts.begin(), starts.end());
            std::int64_t worst = 0; // matched in order, the closest matching there is
            for (std::size_t i = 0; i < ticks.size(); ++i) {
                const std::int64_t off = starts[i] - ticks[i] * 24;
                worst = std::max(worst, off < 0 ? -off : off);
            }
            if (keepInStep)
                EXPECT_LT(worst, 6 * division) << "merged " << merged;
            else
                EXPECT_GE(worst, 6 * division) << "merged " << merged;
        }
    }
}

namespace {

// A one-track song (96 ticks to the quarter) of quarter notes: per
// channel, each note's start in quarters and its pitch.
std::string quarterNotes(const std::vector<std::vector<std::pair<int, int>>>& channels)
{
    std::vector<std::tuple<int, int, int, int>> events; // tick, on, channel, pitch
    for (std::size_t ch = 0; ch < channels.size(); ++ch)
        for (const auto& [quarter, pitch] : channels[ch]) {
            events.emplace_back(quarter * 96, 1, static_cast<int>(ch), pitch);
            events.emplace_back(quarter * 96 + 96, 0, static_cast<int>(ch), pitch);
        }
    std::stable_sort(events.begin(), events.end(), [](const auto& a, const auto& b) {
        return std::tie(std::get<0>(a), std::get<1>(a)) < std::tie(std::get<0>(b), std::get<1>(b));
    });
    midi::TrackBody body;
    int now = 0;
    for (const auto& [tick, on, channel, pitch] : events) {
        const auto delta = static_cast<std::uint32_t>(tick - now);
        if (on)
            body.noteOn(delta, channel, pitch, 100);
        else
            body.noteOff(delta, channel, pitch);
        now = tick;
    }
    return midi::header(0, 1, 96) + body.endOfTrack(0).chunk();
}

// The lines of `console` that begin with `start`.
std::string linesStarting(const std::string& console, const std::string& start)
{
    std::string lines;
    for (std::size_t at = 0; at < console.size();) {
        const std::size_t end = std::min(console.find('\n', at), console.size() - 1) + 1;
        if (console.compare(at, start.size(), start) == 0)
            lines += console.substr(at, end - at);
        at = end;
    }
    return lines;
}

} // namespace

// -o moves each channel by the octaves that fit the notes its tune encodes,
// after the song's transposition and the notes -e and -p took.
TEST(FitOctavesTest, EachChannelMovesOverTheNotesItsTuneEncodes)
{
    const std::string moved = "Output: Transposing channel ";
    // -e: 30 and 42 fold alike and start together; -p 1 keeps one of 30, 31.
    const std::string identical = quarterNotes({{{0, 30}, {0, 42}, {1, 50}, {2, 55}, {3, 70}}});
    const std::string chord = quarterNotes({{{0, 30}, {0, 31}, {1, 50}, {2, 55}, {3, 60}}});
    // -a moves the lowest note, 20 on channel 1, to 48: channel 2 lands at 88..98.
    const std::string band = quarterNotes({{{0, 20}, {1, 30}}, {{0, 60}, {1, 70}}});
    const struct {
        std::vector<std::string> args;
        const std::string* midi;
        std::string lines;
    } cases[] = {
        {{"-o"}, &identical, moved + "1 by 12 to fit the range.\n"},
        {{"-o", "-e"}, &identical, ""},
        {{"-o"}, &chord, moved + "1 by 24 to fit the range.\n"},
        {{"-o", "-p", "1"}, &chord, ""},
        {{"-o", "-a"}, &band, moved + "2 by -24 to fit the range.\n"},
        {{"-o", "-t", "28"}, &band, moved + "2 by -24 to fit the range.\n"},
        {{"-o", "-t", "4"}, &band, moved + "1 by 24 to fit the range.\n"},
        {{"-a"}, &band, ""},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = c.args;
        args.insert(args.end(), {"song.mid", "-"});
        const Outcome outcome = inProcess(Case{args, c.midi});
        ASSERT_EQ(outcome.status, 0);
        EXPECT_EQ(linesStarting(outcome.console, moved), c.lines) << testing::PrintToString(c.args);
    }
}

// The move is told after the song report and its element dump, before the
// first tune; the example's accompaniment, an octave low, moves up.
TEST_F(ConversionTest, FitOctavesTellsEachMoveBeforeTheTunes)
{
    const Outcome outcome = inProcess(Case{{"-v", "5", "-o", "-t", "-12", "song.mid", "-"}, &example});
    ASSERT_EQ(outcome.status, 0);
    const std::string line = "Output: Transposing channel 2 by 12 to fit the range.\n";
    const std::size_t at = outcome.console.find(line);
    ASSERT_NE(at, std::string::npos) << outcome.console;
    EXPECT_EQ(outcome.console.find("Transposing channel 1"), std::string::npos);
    EXPECT_LT(outcome.console.rfind("Info:   Time"), at);
    EXPECT_LT(at, outcome.console.find("Output: VARN channel 1:"));
    EXPECT_FALSE(outcome.diagnostics.has(Code::TooLow)) << outcome.console;
}

// A triplet length above a quarter plays as the nearest sixteenth: a note
// of 28 24ths (division 24, 28 ticks) is written as 5 sixteenths, and the
// run reports the clamp as a warning, never as an internal error.
TEST(TripletLengthTest, PlaysAsTheNearestSixteenth)
{
    const std::string file =
        midi::header(0, 1, 24) + midi::TrackBody().noteOn(0, 0, 60, 100).noteOff(28, 0, 60).endOfTrack(0).chunk();
    ConversionRequest request;
    request.settings.verbosity = Level::Warn;
    request.inputName = "song.mid";
    request.outputName = "song.txt";
    request.midi = std::span(reinterpret_cast<const unsigned char*>(file.data()), file.size());
    std::string console;
    const Conversion result = convert(request, [&](const ConsoleText& piece) { console += piece.text; });
    ASSERT_EQ(result.status, 0);
    ASSERT_EQ(result.tunes.size(), 1u);
    EXPECT_EQ(result.tunes[0].text, "c5"); // middle C, 5 sixteenths
    EXPECT_EQ(result.diagnostics.codes(), std::vector<Code>{Code::TripletsClamped}) << console;
}

// The polyphony limit cuts a note where the next one starts. Kept in step,
// a note on a 32nd (24ths 3) cut at a triplet position (24ths 16) lasts 13
// 24ths, off the grid: it plays the nearest sixteenth, with a warning.
TEST(OffGridCutTest, PlaysTheNearestSixteenth)
{
    const std::string file = midi::header(1, 2, 24) +
                             midi::TrackBody().noteOn(3, 0, 60, 100).noteOff(48, 0, 60).endOfTrack(0).chunk() +
                             midi::TrackBody().noteOn(16, 1, 64, 100).noteOff(24, 1, 64).endOfTrack(0).chunk();
    const Outcome outcome = inProcess(Case{{"-k", "-p", "1", "-m", "1,2", "song.mid", "-"}, &file});
    ASSERT_EQ(outcome.status, 0);
    EXPECT_EQ(outcome.diagnostics.first(Code::LengthOffGrid)->args()[0], 13) << outcome.console;
    EXPECT_NE(outcome.console.find("WARN:   Warning! Note length 13 is off the grid! Rounding to nearest 1/16!\n"),
              std::string::npos);
    EXPECT_EQ(outcome.console.find("BUG"), std::string::npos) << outcome.console;
    // The c lasts two sixteenths (12 24ths), up to the E; not one and a rest.
    EXPECT_NE(outcome.console.find("\"/use cE\\r\""), std::string::npos) << outcome.console;
}

// A band's song: a bass an octave low (channel 1), a tenor (2) and a middle
// voice (4) in range, a melody an octave high (6), and drums (10).
std::string bandSong(int bars)
{
    const struct {
        int channel;
        std::vector<int> keys;
    } voices[] = {{0, {36, 38, 40, 41, 43}}, {1, {55, 57, 59, 60, 62}}, {3, {60, 62, 64, 65, 67}},
                  {5, {84, 86, 88, 89, 91}}, {9, {36, 38, 42, 38, 42}}};
    std::vector<midi::SongNote> notes;
    for (const auto& voice : voices)
        for (int bar = 0; bar < bars; ++bar)
            for (std::size_t i = 0; i < voice.keys.size(); ++i)
                notes.push_back({static_cast<int>((bar * voice.keys.size() + i) * 96), 96, voice.keys[i], voice.channel});
    return midi::song(notes);
}

// The notes the blocks play, per channel "channel:start+length:pitch".
std::vector<std::string> playedNotes(const std::string& blocks)
{
    std::vector<std::string> notes;
    for (const PlayedTune& tune : readTunes(blocks).tunes)
        for (const PlayedNote& note : tune.notes)
            notes.push_back(std::to_string(tune.channel) + ":" + std::to_string(note.start) + "+" +
                            std::to_string(note.length) + ":" + std::to_string(note.pitch));
    std::sort(notes.begin(), notes.end());
    return notes;
}

// -P: the players, their moves and what was left out, every pitched note
// played once, and refusals; a split arrangement plays as the whole one.
TEST(PlayersTest, ArrangesTheChannelsForTheBand)
{
    const std::string file = bandSong(4);
    const struct {
        std::vector<std::string> args;
        std::vector<std::string> lines; // the report's player lines, then what was left out
        std::size_t notes;              // notes played
    } cases[] = {
        {{"-P", "1"},
         {"Player 1: channels 1, 2, 4, 6 (1 up 12, 6 down 12).", "Left out: channel 10 (drums)."},
         80},
        {{"-P2"},
         {"Player 1: channels 1, 2, 4 (1 up 12).", "Player 2: channel 6 (6 down 12).",
          "Left out: channel 10 (drums)."},
         80},
        {{"-P", "16", "-d", "4"},
         {"Player 1: channel 1 (1 up 12).", "Player 2: channel 2.", "Player 3: channel 6 (6 down 12).",
          "Left out: channels 4, 10 (drums)."},
         60},
        {{"-d", "all", "-s", "2,10", "-P", "3", "-o"}, {"Player 1: channel 2.", "Left out: channels 1, 4, 6, 10 (drums)."}, 20},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = c.args;
        args.insert(args.end(), {"song.mid", "-"});
        const Outcome outcome = inProcess(Case{args, &file});
        ASSERT_EQ(outcome.status, 0) << outcome.console;
        std::vector<std::string> lines;
        std::size_t from = 0;
        for (std::size_t at; (at = outcome.console.find("Output: ", from)) != std::string::npos; from = at + 1) {
            const std::string line = outcome.console.substr(at + 8, outcome.console.find('\n', at) - at - 8);
            if (line.rfind("Player ", 0) == 0 || line.rfind("Left out: ", 0) == 0)
                lines.push_back(line);
        }
        EXPECT_EQ(lines, c.lines) << testing::PrintToString(c.args);
        EXPECT_EQ(playedNotes(outcome.console).size(), c.notes) << testing::PrintToString(c.args);
        // The moves bring every note into the range.
        EXPECT_FALSE(outcome.diagnostics.has(Code::TooLow) || outcome.diagnostics.has(Code::TooHigh)) << outcome.console;
    }
    for (const std::vector<std::string>& refused : {std::vector<std::string>{"-P", "2", "-m", "1,2"},
                                                  {"-m", "all", "-P", "1"}, {"-P", "0"}, {"-P", "17"}}) {
        std::vector<std::string> args = refused;
        args.insert(args.end(), {"song.mid", "-"});
        const Outcome outcome = inProcess(Case{args, &file});
        EXPECT_EQ(outcome.status, 1) << testing::PrintToString(refused);
        EXPECT_NE(outcome.console.find("Usage: "), std::string::npos) << testing::PrintToString(refused);
    }

    // Followed through the conversion, every moved note counts as at its
    // pitch, with or without -o, and the drums left out count nothing.
    for (const bool fit : {false, true}) {
        ConversionRequest request;
        request.settings.players = 2;
        request.settings.fitOctaves = fit;
        request.settings.verbosity = Level::Fatal;
        request.inputName = "song.mid";
        request.outputName = "song.txt";
        request.midi = std::span(reinterpret_cast<const unsigned char*>(file.data()), file.size());
        request.wantDepartures = true;
        const Conversion result = convert(request, nullptr);
        ASSERT_EQ(result.status, 0);
        EXPECT_EQ(result.fidelity.fidelity.notes, 80u);
        EXPECT_EQ(result.fidelity.fidelity.asWritten, 80u) << fit;
        EXPECT_EQ(result.fidelity.fidelity.drums, 0u);
        for (const ChannelDepartures& channel : result.departures)
            EXPECT_EQ(channel.octaveHint, 0) << channel.channel;
    }

    // Split into macros of one part, three players play what they play whole.
    const std::string longer = bandSong(60);
    const Outcome whole = inProcess(Case{{"-k", "-P", "3", "song.mid", "-"}, &longer});
    const Outcome split = inProcess(Case{{"-k", "-P", "3", "-b", "1", "song.mid", "-"}, &longer});
    ASSERT_EQ(split.status, 0);
    EXPECT_NE(split.console.find("// Player 2, macro 2 of "), std::string::npos);
    EXPECT_NE(split.console.find(": channels 2, 4\n"), std::string::npos);
    EXPECT_EQ(playedNotes(split.console), playedNotes(whole.console));
    EXPECT_EQ(playedNotes(whole.console).size(), 1200u);
}
