// The fidelity score: the share of the file's notes played as written, on
// songs where each kind of departure occurs once, and counted again from
// the departure list.
#include "convert/Fidelity.h"

#include "convert/Conversion.h"
#include "convert/DepartureReport.h"
#include "options/Options.h"
#include "support/ConvertSong.h"
#include "support/MidiWriter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

namespace {

using N = midi::SongNote;

// The report against `edited` (the conversion's own text when empty).
std::vector<ChannelDepartures> reportOf(const Conversion& conversion, const std::string& edited)
{
    return edited.empty() ? conversion.departures
                          : reportDepartures(conversion.trace, conversion.tunes, readTunes(edited));
}

// The oracle: a note of the file is played unless a departure drops it, and
// played as written unless one moves its pitch, its start by more than half
// a sixteenth (3 24ths of a quarter), or its length, or leaves it stuck. A
// note of channel 10 (`trace` tells) is a drum, counted only when played.
Fidelity counted(const ChannelDepartures& channel, const ChannelTrace* trace = nullptr)
{
    std::set<std::size_t> dropped, pitch, late, length, drums;
    if (trace)
        for (std::size_t i = 0; i < trace->notes.size(); ++i)
            if (trace->notes[i].drum)
                drums.insert(i);
    Fidelity f;
    for (const Departure& d : channel.departures) {
        if (d.note == noNote)
            continue;
        if (drums.count(d.note)) {
            f.drums += d.kind == DepartureKind::Drum ? 1 : 0;
            continue;
        }
        switch (d.kind) {
        case DepartureKind::Dropped: dropped.insert(d.note); break;
        case DepartureKind::Pitch: pitch.insert(d.note); break;
        case DepartureKind::Start:
            if (std::llabs(d.offset) > 3)
                late.insert(d.note);
            break;
        case DepartureKind::Length:
        case DepartureKind::Stuck: length.insert(d.note); break;
        default: break;
        }
    }
    f.notes = channel.notesIn - drums.size();
    f.played = f.notes - dropped.size();
    f.inPitch = f.played - pitch.size();
    f.onTime = f.played - late.size();
    f.inLength = f.played - length.size();
    std::set<std::size_t> departed = pitch;
    departed.insert(late.begin(), late.end());
    departed.insert(length.begin(), length.end());
    f.asWritten = f.played - departed.size();
    return f;
}

void expectSame(const Fidelity& a, const Fidelity& b, const std::string& name)
{
    EXPECT_EQ(a.notes, b.notes) << name;
    EXPECT_EQ(a.played, b.played) << name;
    EXPECT_EQ(a.inPitch, b.inPitch) << name;
    EXPECT_EQ(a.onTime, b.onTime) << name;
    EXPECT_EQ(a.inLength, b.inLength) << name;
    EXPECT_EQ(a.asWritten, b.asWritten) << name;
    EXPECT_EQ(a.drums, b.drums) << name;
}

const std::string tempo200 = midi::bytes({0x00, 0xFF, 0x51, 0x03, 0x04, 0x93, 0xE0}); // 300000 us

TEST(FidelityTest, EachKindOnceGivesTheExactShare)
{
    const std::string twoNotes = midi::song({{0, 96, 60}, {96, 96, 64}}); // written "CE"
    const struct {
        const char* name;
        std::string midi;
        std::vector<std::string> options;
        std::string edited; // the text reported against; empty: as converted
        DepartureKind kind; // the departure that occurs once
        Fidelity expected;  // notes, played, in pitch, on time, in length, as written
        const char* summary; // the summary line's end
    } cases[] = {
        {"dropped by -e", midi::song({{0, 96, 60}, {0, 96, 60}}), {"-e"}, "", DepartureKind::Dropped,
         {2, 1, 1, 1, 1, 1}, "; 50% as written, 50% played"},
        {"start a sixteenth late", twoNotes, {}, "CpE", DepartureKind::Start, {2, 2, 2, 1, 2, 1},
         "; 50% as written, 100% played"},
        {"start a third of a sixteenth early", midi::song({{0, 32, 60}, {32, 64, 60}}), {}, "",
         DepartureKind::Start, {2, 2, 2, 2, 2, 2}, "; 100% as written, 100% played"},
        {"length", midi::song({{0, 96, 64}, {96, 384, 60}, {480, 96, 64}}), {}, "", DepartureKind::Length,
         {3, 3, 3, 3, 2, 2}, "; 66% as written, 100% played"},
        {"pitch", twoNotes, {}, "C/E", DepartureKind::Pitch, {2, 2, 1, 2, 2, 1}, "; 50% as written, 100% played"},
        {"held-late: held to its end",
         midi::song({{0, 264, 60}, {0, 96, 64}, {96, 96, 64}, {192, 96, 64}, {288, 96, 64}}), {"-l"}, "",
         DepartureKind::HeldLate, {5, 5, 5, 5, 5, 5}, "; 100% as written, 100% played"},
        {"stuck", twoNotes, {}, "C[e]$", DepartureKind::Stuck, {2, 1, 1, 1, 1, 1}, "; 50% as written, 50% played"},
        {"tempo", midi::song({{0, 96, 60}}, tempo200), {}, "", DepartureKind::Tempo, {1, 1, 1, 1, 1, 1},
         "; 100% as written, 100% played"},
        {"added", twoNotes, {}, "CEG", DepartureKind::Added, {2, 2, 2, 2, 2, 2}, "; 100% as written, 100% played"},
    };
    for (const auto& c : cases) {
        const Conversion conversion = convertSong(c.midi, c.options);
        ASSERT_EQ(conversion.status, 0) << c.name;
        const std::vector<ChannelDepartures> report = reportOf(conversion, c.edited);
        ASSERT_EQ(report.size(), 1u) << c.name;
        EXPECT_EQ(report[0].counts[static_cast<std::size_t>(c.kind)], 1u) << c.name << "\n" << formatDepartures(report);
        expectSame(report[0].fidelity, c.expected, c.name);
        expectSame(report[0].fidelity, counted(report[0]), c.name);
        const std::string summary = formatSummary(report[0]);
        EXPECT_EQ(summary.substr(summary.rfind(';')), c.summary) << c.name;
    }
}

// On songs of many departures, the score is the share the departure list gives.
TEST(FidelityTest, ScoreIsTheShareOfTheDepartureList)
{
    std::vector<N> drifting;
    for (int i = 0; i < 40; ++i)
        drifting.push_back(N{36 * i, 24, 48 + i % 30, i % 3});
    std::ifstream file(std::string(MIDI2VARN_SOURCE_DIR) + "/examples/example.mid", std::ios::binary);
    const std::string example{std::istreambuf_iterator<char>(file), {}};
    ASSERT_FALSE(example.empty());
    const struct {
        std::string midi;
        std::vector<std::string> options;
    } cases[] = {
        {midi::song(drifting), {}},         {midi::song(drifting), {"-k", "-t", "30"}},
        {midi::song(drifting), {"-m", "all", "-p", "1"}}, {example, {"-p", "2", "-t", "-20", "-n"}},
        {example, {"-b", "1", "-e", "-c", "-p", "1"}},
    };
    for (const auto& c : cases) {
        const Conversion conversion = convertSong(c.midi, c.options);
        ASSERT_EQ(conversion.status, 0);
        Fidelity sum;
        for (const ChannelDepartures& channel : conversion.departures) {
            const Fidelity f = counted(channel);
            expectSame(channel.fidelity, f, "channel " + std::to_string(channel.channel));
            sum.notes += f.notes;
            sum.played += f.played;
            sum.asWritten += f.asWritten;
        }
        const SongFidelity song = songFidelity(conversion.departures);
        EXPECT_EQ(song.fidelity.notes, sum.notes);
        EXPECT_EQ(song.fidelity.played, sum.played);
        EXPECT_EQ(song.fidelity.asWritten, sum.asWritten);
        EXPECT_LT(song.fidelity.asWritten, song.fidelity.notes); // each case departs somewhere
    }
}

// Drums are the notes of channel 10, also when merged into another: those
// played count against the score, those left out count nothing.
TEST(FidelityTest, DrumsPlayedCountAgainstTheScore)
{
    std::vector<N> band;
    for (int i = 0; i < 6; ++i)
        band.push_back(N{96 * i, 96, 60 + 2 * i});
    std::vector<N> drums; // bass drum and hi-hat together, three times
    for (int i = 0; i < 6; ++i)
        drums.push_back(N{48 + 192 * (i / 2), 24, 36 + 6 * (i % 2), 9});
    std::vector<N> both = band;
    both.insert(both.end(), drums.begin(), drums.end());
    const std::string line = "song: 6 notes, ";
    const std::string whole = " played, the longest channel needs 1 part";
    const struct {
        const char* name;
        std::string midi;
        std::vector<std::string> options;
        std::string song; // the song line
    } cases[] = {
        {"no drums", midi::song(band), {}, line + "100% as written, 100%" + whole},
        {"drums played", midi::song(both), {}, line + "50% as written, 100%" + whole + "; 6 drum notes played as pitches"},
        {"-d 10", midi::song(both), {"-d", "10"}, line + "100% as written, 100%" + whole},
        {"-s without 10", midi::song(both), {"-d", "all", "-s", "1"}, line + "100% as written, 100%" + whole},
        {"-m merging 10 into 1", midi::song(both), {"-m", "1,10"},
         line + "50% as written, 100%" + whole + "; 6 drum notes played as pitches"},
        {"-m merging 1 into 10: the band stays pitched", midi::song(both), {"-m", "10,1"},
         line + "50% as written, 100%" + whole + "; 6 drum notes played as pitches"},
        {"half the drums dropped", midi::song(both), {"-p", "10@1"},
         line + "66% as written, 100%" + whole + "; 3 drum notes played as pitches"},
        {"only drums", midi::song(drums), {}, "song: 0 notes, - as written, -" + whole + "; 6 drum notes played as pitches"},
    };
    for (const auto& c : cases) {
        const Conversion conversion = convertSong(c.midi, c.options);
        ASSERT_EQ(conversion.status, 0) << c.name;
        EXPECT_EQ(formatSongLine(songFidelity(conversion.departures)), c.song) << c.name;
        for (const ChannelDepartures& channel : conversion.departures) {
            const auto trace = std::find_if(conversion.trace.channels.begin(), conversion.trace.channels.end(),
                                            [&](const ChannelTrace& t) { return t.channel == channel.channel; });
            ASSERT_NE(trace, conversion.trace.channels.end()) << c.name;
            expectSame(channel.fidelity, counted(channel, &*trace), c.name);
        }
    }
}

// The song line: notes, shares, and the macros of a split song or the parts
// of the longest channel.
TEST(FidelityTest, SongLine)
{
    SongFidelity song;
    song.fidelity = {12431, 12400, 12300, 12100, 12200, 12099};
    song.macros = 4;
    song.parts = 5;
    song.split = true;
    EXPECT_EQ(formatSongLine(song), "song: 12,431 notes, 97% as written, 99% played, 4 macros of at most 5 parts");
    EXPECT_TRUE(playsWhole(song));
    song.split = false;
    song.parts = 7;
    song.fidelity = {1, 1, 1, 1, 1, 1};
    EXPECT_EQ(formatSongLine(song), "song: 1 note, 100% as written, 100% played, the longest channel needs 7 parts");
    EXPECT_FALSE(playsWhole(song));
    EXPECT_EQ(percent(0, 0), "-");
    EXPECT_EQ(percent(999, 1000), "99%");
}

} // namespace
