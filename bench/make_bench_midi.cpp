// Writes a large, realistic Standard MIDI File for the benchmark:
//
//   make_bench_midi NOTES TYPE OUT.mid [CHANNELS]
//
// NOTES is the number of notes to write (about), TYPE 0 (one track) or 1
// (a conductor track and one track per instrument). CHANNELS, 5 to 16, is
// the number of MIDI channels the music is spread over; by default the five
// parts keep one channel each. The output depends only on the arguments:
// the random numbers come from a fixed-seed generator.
//
// The music: piano chords of 3 to 6 notes with humanised starts and
// overlapping releases, sustained pads whose pitches are struck again while
// they still sound, a bass line, fast sixteenth and triplet runs, drums with
// very short notes, volume changes, and a conductor track with about a
// hundred tempo changes. Note-offs are written both as 0x8n events and as
// note-ons with velocity 0, with and without running status.
//
// With more channels than parts, the band moves on to the next free
// channels every eight-bar phrase (bank, program and volume set anew there),
// so each channel carries an even share of every part: with 16 channels no
// channel holds more than about a sixteenth of the notes, however long the
// file.
#include "midi/MidiOut.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr int division = 480;
constexpr int bar = 4 * division;

// splitmix64: small, fast and the same on every platform.
class Random {
public:
    explicit Random(std::uint64_t seed) : state_(seed) {}
    std::uint64_t next()
    {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }
    // Uniform in lo..hi (inclusive).
    int range(int lo, int hi) { return lo + static_cast<int>(next() % static_cast<std::uint64_t>(hi - lo + 1)); }
    bool chance(int percent) { return range(0, 99) < percent; }

private:
    std::uint64_t state_;
};

struct Event {
    std::int64_t tick;
    std::uint64_t order; // keeps events of equal tick in the order they were made
    std::vector<unsigned char> bytes;
};

class TrackEvents {
public:
    explicit TrackEvents(int offStyleSeed) : offRandom_(static_cast<std::uint64_t>(offStyleSeed)) {}

    std::vector<Event> events;
    long notes = 0;

    void add(std::int64_t tick, std::vector<unsigned char> bytes)
    {
        events.push_back(Event{tick, order_++, std::move(bytes)});
    }
    // A note with both kinds of note-off: 0x8n or a note-on with velocity 0.
    void note(std::int64_t start, std::int64_t length, int channel, int key, int velocity)
    {
        add(start, {static_cast<unsigned char>(0x90 | channel), static_cast<unsigned char>(key),
                    static_cast<unsigned char>(velocity)});
        if (offRandom_.chance(50))
            add(start + length, {static_cast<unsigned char>(0x80 | channel), static_cast<unsigned char>(key), 64});
        else
            add(start + length, {static_cast<unsigned char>(0x90 | channel), static_cast<unsigned char>(key), 0});
        ++notes;
    }
    void controller(std::int64_t tick, int channel, int number, int value)
    {
        add(tick, {static_cast<unsigned char>(0xB0 | channel), static_cast<unsigned char>(number),
                   static_cast<unsigned char>(value)});
    }
    void program(std::int64_t tick, int channel, int number)
    {
        add(tick, {static_cast<unsigned char>(0xC0 | channel), static_cast<unsigned char>(number)});
    }
    void tempo(std::int64_t tick, int bpm)
    {
        const std::uint32_t micros = 60000000u / static_cast<std::uint32_t>(bpm);
        add(tick, {0xFF, 0x51, 0x03, static_cast<unsigned char>(micros >> 16), static_cast<unsigned char>(micros >> 8),
                   static_cast<unsigned char>(micros)});
    }
    void meta(std::int64_t tick, int type, const std::string& text)
    {
        std::vector<unsigned char> b{0xFF, static_cast<unsigned char>(type), static_cast<unsigned char>(text.size())};
        b.insert(b.end(), text.begin(), text.end());
        add(tick, std::move(b));
    }

private:
    std::uint64_t order_ = 0;
    Random offRandom_;
};

