// The departure report: each kind at its bar and beat, the summary line,
// and reports against a text the player edited.
#include "convert/DepartureReport.h"

#include "convert/Conversion.h"
#include "options/Options.h"
#include "support/ConvertSong.h"
#include "support/MidiWriter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

// A note of a test song: start and length in ticks (96 to the quarter).
using N = midi::SongNote;
using midi::song;

const std::string threeFour = midi::bytes({0x00, 0xFF, 0x58, 0x04, 0x03, 0x02, 0x18, 0x08});
const std::string tempo200 = midi::bytes({0x00, 0xFF, 0x51, 0x03, 0x04, 0x93, 0xE0}); // 300000 us

// The summary line's fixed middle, with the counts given.
std::string counts(int dropped, int start, int length, int pitch, int heldLate, int stuck, int tempo, int added,
                   int drum = 0)
{
    return "dropped " + std::to_string(dropped) + ", start " + std::to_string(start) + ", length " +
           std::to_string(length) + ", pitch " + std::to_string(pitch) + ", held-late " + std::to_string(heldLate) +
           ", stuck " + std::to_string(stuck) + ", tempo " + std::to_string(tempo) + ", added " +
           std::to_string(added) + ", drum " + std::to_string(drum);
}

TEST(DepartureReportTest, EachKindAtItsPlace)
{
    const std::vector<N> triplets = {{0, 32, 60}, {32, 32, 60}, {64, 32, 60}, {96, 96, 60}};
    const struct {
        const char* name;
        std::string midi;
        std::vector<std::string> options;
        std::string report;
    } cases[] = {
        {"none", song({{0, 96, 60}}), {},
         "channel 1: 1 notes in, 1 played; " + counts(0, 0, 0, 0, 0, 0, 0, 0) +
             "; largest drift 0; ends 1:2, MIDI 1:2 (0); 100% as written, 100% played\n"
             "song: 1 note, 100% as written, 100% played, the longest channel needs 1 part\n"},
        {"triplets round down, the gaps drift", song(triplets), {},
         "channel 1: 4 notes in, 4 played; " + counts(0, 3, 0, 0, 0, 0, 0, 0) +
             "; largest drift -1; ends 1:2+3/4, MIDI 1:3 (-1); 50% as written, 100% played\n"
             "  1:1+1/3 start C4 -1/3 (rounding -1/3, drift 0)\n"
             "  1:1+2/3 start C4 -2/3 (rounding -2/3, drift 0)\n"
             "  1:2 start C4 -1 (rounding 0, drift -1)\n"
             "song: 4 notes, 50% as written, 100% played, the longest channel needs 1 part\n"},
        {"-k keeps them in step", song(triplets), {"-k"},
         "channel 1: 4 notes in, 4 played; " + counts(0, 2, 0, 0, 0, 0, 0, 0) +
             "; largest drift 0; ends 1:3, MIDI 1:3 (0); 75% as written, 100% played\n"
             "  1:1+1/3 start C4 -1/3 (rounding -1/3, drift 0)\n"
             "  1:1+2/3 start C4 -2/3 (rounding -2/3, drift 0)\n"
             "song: 4 notes, 75% as written, 100% played, the longest channel needs 1 part\n"},
        {"a whole note cut to 9", song({{0, 384, 60}}), {},
         "channel 1: 1 notes in, 1 played; " + counts(0, 0, 1, 0, 0, 0, 0, 0) +
             "; largest drift 0; ends 1:3+1/4, MIDI 2:1 (-7); 0% as written, 100% played\n"
             "  1:1 length C4 16 played 9\n"
             "song: 1 note, 0% as written, 100% played, the longest channel needs 1 part\n"},
        {"too low", song({{0, 96, 36}}), {},
         "channel 1: 1 notes in, 1 played; " + counts(0, 0, 0, 1, 0, 0, 0, 0) +
             "; largest drift 0; ends 1:2, MIDI 1:2 (0); -o moves this channel 1 octave up: 1 more note in range; "
             "0% as written, 100% played\n"
             "  1:1 pitch C2 played C3\n"
             "song: 1 note, 0% as written, 100% played, the longest channel needs 1 part\n"},
        {"too low, -o moves it", song({{0, 96, 36}}), {"-o"},
         "channel 1: 1 notes in, 1 played; " + counts(0, 0, 0, 0, 0, 0, 0, 0) +
             "; largest drift 0; ends 1:2, MIDI 1:2 (0); 100% as written, 100% played\n"
             "song: 1 note, 100% as written, 100% played, the longest channel needs 1 part\n"},
        {"too high, two octaves", song({{0, 96, 100}, {96, 96, 98}}), {},
         "channel 1: 2 notes in, 2 played; " + counts(0, 0, 0, 2, 0, 0, 0, 0) +
             "; largest drift 0; ends 1:3, MIDI 1:3 (0); -o moves this channel 2 octaves down: 2 more notes in "
             "range; 0% as written, 100% played\n"
             "  1:1 pitch E7 played E5\n"
             "  1:2 pitch D7 played D5\n"
             "song: 2 notes, 0% as written, 100% played, the longest channel needs 1 part\n"},
        {"identical", song({{0, 96, 60}, {0, 96, 60}}), {"-e"},
         "channel 1: 2 notes in, 1 played; " + counts(1, 0, 0, 0, 0, 0, 0, 0) +
             "; largest drift 0; ends 1:2, MIDI 1:2 (0); 50% as written, 50% played\n"
             "  1:1 dropped C4 (identical)\n"
             "song: 2 notes, 50% as written, 50% played, the longest channel needs 1 part\n"},
        {"polyphony", song({{0, 96, 60}, {0, 96, 64}}), {"-p", "1"},
         "channel 1: 2 notes in, 1 played; " + counts(1, 0, 0, 0, 0, 0, 0, 0) +
             "; largest drift 0; ends 1:2, MIDI 1:2 (0); 50% as written, 50% played\n"
             "  1:1 dropped C4 (polyphony)\n"
             "song: 2 notes, 50% as written, 50% played, the longest channel needs 1 part\n"},
        {"held under single notes", song({{0, 264, 60}, {0, 96, 64}, {96, 96, 64}, {192, 96, 64}, {288, 96, 64}}),
         {"-l"},
         "channel 1: 5 notes in, 5 played; " + counts(0, 0, 0, 0, 1, 0, 0, 0) +
             "; largest drift 0; ends 2:1, MIDI 2:1 (0); 100% as written, 100% played\n"
             "  1:1 held-late C4 +1\n"
             "song: 5 notes, 100% as written, 100% played, the longest channel needs 1 part\n"},
        {"tempo too fast", song({{0, 96, 60}}, tempo200), {},
         "channel 1: 1 notes in, 1 played; " + counts(0, 0, 0, 0, 0, 0, 1, 0) +
             "; largest drift 0; ends 1:2, MIDI 1:2 (0); 100% as written, 100% played\n"
             "  1:1 tempo 200 played 180\n"
             "song: 1 note, 100% as written, 100% played, the longest channel needs 1 part\n"},
        {"bars of 3/4", song({{0, 96, 67}, {320, 64, 60}}, threeFour), {},
         "channel 1: 2 notes in, 2 played; " + counts(0, 1, 0, 0, 0, 0, 0, 0) +
             "; largest drift 0; ends 2:2, MIDI 2:2 (0); 100% as written, 100% played\n"
             "  2:1+1/3 start C4 -1/3 (rounding -1/3, drift 0)\n"
             "song: 2 notes, 100% as written, 100% played, the longest channel needs 1 part\n"},
        {"drums: one departure each, whatever their pitch and start", song({{0, 96, 60}, {0, 32, 36, 9}, {32, 96, 38, 9}}),
         {},
         "channel 1: 1 notes in, 1 played; " + counts(0, 0, 0, 0, 0, 0, 0, 0) +
             "; largest drift 0; ends 1:2, MIDI 1:2 (0); 100% as written, 100% played\n"
             "channel 10: 2 notes in, 2 played; " + counts(0, 0, 0, 0, 0, 0, 0, 0, 2) +
             "; largest drift 0; ends 1:2+1/4, MIDI 1:2+1/3 (-1/3); - as written, - played; 2 drum notes played as "
             "pitches; drums: the game plays them as pitched notes, -d 10 leaves them out\n"
             "  1:1 drum C2 played C3\n"
             "  1:1+1/3 drum D2 played D3\n"
             "song: 1 note, 33% as written, 100% played, the longest channel needs 1 part; 2 drum notes played as "
             "pitches\n"},
        {"drums merged into channel 1, one dropped", song({{0, 96, 60}, {0, 24, 36, 9}, {96, 96, 62}}),
         {"-m", "1,10", "-p", "1"},
         "channel 1: 3 notes in, 2 played; " + counts(1, 0, 0, 0, 0, 0, 0, 0, 1) +
             "; largest drift 0; ends 1:3, MIDI 1:3 (0); -o moves this channel 1 octave up: 1 more note in range; "
             "33% as written, 50% played; 1 drum note played as a pitch; drums: the game plays them as pitched "
             "notes, -d 10 leaves them out\n"
             "  1:1 dropped C4 (polyphony)\n"
             "  1:1 drum C2 played C3\n"
             "song: 2 notes, 33% as written, 50% played, the longest channel needs 1 part; 1 drum note played as a "
             "pitch\n"},
    };
    for (const auto& c : cases) {
        const Conversion conversion = convertSong(c.midi, c.options);
        ASSERT_EQ(conversion.status, 0) << c.name;
        EXPECT_EQ(formatDepartures(conversion.departures), c.report) << c.name;
    }
}

