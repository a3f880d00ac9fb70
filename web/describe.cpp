#include "describe.h"

#include "convert/Bars.h"
#include "convert/DepartureReport.h"
#include "options/FileNames.h"
#include "options/PreviewOptions.h"
#include "tune/Preview.h"
#include "tune/TuneReader.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <utility>

namespace {

// The MIDI file's bars: [start in ticks, first bar, numerator, denominator].
void metres(Description& out, const DepartureTrace& trace)
{
    out.key("metres");
    const Bars bars(trace.division, trace.signatures);
    out.array([&] {
        for (const Bars::Metre& m : bars.metres())
            out.array([&] {
                out.number(static_cast<double>(m.start) / 24);
                out.raw("," + std::to_string(m.firstBar) + "," + std::to_string(m.numerator) + "," +
                        std::to_string(m.denominator));
            });
    });
}

constexpr double none = -1;

double indexOrNone(std::size_t index)
{
    return index == noNote ? none : static_cast<double>(index);
}

// A played tune's notes (layouts::played) that a preview plays (those of
// some length), ordered by start, then pitch.
void playedNotes(Description& out, const PlayedTune& tune)
{
    const TuneClock clock(tune.tempos);
    std::vector<std::size_t> order;
    for (std::size_t i = 0; i < tune.notes.size(); ++i)
        if (tune.notes[i].length > 0)
            order.push_back(i);
    std::stable_sort(order.begin(), order.end(), [&tune](std::size_t a, std::size_t b) {
        const PlayedNote& x = tune.notes[a];
        const PlayedNote& y = tune.notes[b];
        return x.start != y.start ? x.start < y.start : x.pitch < y.pitch;
    });
    out.table(layouts::played);
    for (const std::size_t i : order) {
        const PlayedNote& n = tune.notes[i];
        const double seconds = clock.seconds(n.start);
        out.row<widthOf(layouts::played)>(
            {static_cast<double>(n.start), static_cast<double>(n.length), static_cast<double>(n.pitch),
             static_cast<double>(previewVelocity(n.volume)), seconds, clock.seconds(n.start + n.length) - seconds,
             static_cast<double>((n.held ? heldFlag : 0) | (n.stuck ? stuckFlag : 0))});
    }
    out.tableEnd();
}

// Tempo marks as [at, bpm] pairs.
template <typename Marks, typename At> void tempoMarks(Description& out, std::string_view name, const Marks& marks, At at)
{
    out.key(name);
    out.array([&] {
        for (const auto& mark : marks)
            out.array([&] {
                out.integer(at(mark));
                out.raw("," + std::to_string(mark.bpm));
            });
    });
}

// A note list: {count, and per column its byte offset in the store}.
void noteList(Description& out, std::string_view name, const NoteListPlace& list)
{
    out.key(name);
    out.object([&] {
        out.key("count");
        out.integer(static_cast<std::int64_t>(list.count));
        for (std::size_t k = 0; k < std::size(columns::noteList); ++k) {
            out.key(columns::noteList[k].name);
            out.integer(static_cast<std::int64_t>(list.offsets[k]));
        }
    });
}

// One channel of the roll (with -P, its player's: `player` from 1, else 0):
// its notes in the tune and in the file (as note lists in `store`), its departures (as a table; their lines come with
// describeDepartures) with their count by kind, and both tempo maps.
void rollChannel(Description& out, ColumnStore& store, int division, const ChannelTrace& trace,
                 const PlayedTune& played, const ChannelDepartures& departures, int player)
{
    out.object([&] {
        out.key("channel");
        out.integer(trace.channel);
        out.key("player");
        out.integer(player);
        out.key("polyphony");
        out.integer(trace.polyphony);
        out.key("summary");
        out.string(formatSummary(departures));
        noteList(out, "tune", tuneList(played, division, departures, store));
        noteList(out, "source", sourceList(trace, departures, store));
        out.key("end");
        out.integer(played.end);
        out.key("counts");
        out.array([&] {
            std::string counts;
            for (const std::size_t count : departures.counts)
                counts += (counts.empty() ? "" : ",") + std::to_string(count);
            out.raw(counts);
        });
        out.key("departures");
        out.table(layouts::departure);
        for (const Departure& x : departures.departures)
            out.row<widthOf(layouts::departure)>({static_cast<double>(x.kind), static_cast<double>(x.position) / 24,
                                                  indexOrNone(x.note), indexOrNone(x.played)});
        out.tableEnd();
        tempoMarks(out, "tempos", played.tempos, [](const TempoMark& m) { return m.clock; });
        tempoMarks(out, "midiTempos", trace.tempos, [](const TempoChange& c) { return std::int64_t{c.tick}; });
    });
}

// "LINE:COLUMN: error: TEXT" (or "warning:").
std::string issueText(const ReadIssue& issue)
{
    std::string text = formatIssue("", issue);
    text.erase(0, 1);
    if (!text.empty() && text.back() == '\n')
        text.pop_back();
    return text;
}

// For each tune of `read`, its messages in the order of their places:
// those from its start up to the next tune's (those before the first tune
// count for the first).
std::vector<std::vector<std::size_t>> messagesByTune(const TuneRead& read)
{
    std::vector<std::vector<std::size_t>> messages(read.tunes.size());
    for (std::size_t k = 0; k < read.issues.size() && !read.tunes.empty(); ++k) {
        const auto after = std::upper_bound(read.tunes.begin(), read.tunes.end(), read.issues[k].offset,
                                            [](std::size_t at, const PlayedTune& t) { return at < t.offset; });
        messages[after == read.tunes.begin() ? 0 : static_cast<std::size_t>(after - read.tunes.begin()) - 1]
            .push_back(k);
    }
    for (std::vector<std::size_t>& list : messages)
        std::stable_sort(list.begin(), list.end(), [&read](std::size_t a, std::size_t b) {
            return read.issues[a].offset < read.issues[b].offset;
        });
    return messages;
}

// With -P, the band: {"players": [the channels of each player], "playerOf":
// per channel its player from 1 (0: left out), "octaves": per channel its
// move in octaves}; null without.
void band(Description& out, const BandPlan& plan, bool arranged)
{
    out.key("band");
    if (!arranged) {
        out.raw("null");
        return;
    }
    const auto numbers = [&out](const auto& values, int add) {
        out.array([&] {
            std::string text;
            for (const int value : values)
                text += (text.empty() ? "" : ",") + std::to_string(value + add);
            out.raw(text);
        });
    };
    out.object([&] {
        out.key("players");
        out.array([&] {
            for (const Player& player : plan.players)
                numbers(player.channels, 1);
        });
        out.key("playerOf");
        numbers(plan.playerOf, 1);
        out.key("octaves");
        numbers(plan.octaves, 0);
    });
}

} // namespace

