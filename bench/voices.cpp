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
#include "options/Options.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

namespace {

struct Tally {
    long long top = 0, topPlayed = 0, bass = 0, bassPlayed = 0;
    long long files = 0, skipped = 0, overLimit = 0, overLimitBeyondOne = 0;
};

// The top-line and bass-line notes of one channel's trace.
void countLines(const ChannelTrace& trace, const std::vector<bool>& dropped, Tally& tally)
{
    const auto& notes = trace.notes;
    std::vector<std::size_t> order(notes.size());
    for (std::size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return notes[a].tick < notes[b].tick; });
    std::multimap<std::int64_t, int> sounding; // end tick -> pitch
    for (std::size_t g = 0; g < order.size();) {
        const int tick = notes[order[g]].tick;
        while (!sounding.empty() && sounding.begin()->first <= tick)
            sounding.erase(sounding.begin());
        std::size_t h = g;
        int high = -1000000, low = 1000000;
        for (; h < order.size() && notes[order[h]].tick == tick; ++h) {
            high = std::max(high, notes[order[h]].pitch);
            low = std::min(low, notes[order[h]].pitch);
        }
        for (const auto& s : sounding) {
            high = std::max(high, s.second);
            low = std::min(low, s.second);
        }
        for (std::size_t k = g; k < h; ++k) {
            const TracedNote& n = notes[order[k]];
            const bool played = !dropped[order[k]];
            if (n.pitch == high) {
                ++tally.top;
                tally.topPlayed += played;
            }
            if (n.pitch == low) {
                ++tally.bass;
                tally.bassPlayed += played;
            }
            sounding.emplace(std::int64_t{n.tick} + n.ticks, n.pitch);
        }
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
        std::vector<bool> dropped(trace.notes.size(), false);
        for (const ChannelDepartures& c : result.departures)
            if (c.channel == trace.channel)
                for (const Departure& d : c.departures)
                    if (d.kind == DepartureKind::Dropped && d.note != noNote)
                        dropped[d.note] = true;
        countLines(trace, dropped, tally);
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
    const auto share = [](long long part, long long whole) { return whole ? 100.0 * part / whole : 100.0; };
    std::printf("files %lld (skipped %lld)\n", tally.files, tally.skipped);
    std::printf("top line  %lld of %lld played: %.2f%% (%lld lost)\n", tally.topPlayed, tally.top,
                share(tally.topPlayed, tally.top), tally.top - tally.topPlayed);
    std::printf("bass line %lld of %lld played: %.2f%% (%lld lost)\n", tally.bassPlayed, tally.bass,
                share(tally.bassPlayed, tally.bass), tally.bass - tally.bassPlayed);
    std::printf("clocks over the limit %lld (by more than one: %lld)\n", tally.overLimit, tally.overLimitBeyondOne);
    return 0;
}