// One track chunk from events in time order; running status on request.
std::string chunk(std::vector<Event> events, bool runningStatus)
{
    std::stable_sort(events.begin(), events.end(), [](const Event& a, const Event& b) {
        return a.tick != b.tick ? a.tick < b.tick : a.order < b.order;
    });
    TrackOut out(runningStatus);
    for (const Event& e : events)
        out.event(e.tick, std::string_view(reinterpret_cast<const char*>(e.bytes.data()), e.bytes.size()));
    return out.chunk();
}

// Scale degrees of a minor-ish progression, as offsets from the key.
const int progression[8] = {0, 5, 3, 7, 8, 5, 10, 7};
const int chordShapes[4][6] = {{0, 3, 7, 12, 15, 19}, {0, 4, 7, 12, 16, 19}, {0, 3, 7, 10, 12, 15},
                               {0, 4, 7, 11, 14, 16}};

// The parts, in the order of their home channels below.
enum Part { Piano, Pad, Bass, Runs, Drums, partCount };
const int programs[partCount] = {0, 89, 33, 73, 0};

// The band's home channels (drums on 10, as in General MIDI), then the free
// ones that further copies of the band take.
const int channelOrder[16] = {0, 1, 2, 3, 9, 4, 5, 6, 7, 8, 10, 11, 12, 13, 14, 15};
constexpr long phraseBars = 8;

} // namespace