// Of a conversion: the file's division and bars, the song's fidelity figures, the band (with -P),
// whether the upper c was allowed, the preview file's name, and per channel with a tune the
// channel's roll (rollChannel).
std::string describeRoll(const Conversion& result, const Settings& settings, const std::string& outputName,
                         std::vector<double>& tables, ColumnStore& store)
{
    Description out;
    const DepartureTrace& trace = result.trace;
    // Room for all tables at once: they are most of the description.
    std::size_t numbers = 0;
    for (const ChannelDepartures& d : result.departures)
        numbers += d.departures.size() * widthOf(layouts::departure);
    out.numbers.reserve(numbers);
    std::size_t notes = 0;
    for (const ChannelTrace& t : trace.channels)
        notes += t.notes.size();
    for (const PlayedTune& p : result.played.tunes)
        notes += p.notes.size();
    store.reserveNotes(trace.channels.size() + result.played.tunes.size(), notes);
    out.object([&] {
        out.key("division");
        out.integer(trace.division);
        out.key("upperC");
        out.boolean(settings.upperC);
        out.key("previewName");
        out.string(withExtension(outputName, previewExtension));
        metres(out, trace);
        out.key("song");
        out.object([&] { songFigures(out, result.fidelity); });
        band(out, result.band, settings.players > 0);
        out.key("channels");
        out.array([&] {
            for (const TuneRecord& record : result.tunes) {
                const int channel = record.channel;
                const auto t = std::find_if(trace.channels.begin(), trace.channels.end(),
                                            [&](const ChannelTrace& c) { return c.channel == channel; });
                const auto p = std::find_if(result.played.tunes.begin(), result.played.tunes.end(),
                                            [&](const PlayedTune& tune) { return tune.channel == channel; });
                const auto d = std::find_if(result.departures.begin(), result.departures.end(),
                                            [&](const ChannelDepartures& c) { return c.channel == channel; });
                const int player = channel >= 1 && channel <= channelCount ? result.band.playerOf[channel - 1] : -1;
                if (t != trace.channels.end() && p != result.played.tunes.end() && d != result.departures.end())
                    rollChannel(out, store, trace.division, *t, *p, *d, settings.players > 0 ? player + 1 : 0);
            }
        });
    });
    tables = std::move(out.numbers);
    return std::move(out.json);
}