TEST(DepartureReportTest, DriftOfABarNamesKeepInStep)
{
    // Gaps of a 16th and a 32nd lose the 32nd each: half a sixteenth a note.
    std::vector<N> notes;
    for (int i = 0; i < 40; ++i)
        notes.push_back(N{36 * i, 24, 60});
    const std::string midi = song(notes);
    const std::string hint = "; drifts by a bar or more: -k keeps channels in step;";

    Conversion plain = convertSong(midi, {});
    ASSERT_EQ(plain.departures.size(), 1u);
    EXPECT_EQ(plain.departures[0].largestDrift, -19);
    EXPECT_TRUE(plain.departures[0].driftsABar);
    const std::string report = formatDepartures(plain.departures);
    EXPECT_NE(report.find(hint), std::string::npos) << report;
    EXPECT_NE(report.find("  4:1+3/8 start C4 -33/2 (rounding -1/2, drift -16)\n"), std::string::npos) << report;

    Conversion inStep = convertSong(midi, {"-k"});
    EXPECT_EQ(inStep.departures[0].largestDrift, 0);
    EXPECT_EQ(formatDepartures(inStep.departures).find(hint), std::string::npos);

    // A text edited a bar late still drifts, but -k was given: no hint.
    TuneRead late;
    readTune("p8p8" + inStep.tunes[0].text, 1, late);
    const std::vector<ChannelDepartures> edited = reportDepartures(inStep.trace, inStep.tunes, late);
    ASSERT_EQ(edited.size(), 1u);
    EXPECT_TRUE(edited[0].driftsABar);
    EXPECT_EQ(formatDepartures(edited).find(hint), std::string::npos);
}