int main(int argc, char* argv[])
{
    if (argc != 4 && argc != 5) {
        std::fprintf(stderr, "usage: %s NOTES TYPE(0|1) OUT.mid [CHANNELS(5..16)]\n", argv[0]);
        return 2;
    }
    const long target = std::atol(argv[1]);
    const int type = std::atoi(argv[2]);
    const int channels = argc == 5 ? std::atoi(argv[4]) : partCount;
    if (target <= 0 || (type != 0 && type != 1) || channels < partCount || channels > 16) {
        std::fprintf(stderr, "NOTES must be above 0, TYPE 0 or 1 and CHANNELS 5 to 16\n");
        return 2;
    }

    Random rnd(0x5EED0000ULL + static_cast<std::uint64_t>(target));
    TrackEvents conductor(1), piano(2), pad(3), bass(4), runs(5), drums(6);
    conductor.meta(0, 0x03, "Conductor");
    conductor.add(0, {0xFF, 0x58, 0x04, 4, 2, 24, 8});
    conductor.add(0, {0xFF, 0x59, 0x02, 0xFD, 1});
    piano.meta(0, 0x03, "Piano");
    piano.program(0, 0, 0);
    piano.controller(0, 0, 7, 100);
    pad.meta(0, 0x03, "Pad");
    pad.program(0, 1, 89);
    pad.controller(0, 1, 7, 70);
    bass.meta(0, 0x03, "Bass");
    bass.program(0, 2, 33);
    runs.meta(0, 0x03, "Runs");
    runs.program(0, 3, 73);
    drums.meta(0, 0x03, "Drums");
    TrackEvents* parts[partCount] = {&piano, &pad, &bass, &runs, &drums};
    int volumes[partCount] = {100, 70, 100, 100, 100};

    // The channel of a part in bar b: each phrase the band moves on by its
    // own size, onto the next channels. With five channels it stays put.
    auto channelOf = [&](int part, long b) {
        return channelOrder[(part + partCount * (b / phraseBars)) % channels];
    };

    // Notes per bar, roughly: piano 4 chords of ~4.5, pad ~2, bass 4,
    // runs ~8, drums ~12: about 44 a bar.
    const long bars = std::max(1L, target / 44);
    const long tempoEvery = std::max(1L, bars / 100);
    auto total = [&] { return piano.notes + pad.notes + bass.notes + runs.notes + drums.notes; };

    for (long b = 0; total() < target; ++b) {
        const std::int64_t t0 = static_cast<std::int64_t>(b) * bar;
        const int key = 48 + static_cast<int>((b / 32) % 5) * 2;
        const int degree = progression[b % 8];
        int ch[partCount];
        for (int p = 0; p < partCount; ++p) {
            ch[p] = channelOf(p, b);
            // A part new on a channel brings its instrument (the drum kit by
            // General MIDI 2 bank select) and its volume.
            if (b > 0 && ch[p] != channelOf(p, b - 1)) {
                parts[p]->controller(t0, ch[p], 0, p == Drums ? 120 : 121);
                parts[p]->program(t0, ch[p], programs[p]);
                parts[p]->controller(t0, ch[p], 7, volumes[p]);
            }
        }

        if (b % tempoEvery == 0)
            conductor.tempo(t0, rnd.range(70, 160));

        // Piano: four chords a bar, starts humanised by a few ticks, each
        // chord released a little after the next one starts.
        for (int beat = 0; beat < 4; ++beat) {
            const int size = rnd.range(3, 6);
            const int* shape = chordShapes[rnd.range(0, 3)];
            const std::int64_t start = t0 + beat * division;
            for (int n = 0; n < size; ++n) {
                const int jitter = rnd.range(0, 12);
                const int len = division + rnd.range(-40, 90);
                piano.note(start + jitter, len, ch[Piano], key + 12 + degree + shape[n], rnd.range(60, 110));
            }
        }
        if (b % 16 == 0) {
            volumes[Piano] = rnd.range(80, 120);
            piano.controller(t0, ch[Piano], 7, volumes[Piano]);
        }

        // Pad: a note held for two bars, struck every bar: the earlier one
        // still sounds when its pitch is struck again.
        {
            const int p1 = key + 24 + degree;
            pad.note(t0 + rnd.range(0, 5), 2 * bar + rnd.range(0, 100), ch[Pad], p1, 60);
            if (rnd.chance(60))
                pad.note(t0 + bar / 2, bar, ch[Pad], p1 + 7, 55);
        }

        // Bass: quarter notes, slightly detached.
        for (int beat = 0; beat < 4; ++beat) {
            const int pitch = key - 12 + degree + (beat == 2 ? 7 : 0);
            bass.note(t0 + beat * division, division - rnd.range(10, 60), ch[Bass], pitch, rnd.range(80, 100));
        }

        // Runs: half a bar of sixteenths or a bar of eighth triplets.
        if (rnd.chance(50)) {
            const std::int64_t start = t0 + 2 * division;
            for (int n = 0; n < 8; ++n)
                runs.note(start + n * (division / 4), division / 4 - 5, ch[Runs], key + 24 + degree + (n * 2) % 12,
                          rnd.range(70, 100));
        } else {
            for (int n = 0; n < 12; ++n)
                runs.note(t0 + n * (division / 3), division / 3 - 3, ch[Runs], key + 24 + degree + (n * 5) % 12,
                          rnd.range(70, 100));
        }

        // Drums: kick, snare, hi-hat in eighths, very short notes.
        for (int n = 0; n < 8; ++n) {
            const std::int64_t t = t0 + n * (division / 2);
            drums.note(t, rnd.range(1, 10), ch[Drums], 42, rnd.range(60, 90));
            if (n % 4 == 0)
                drums.note(t, rnd.range(1, 10), ch[Drums], 36, 110);
            if (n % 4 == 2)
                drums.note(t, rnd.range(1, 10), ch[Drums], 38, 100);
        }
    }

    std::string file;
    if (type == 1) {
        TrackEvents* tracks[] = {&conductor, &piano, &pad, &bass, &runs, &drums};
        file = midiHeader(1, 6, division);
        bool running = false;
        for (TrackEvents* t : tracks) {
            file += chunk(t->events, running);
            running = !running;
        }
    } else {
        std::vector<Event> all;
        std::uint64_t order = 0;
        for (TrackEvents* t : {&conductor, &piano, &pad, &bass, &runs, &drums})
            for (Event& e : t->events)
                all.push_back(Event{e.tick, order++, std::move(e.bytes)});
        file = midiHeader(0, 1, division);
        file += chunk(std::move(all), true);
    }

    std::ofstream out(argv[3], std::ios::binary);
    out.write(file.data(), static_cast<std::streamsize>(file.size()));
    if (!out) {
        std::fprintf(stderr, "could not write %s\n", argv[3]);
        return 1;
    }
    std::printf("%s: %ld notes, type %d, %zu bytes", argv[3], total(), type, file.size());
    if (argc == 5)
        std::printf(", %d channels", channels);
    std::printf("\n");
    return 0;
}
