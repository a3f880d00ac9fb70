// Writes example.mid: the "Ode to Joy" theme (Beethoven, public domain) in
// C major, the melody on channel 1 and half-note chords on channel 2, at 100
// beats per minute slowing to 80 for the last bar.
//
//   make_example [OUTPUT.MID]      (default: example.mid)

#include "midi/MidiOut.h"

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

namespace {

const int division = 96; // ticks per quarter note
const int eighth = division / 2;

std::string bytes(std::initializer_list<int> values)
{
    std::string out;
    for (int v : values)
        out.push_back(static_cast<char>(v));
    return out;
}

// The events of one track chunk, each placed at an absolute tick.
class Track {
public:
    void name(const std::string& text) { out_.meta(0, 0x03, text); }
    void tempo(std::int64_t tick, int bpm)
    {
        std::string micros;
        appendBigEndian(micros, static_cast<std::uint32_t>(60000000 / bpm), 3);
        out_.meta(tick, 0x51, micros);
    }
    // At the track's start, after what is there already.
    void program(int channel, int number) { out_.event(0, bytes({0xC0 | channel, number})); }
    void note(int channel, int pitch, int velocity, std::int64_t from, std::int64_t to)
    {
        chord(channel, {pitch}, velocity, from, to);
    }
    // Notes that start and end together.
    void chord(int channel, const std::vector<int>& pitches, int velocity, std::int64_t from, std::int64_t to)
    {
        for (int pitch : pitches)
            out_.event(from, bytes({0x90 | channel, pitch, velocity}));
        for (int pitch : pitches)
            out_.event(to, bytes({0x80 | channel, pitch, 64}));
    }
    std::string chunk() const { return out_.chunk(); }

private:
    TrackOut out_;
};

enum Pitch { C = 60, D = 62, E = 64, F = 65, G = 67 };

} // namespace

int main(int argc, char* argv[])
{
    const std::string path = (argc > 1) ? argv[1] : "example.mid";

    // Melody: pitch and length in eighths.
    const std::vector<std::pair<int, int>> melody = {
        {E, 2}, {E, 2}, {F, 2}, {G, 2}, {G, 2}, {F, 2}, {E, 2}, {D, 2},
        {C, 2}, {C, 2}, {D, 2}, {E, 2}, {E, 3}, {D, 1}, {D, 4},
        {E, 2}, {E, 2}, {F, 2}, {G, 2}, {G, 2}, {F, 2}, {E, 2}, {D, 2},
        {C, 2}, {C, 2}, {D, 2}, {E, 2}, {D, 3}, {C, 1}, {C, 4},
    };
    // Chords, one per half bar: c-e-g and d-g-b below middle C.
    const std::vector<int> cMajor = {48, 52, 55};
    const std::vector<int> gMajor = {50, 55, 59};
    const std::vector<const std::vector<int>*> chords = {
        &cMajor, &cMajor, &gMajor, &gMajor, &cMajor, &gMajor, &gMajor, &gMajor,
        &cMajor, &cMajor, &gMajor, &gMajor, &cMajor, &gMajor, &gMajor, &cMajor,
    };
    const std::int64_t bar = 8 * eighth;

    Track conductor;
    conductor.name("Ode to Joy");
    conductor.tempo(0, 100);
    conductor.tempo(7 * bar, 80); // the last bar a little slower

    Track tune;
    tune.name("Melody");
    tune.program(0, 73); // flute
    std::int64_t tick = 0;
    for (const auto& [pitch, eighths] : melody) {
        const std::int64_t end = tick + eighths * eighth;
        tune.note(0, pitch, 90, tick, end);
        tick = end;
    }

    Track accompaniment;
    accompaniment.name("Chords");
    accompaniment.program(1, 0); // piano
    tick = 0;
    for (const auto* chord : chords) {
        accompaniment.chord(1, *chord, 70, tick, tick + bar / 2);
        tick += bar / 2;
    }

    const std::string file = midiHeader(1, 3, division) + conductor.chunk() + tune.chunk() + accompaniment.chunk();
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(file.data(), static_cast<std::streamsize>(file.size()));
    out.close();
    if (!out) {
        std::fprintf(stderr, "Could not write \"%s\".\n", path.c_str());
        return 1;
    }
    return 0;
}
