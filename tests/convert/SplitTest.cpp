// Splitting channels into macros (-b): every macro within its parts, the
// same cuts for the whole band, each macro playing on its own, and the
// split file read back playing what the whole tune plays.
#include "convert/Split.h"

#include "convert/Conversion.h"
#include "convert/DepartureReport.h"
#include "options/Options.h"
#include "support/MidiWriter.h"
#include "tune/MacroWriter.h"
#include "tune/TuneReader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <tuple>
#include <vector>

namespace {

constexpr int division = 96;   // ticks per quarter
constexpr int sixteenth = 24;  // ticks
constexpr int bar = 16;        // sixteenths of a 4/4 bar

// A note of the test songs: channel (0-based), start and length in sixteenths, key, velocity.
struct Note {
    int channel;
    int start;
    int length;
    int key;
    int velocity;
};

// One track holding `notes`, after a time signature (when given).
std::string song(const std::vector<Note>& notes, const std::string& signature = "")
{
    std::vector<std::tuple<int, int, int, int, int>> events; // tick, off first, channel, key, velocity
    for (const Note& n : notes) {
        events.emplace_back(n.start * sixteenth, 1, n.channel, n.key, n.velocity);
        events.emplace_back((n.start + n.length) * sixteenth, 0, n.channel, n.key, 0);
    }
    std::sort(events.begin(), events.end());
    midi::TrackBody body;
    if (!signature.empty())
        body.event(0, signature);
    int now = 0;
    for (const auto& [tick, on, channel, key, velocity] : events) {
        const auto delta = static_cast<std::uint32_t>(tick - now);
        if (on)
            body.noteOn(delta, channel, key, velocity);
        else
            body.noteOff(delta, channel, key);
        now = tick;
    }
    return midi::header(0, 1, division) + body.endOfTrack(0).chunk();
}

// Bars of sixteenth chords whose volumes and octaves change at every step:
// a channel that takes many characters.
std::vector<Note> dense(int channel, int fromBar, int toBar)
{
    std::vector<Note> notes;
    for (int s = fromBar * bar; s < toBar * bar; ++s) {
        notes.push_back(Note{channel, s, 1, 49 + s % 7 * 5, 20 + s % 9 * 12});
        notes.push_back(Note{channel, s, 1, 66 + s % 5 * 3, 127 - s % 8 * 11});
    }
    return notes;
}

// A half note at each bar's start and middle.
std::vector<Note> halves(int channel, int fromBar, int toBar)
{
    std::vector<Note> notes;
    for (int s = fromBar * bar; s < toBar * bar; s += 8)
        notes.push_back(Note{channel, s, 8, 60 + s / 8 % 5, 100});
    return notes;
}

std::vector<Note> operator+(std::vector<Note> a, const std::vector<Note>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

struct Outcome {
    Conversion result;
    std::string console;
};

Outcome convertWith(const std::string& midi, std::vector<std::string> args)
{
    args.insert(args.begin(), "midi2varn");
    args.insert(args.end(), {"in.mid", "out.txt"});
    const CommandLine commandLine = parseOptions(args);
    EXPECT_TRUE(commandLine.proceed);
    ConversionRequest request;
    request.settings = commandLine.settings;
    request.inputName = "in.mid";
    request.outputName = "out.txt";
    request.midi = std::span(reinterpret_cast<const unsigned char*>(midi.data()), midi.size());
    request.wantDepartures = true;
    Outcome run;
    run.result = convert(request, [&](const ConsoleText& piece) { run.console += piece.text; });
    return run;
}

using Played = std::map<int, std::vector<std::tuple<std::int64_t, std::int64_t, int, int>>>;

// Per channel, the notes a macro file plays: start, length, key, volume.
Played played(const std::string& macroText)
{
    Played notes;
    for (const PlayedTune& tune : readTunes(macroText).tunes)
        for (const PlayedNote& note : tune.notes)
            notes[tune.channel].emplace_back(note.start, note.length, note.pitch, note.volume);
    for (auto& [channel, list] : notes)
        std::sort(list.begin(), list.end());
    return notes;
}

// The "/use" lines of each block, by its comment line.
std::map<std::string, int> blockParts(const std::string& macroText)
{
    std::map<std::string, int> parts;
    std::string comment;
    for (std::size_t at = 0; at < macroText.size();) {
        std::size_t end = macroText.find('\n', at);
        const std::string line = macroText.substr(at, end - at);
        if (line.rfind("  // ", 0) == 0)
            comment = line.substr(5);
        else if (line.rfind("  \"/use", 0) == 0)
            ++parts[comment];
        at = end + 1;
    }
    return parts;
}

// The text of macro k of a split tune.
std::string macroOf(const TuneRecord& tune, std::size_t k)
{
    const std::size_t end = k + 1 < tune.pieces.size() ? tune.pieces[k + 1] : tune.text.size();
    return tune.text.substr(tune.pieces[k], end - tune.pieces[k]);
}

struct Case {
    const char* name;
    std::vector<Note> notes;
    std::vector<std::string> args; // besides -b
    int parts;
    std::vector<std::size_t> macros; // per channel with a tune
    int restarts;                    // report lines of notes restarted at a cut
    int silent;                      // the macro of the second channel without notes (-1: none)
};

TEST(SplitTest, MacrosFitAndKeepTheBandTogether)
{
    const Note heldAcross{1, 0, 40 * bar, 55, 90};
    // A song of 40 bars whose first channel takes 12 parts.
    const std::vector<Note> forty = dense(0, 0, 34) + halves(0, 34, 40) + halves(1, 0, 40);
    const std::vector<Case> cases = {
        {"forty bars", forty, {}, 5, {3, 3}, 0, -1},
        {"silent middle", dense(0, 0, 40) + halves(1, 0, 4) + halves(1, 36, 40), {}, 5, {3, 3}, 0, 1},
        {"nothing after the first", dense(0, 0, 40) + halves(1, 0, 2), {"-k"}, 5, {3, 1}, 0, -1},
        {"held across every cut", dense(0, 0, 40) + std::vector<Note>{heldAcross}, {"-l"}, 5, {3, 3}, 2, -1},
        {"one part each", dense(0, 0, 12) + halves(1, 0, 12), {}, 1, {6, 6}, 0, -1},
        {"merged", dense(0, 0, 40) + halves(1, 0, 40), {"-m", "all", "-k"}, 5, {4}, 0, -1},
        // Each channel's macros keep the octaves -o chose for the channel.
        {"octaves fitted", forty, {"-o", "-t", "-24"}, 5, {3, 3}, 0, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string midi = song(c.notes);
        const Outcome whole = convertWith(midi, c.args);
        std::vector<std::string> args = c.args;
        args.insert(args.begin(), {"-b", std::to_string(c.parts)});
        const Outcome split = convertWith(midi, args);
        ASSERT_EQ(split.result.status, 0);
        ASSERT_EQ(split.result.tunes.size(), c.macros.size());

        for (const auto& [comment, parts] : blockParts(split.result.macroText))
            EXPECT_LE(parts, c.parts) << comment;
        std::vector<std::int64_t> lengths; // of each macro but the song's last
        for (std::size_t t = 0; t < c.macros.size(); ++t) {
            const TuneRecord& tune = split.result.tunes[t];
            EXPECT_FALSE(hasAny(tune.status, TuneStatus::MacroTooLong));
            ASSERT_EQ(tune.pieces.size(), c.macros[t]);
            for (std::size_t k = 0; k < tune.pieces.size(); ++k) {
                const std::string text = macroOf(tune, k);
                EXPECT_NE(split.result.macroText.find("// Channel " + std::to_string(tune.channel) + ", macro " +
                                                      std::to_string(k + 1) + " of " + std::to_string(c.macros[t])),
                          std::string::npos);
                TuneRead one;
                readTune(text, tune.channel, one);
                const PlayedTune& macro = one.tunes.front();
                // It starts with its tempo, and its first note with a volume and an octave mark.
                EXPECT_EQ(text.front(), '@');
                const std::size_t letter = text.find_first_of("abcdefgABCDEFG");
                if (letter != std::string::npos) {
                    EXPECT_LT(text.find_first_of("\\=/"), letter) << text;
                    EXPECT_LT(text.find('%'), letter) << text;
                }
                EXPECT_TRUE(std::none_of(macro.notes.begin(), macro.notes.end(),
                                         [](const PlayedNote& n) { return n.stuck; }));
                EXPECT_EQ(macro.notes.empty(), t == 1 && static_cast<int>(k) == c.silent);
                if (k + 1 == c.macros[0])
                    continue;
                // Cut at bar lines.
                EXPECT_EQ(macro.end % bar, 0);
                if (k >= lengths.size())
                    lengths.push_back(macro.end);
                EXPECT_EQ(macro.end, lengths[k]) << "channel " << tune.channel << " macro " << k + 1;
            }
        }
        // Restarted notes are reported once per cut of the held note.
        EXPECT_EQ(split.result.diagnostics.count(Code::NotesAcrossEnd), static_cast<std::uint32_t>(c.restarts));
        if (c.restarts == 0) {
            EXPECT_EQ(played(split.result.macroText), played(whole.result.macroText));
            // The channels' lines are the same; only the song line counts macros.
            const auto channelLines = [](const std::string& report) {
                return report.substr(0, report.rfind("song: "));
            };
            EXPECT_EQ(channelLines(formatDepartures(split.result.departures)),
                      channelLines(formatDepartures(whole.result.departures)));
        } else {
            // The departure report has each restarted note as a shorter note and an added one.
            const ChannelDepartures& held = split.result.departures.back();
            EXPECT_EQ(held.counts[static_cast<std::size_t>(DepartureKind::Added)], static_cast<std::size_t>(c.restarts));
        }
    }
}

} // namespace

// Only a bar that cannot fit even cut at its beats passes the parts: the
// report names its macro and bar, and the rest of the song still fits.
TEST(SplitTest, OnlyABarTooLongPassesTheParts)
{
    std::vector<Note> notes = halves(0, 0, 2) + halves(0, 3, 4);
    for (int s = 2 * bar; s < 2 * bar + 4; ++s)
        for (int key = 48; key < 84; ++key)
            notes.push_back(Note{0, s, 1, key, 1 + (key * 37 + s * 11) % 127});
    const Outcome split = convertWith(song(notes), {"-b", "1"});
    ASSERT_EQ(split.result.tunes.size(), 1u);
    const TuneRecord& tune = split.result.tunes.front();
    EXPECT_TRUE(hasAny(tune.status, TuneStatus::MacroTooLong));
    int over = 0;
    for (std::size_t k = 0; k < tune.pieces.size(); ++k)
        over += partsOf(macroOf(tune, k)) > 1 ? 1 : 0;
    EXPECT_EQ(over, 1);
    EXPECT_NE(split.console.find("ERROR:  Channel 1, macro 2 of 3 takes 2 parts: the bar at 3:1 does not fit in 1.\n"),
              std::string::npos)
        << split.console;
    EXPECT_EQ(split.result.diagnostics.codes(), (std::vector<Code>{Code::BarDoesNotFit, Code::TooManyParts}));
    const Diagnostic* bar = split.result.diagnostics.first(Code::BarDoesNotFit);
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ(bar->channel, 1);
    EXPECT_EQ(std::vector<int>(bar->args().begin(), bar->args().end()), (std::vector<int>{1, 2, 3, 2, 1}));
}

// A song whose times wrap past the int range has no length to cut: it is
// written whole, not lost (a fuzzing finding: -k -b 1 gave no macro at all).
TEST(SplitTest, SongWithoutALengthToCutIsWrittenWhole)
{
    const std::string midi = midi::header(1, 1, 24) +
                             midi::chunk(std::string(18, '\xA3') + midi::bytes({0x17, 0x00, 0x90, 0x3C, 0x40, 0x18,
                                                                                0x80, 0x3C, 0x40, 0xFF, 0xFF, 0xFF,
                                                                                0x7F, 0x90, 0x3E, 0x40, 0x18, 0x80,
                                                                                0x3E, 0x40, 0x00, 0xFF, 0x2F, 0x00}));
    const Outcome whole = convertWith(midi, {"-k"});
    const Outcome split = convertWith(midi, {"-k", "-b", "1"});
    ASSERT_EQ(whole.result.tunes.size(), 1u);
    ASSERT_EQ(split.result.tunes.size(), 1u);
    EXPECT_EQ(split.result.tunes[0].text, whole.result.tunes[0].text);
    EXPECT_EQ(split.result.macroText, whole.result.macroText);
}
