// How much of the melody and the bass a conversion keeps:
//
//   voices [SWITCHES...] -- FILE...
//
// Converts each file with the switches (as midi2varn would, writing
// nothing) and reads the departure report. A note of the MIDI file is in the
// top line when no note of its channel sounding at its start is higher, in
// the bass line when none is lower; it is played unless the report has it
// dropped. Also counts the read-back tunes' clocks where more notes sound
// than the channel's limit allows. Files that do not convert are skipped.
#include "convert/Conversion.h"
#include "convert/DepartureReport.h"
#include "options/Options.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

namespace {

struct Line {
    long long notes = 0, played = 0;
    std::map<std::string, long long> lost; // by the report's reason
};

struct Tally {
    Line top[2], bass[2]; // [0]: by the file's ticks, [1]: by grid position
    long long files = 0, skipped = 0, overLimit = 0, overLimitBeyondOne = 0;
};

void count(Line& line, const std::string& why)
{
    ++line.notes;
    if (why.empty())
        ++line.played;
    else
        ++line.lost[why];
}

// The top-line and bass-line notes of one channel's trace. Notes start
// together when they share a tick, or with `byGrid` a grid position; a note
// of an earlier start sounds at a note's start when its end tick is later.
void countLines(const ChannelTrace& trace, const std::vector<std::string>& dropped, bool byGrid, Tally& tally)
{
    const auto& notes = trace.notes;
    const auto key = [&](std::size_t i) { return byGrid ? notes[i].grid : std::int64_t{notes[i].tick}; };
    std::vector<std::size_t> order(notes.size());
    for (std::size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return key(a) < key(b); });
    std::multimap<std::int64_t, int> earlier; // end tick -> pitch
    for (std::size_t g = 0; g < order.size();) {
        std::size_t h = g;
        int high = -1000000, low = 1000000, first = notes[order[g]].tick;
        for (; h < order.size() && key(order[h]) == key(order[g]); ++h) {
            high = std::max(high, notes[order[h]].pitch);
            low = std::min(low, notes[order[h]].pitch);
            first = std::min(first, notes[order[h]].tick);
        }
        while (!earlier.empty() && earlier.begin()->first <= first)
            earlier.erase(earlier.begin());
        // Copies of a note (one pitch, one start) need one voice between them.
        std::map<int, bool> pitchPlayed;
        for (std::size_t k = g; k < h; ++k)
            pitchPlayed[notes[order[k]].pitch] |= dropped[order[k]].empty();
        for (std::size_t k = g; k < h; ++k) {
            const TracedNote& n = notes[order[k]];
            int above = high, below = low;
            for (const auto& [end, pitch] : earlier) {
                if (end > n.tick) {
                    above = std::max(above, pitch);
                    below = std::min(below, pitch);
                }
            }
            const std::string& why = pitchPlayed[n.pitch] ? std::string() : dropped[order[k]];
            if (n.pitch == above)
                count(tally.top[byGrid], why);
            if (n.pitch == below)
                count(tally.bass[byGrid], why);
        }
        for (std::size_t k = g; k < h; ++k)
            earlier.emplace(std::int64_t{notes[order[k]].tick} + notes[order[k]].ticks, notes[order[k]].pitch);
        g = h;
    }
}

// Clocks of the read-back tune where more notes sound than `limit`.
void countOverLimit(const PlayedTune& tune, int limit, Tally& tally)
{
    if (limit <= 0)
        return;
    std::map<std::int64_t, int> change;
    for (const PlayedNote& n : tune.notes) {
        ++change[n.start];
        --change[n.start + n.length];
    }
    int count = 0;
    for (const auto& [clock, delta] : change) {
        count += delta;
        tally.overLimit += count > limit;
        tally.overLimitBeyondOne += count > limit + 1;
    }
}

void measure(const std::vector<std::string>& switches, const std::string& file, Tally& tally)
{
    std::ifstream in(file, std::ios::binary);
    const std::vector<unsigned char> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    std::vector<std::string> args{"midi2varn"};
    args.insert(args.end(), switches.begin(), switches.end());
    args.push_back(file);
    args.push_back("-");
    const CommandLine commandLine = parseOptions(args);
    ConversionRequest request;
    request.settings = commandLine.settings;
    request.inputName = file;
    request.outputName = "/dev/null";
    request.midi = bytes;
    request.wantDepartures = true;
    const Conversion result = convert(request, [](const ConsoleText&) {});
    if (!commandLine.proceed || result.status != 0) {
        ++tally.skipped;
        return;
    }
    ++tally.files;
    for (const ChannelTrace& trace : result.trace.channels) {
        std::vector<std::string> dropped(trace.notes.size());
        for (const ChannelDepartures& c : result.departures)
            if (c.channel == trace.channel)
                for (const Departure& d : c.departures)
                    if (d.kind == DepartureKind::Dropped && d.note != noNote)
                        {
                        const std::string detail = departureDetail(c, d);
                        dropped[d.note] = detail.substr(detail.find(' ') + 1);
                    }
        countLines(trace, dropped, false, tally);
        countLines(trace, dropped, true, tally);
        for (const PlayedTune& tune : result.played.tunes)
            if (tune.channel == trace.channel)
                countOverLimit(tune, trace.polyphony, tally);
    }
}

} // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> switches;
    int i = 1;
    for (; i < argc && std::string(argv[i]) != "--"; ++i)
        switches.push_back(argv[i]);
    Tally tally;
    for (++i; i < argc; ++i)
        measure(switches, argv[i], tally);
    std::printf("files %lld (skipped %lld)\n", tally.files, tally.skipped);
    const char* ways[2] = {"by ticks", "by grid"};
    const auto print = [&](const char* name, const Line& line, const char* way) {
        std::printf("%-5s line %s: %lld of %lld played: %.2f%% (%lld lost", name, way, line.played, line.notes,
                    line.notes ? 100.0 * line.played / line.notes : 100.0, line.notes - line.played);
        for (const auto& [why, n] : line.lost)
            std::printf("; %lld %s", n, why.c_str());
        std::printf(")\n");
    };
    for (int w = 0; w < 2; ++w) {
        print("top", tally.top[w], ways[w]);
        print("bass", tally.bass[w], ways[w]);
    }
    std::printf("clocks over the limit %lld (by more than one: %lld)\n", tally.overLimit, tally.overLimitBeyondOne);
    return 0;
}