// Each departure names its note of the file and the note the tune plays
// (by index), and says what happened in plain words.
TEST(DepartureReportTest, EachDepartureInWordsWithItsNotes)
{
    std::vector<N> drifting;
    for (int i = 0; i < 40; ++i)
        drifting.push_back(N{36 * i, 24, 60});
    const std::vector<N> triplets = {{0, 32, 60}, {32, 32, 60}, {64, 32, 60}, {96, 96, 60}};
    const struct {
        std::string midi;
        std::vector<std::string> options;
        std::string line; // as formatDepartures writes it
        std::string words;
    } cases[] = {
        {song({{0, 96, 60}, {0, 96, 64}}), {"-p", "1"}, "1:1 dropped C4 (polyphony)",
         "dropped by the polyphony limit of 1"},
        {song({{0, 96, 60}, {0, 96, 64}, {0, 96, 67}}), {"-p", "2"}, "1:1 dropped C4 (polyphony)",
         "dropped by the polyphony limit of 2"},
        {song({{0, 96, 60}, {0, 96, 64}, {0, 96, 67}}), {"-c", "-p", "2"}, "1:1 dropped E4 (polyphony)",
         "dropped: inner voice of a chord over the limit of 2"},
        {song({{0, 96, 60}, {0, 96, 60}}), {"-e"}, "1:1 dropped C4 (identical)",
         "dropped: a note of the same pitch starts with it (-e)"},
        {song(triplets), {}, "1:1+1/3 start C4 -1/3 (rounding -1/3, drift 0)",
         "starts 1/48 early: rounded down to the sixteenth grid"},
        {song(triplets), {}, "1:2 start C4 -1 (rounding 0, drift -1)", "starts 1/16 early: drift from bar 1"},
        {song(drifting), {}, "4:1+3/8 start C4 -33/2 (rounding -1/2, drift -16)",
         "starts a whole note and 1/32 early: rounded down 1/32, drift of a whole note early from bar 1"},
        {song({{0, 384, 60}}), {}, "1:1 length C4 16 played 9", "lasts 9/16 instead of a whole note"},
        {song({{0, 96, 36}}), {}, "1:1 pitch C2 played C3", "played as C3 instead of C2: too low for the game"},
        {song({{0, 96, 96}}), {}, "1:1 pitch C7 played C5", "played as C5 instead of C7: too high for the game"},
        {song({{0, 264, 60}, {0, 96, 64}, {96, 96, 64}, {192, 96, 64}, {288, 96, 64}}), {"-l"},
         "1:1 held-late C4 +1", "held 1/16 longer: a held note ends only where no note sounds alone"},
        {song({{0, 96, 60}}, tempo200), {}, "1:1 tempo 200 played 180",
         "tempo 200 is played at 180: the game plays 60 to 180"},
        {song({{0, 96, 38, 9}}), {}, "1:1 drum D2 played D3",
         "drum played as a pitch (D3): the game has no drums; -d 10 leaves them out"},
    };
    for (const auto& c : cases) {
        const Conversion conversion = convertSong(c.midi, c.options);
        ASSERT_EQ(conversion.status, 0) << c.line;
        ASSERT_EQ(conversion.departures.size(), 1u);
        ASSERT_EQ(conversion.played.tunes.size(), 1u);
        const std::vector<TracedNote>& file = conversion.trace.channels.at(0).notes;
        const std::vector<PlayedNote>& played = conversion.played.tunes[0].notes;
        bool found = false;
        const ChannelDepartures& channel = conversion.departures[0];
        for (const Departure& d : channel.departures) {
            // The indices name the notes the line is about, at its place.
            if (d.note != noNote) {
                ASSERT_LT(d.note, file.size());
                EXPECT_EQ(d.position, std::int64_t{file[d.note].tick} * 24);
                EXPECT_EQ(departureDetail(channel, d).rfind(noteName(file[d.note].pitch) + " ", 0), 0u) << formatDeparture(channel, d);
            }
            const bool playedNamed = d.kind != DepartureKind::Dropped && d.kind != DepartureKind::Tempo;
            EXPECT_EQ(d.played != noNote, playedNamed) << formatDeparture(channel, d);
            EXPECT_EQ(d.note != noNote, d.kind != DepartureKind::Tempo) << formatDeparture(channel, d);
            if (d.played != noNote) {
                ASSERT_LT(d.played, played.size());
                if (d.kind == DepartureKind::Pitch || d.kind == DepartureKind::Drum) {
                    EXPECT_NE(departureDetail(channel, d).find("played " + noteName(played[d.played].pitch)),
                              std::string::npos);
                }
            }
            if (formatDeparture(channel, d) != c.line)
                continue;
            found = true;
            EXPECT_EQ(departureWords(channel, d), c.words) << c.line;
        }
        EXPECT_TRUE(found) << c.line << "\n" << formatDepartures(conversion.departures);
    }
}