void songFigures(Description& out, const SongFidelity& song)
{
    out.key("notes");
    out.integer(static_cast<std::int64_t>(song.fidelity.notes));
    out.key("asWritten");
    out.integer(static_cast<std::int64_t>(song.fidelity.asWritten));
    out.key("played");
    out.integer(static_cast<std::int64_t>(song.fidelity.played));
    out.key("macros");
    out.integer(song.macros);
    out.key("parts");
    out.integer(song.parts);
    out.key("playsWhole");
    out.boolean(playsWhole(song));
    out.key("drums");
    out.integer(static_cast<std::int64_t>(song.fidelity.drums));
    out.key("asWrittenShare");
    out.string(asWrittenShare(song.fidelity));
    out.key("playedShare");
    out.string(playedShare(song.fidelity));
}

std::string describeDepartures(const ChannelDepartures& channel, std::span<const std::uint32_t> indices)
{
    Description out;
    const auto& list = channel.departures;
    out.object([&] {
        for (const bool words : {false, true}) {
            out.key(words ? "words" : "lines");
            out.array([&] {
                for (std::size_t i = 0; i < indices.size(); ++i) {
                    if (i)
                        out.raw(",");
                    if (indices[i] >= list.size())
                        out.string("");
                    else if (words)
                        out.string(departureWords(channel, list[indices[i]]));
                    else
                        out.string(formatDeparture(channel, list[indices[i]]));
                }
            });
        }
    });
    return std::move(out.json);
}

// Per tune of `text` its channel (null for a bare tune text), its notes
// ordered by start, then pitch (playedNotes without notes of no length),
// and the reader's messages about it (messagesByTune).
std::string describePreview(std::string_view text, std::vector<double>& numbers)
{
    const TuneRead read = readTunes(text);
    const std::vector<std::vector<std::size_t>> messages = messagesByTune(read);
    Description out;
    out.array([&] {
        for (std::size_t i = 0; i < read.tunes.size(); ++i)
            out.object([&] {
                const PlayedTune& tune = read.tunes[i];
                out.key("channel");
                if (read.macro)
                    out.integer(tune.channel);
                else
                    out.raw("null");
                out.key("notes");
                playedNotes(out, tune);
                out.key("warnings");
                out.array([&] {
                    for (std::size_t k = 0; k < messages[i].size(); ++k) {
                        if (k)
                            out.raw(",");
                        out.string(issueText(read.issues[messages[i][k]]));
                    }
                });
            });
    });
    numbers = std::move(out.numbers);
    return std::move(out.json);
}

// The diagnostics as a JSON array, one object per occurrence kept, in
// order: {code: the code's name, level, channel (0: none), args: the
// integer arguments, count: how often the code occurred in the run,
// internal: whether it is an internal check, text: the console line as made
// from the values}.
std::string describeDiagnostics(const Diagnostics& diagnostics)
{
    Description out;
    out.array([&] {
        for (const Diagnostic& d : diagnostics.kept())
            out.object([&] {
                out.key("code");
                out.string(codeInfo(d.code).name);
                out.key("level");
                out.integer(static_cast<int>(d.level));
                out.key("channel");
                out.integer(d.channel);
                out.key("args");
                out.array([&] {
                    for (const int arg : d.args()) {
                        if (out.json.back() != '[')
                            out.raw(",");
                        out.integer(arg);
                    }
                });
                out.key("count");
                out.integer(diagnostics.count(d.code));
                out.key("internal");
                out.boolean(codeInfo(d.code).internal);
                out.key("text");
                out.string(d.text);
            });
    });
    return std::move(out.json);
}