// Against a text the player edited: letters before and after the change
// are matched, what the change removes is dropped, what it adds is added.
TEST(DepartureReportTest, AgainstAnEditedText)
{
    const Conversion conversion = convertSong(song({{0, 96, 60}, {96, 96, 64}}), {});
    ASSERT_EQ(conversion.tunes.size(), 1u);
    ASSERT_EQ(conversion.tunes[0].text, "CE");
    const struct {
        const char* played;
        std::string report;
    } cases[] = {
        {"CE", "channel 1: 2 notes in, 2 played; " + counts(0, 0, 0, 0, 0, 0, 0, 0) +
                   "; largest drift 0; ends 1:3, MIDI 1:3 (0); 100% as written, 100% played\n"
             "song: 2 notes, 100% as written, 100% played, the longest channel needs 1 part\n"},
        {"CEG", "channel 1: 2 notes in, 3 played; " + counts(0, 0, 0, 0, 0, 0, 0, 1) +
                    "; largest drift 0; ends 1:4, MIDI 1:3 (+4); 100% as written, 100% played\n"
                    "  1:3 added G4\n"
             "song: 2 notes, 100% as written, 100% played, the longest channel needs 1 part\n"},
        {"pCE", "channel 1: 2 notes in, 2 played; " + counts(0, 2, 0, 0, 0, 0, 0, 0) +
                    "; largest drift +2; ends 1:3+1/2, MIDI 1:3 (+2); 0% as written, 100% played\n"
                    "  1:1 start C4 +2 (rounding 0, drift +2)\n"
                    "  1:2 start E4 +2 (rounding 0, drift +2)\n"
             "song: 2 notes, 0% as written, 100% played, the longest channel needs 1 part\n"},
        {"C[e]$", "channel 1: 2 notes in, 2 played; " + counts(1, 0, 0, 0, 0, 1, 0, 0) +
                      "; largest drift 0; ends 1:2, MIDI 1:3 (-4); 50% as written, 50% played\n"
                      "  1:2 dropped E4 (edited: not in the text)\n"
                      "  1:2 stuck E4\n"
             "song: 2 notes, 50% as written, 50% played, the longest channel needs 1 part\n"},
        {"/CE", "channel 1: 2 notes in, 2 played; " + counts(0, 0, 0, 2, 0, 0, 0, 0) +
                    "; largest drift 0; ends 1:3, MIDI 1:3 (0); 0% as written, 100% played\n"
                    "  1:1 pitch C4 played C5\n"
                    "  1:2 pitch E4 played E5\n"
             "song: 2 notes, 0% as written, 100% played, the longest channel needs 1 part\n"},
    };
    for (const auto& c : cases) {
        const TuneRead played = readTunes(c.played);
        EXPECT_EQ(formatDepartures(reportDepartures(conversion.trace, conversion.tunes, played)), c.report)
            << c.played;
    }
    // What an edit adds or leaves stuck is told in words, with its played note.
    const TuneRead edited = readTunes("C[e]$G");
    const auto report = reportDepartures(conversion.trace, conversion.tunes, edited);
    ASSERT_EQ(report.size(), 1u);
    std::vector<std::string> words;
    for (const Departure& d : report[0].departures) {
        if (d.kind != DepartureKind::Stuck && d.kind != DepartureKind::Added)
            continue;
        words.push_back(departureWords(report[0], d));
        if (d.kind == DepartureKind::Added) {
            EXPECT_EQ(edited.tunes[0].notes.at(d.played).pitch, 67);
        }
    }
    EXPECT_EQ(words, (std::vector<std::string>{"held and never ended: stuck, it sounds to the end of the tune",
                                               "played, but written for no note of the MIDI file"}));
}

} // namespace
