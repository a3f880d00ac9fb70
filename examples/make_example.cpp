// Writes example.mid: the "Ode to Joy" theme (Beethoven, public domain) in
// C major, the melody on channel 1 and half-note chords on channel 2, at 100
// beats per minute slowing to 80 for the last bar.
//
//   make_example [OUTPUT.MID]      (default: example.mid)

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

namespace {

const int division = 96; // ticks per quarter note
const int eighth = division / 2;

std::string be(std::uint32_t value, int bytes)
{
    std::string out;
    for (int shift = 8 * (bytes - 1); shift >= 0; shift -= 8)
        out.push_back(static_cast<char>((value >> shift) & 0xFF));
    return out;
}

// Variable-length quantity of a delta time.
std::string vlq(std::uint32_t value)
{
    std::string out(1, static_cast<char>(value & 0x7F));
    while ((value >>= 7) != 0)
        out.insert(out.begin(), static_cast<char>(0x80 | (value & 0x7F)));
    return out;
}

// The events of one track chunk, each placed at an absolute tick.
class Track {
public:
    void event(std::uint32_t tick, const std::string& bytes)
    {
        body_ += vlq(tick - last_);
        body_ += bytes;
        last_ = tick;
    }
    void name(const std::string& text) { event(0, "\xFF\x03" + vlq(static_cast<std::uint32_t>(text.size())) + text); }
    void tempo(std::uint32_t tick, int bpm) { event(tick, std::string("\xFF\x51\x03", 3) + be(60000000 / bpm, 3)); }
    void program(int channel, int number) { event(last_, {static_cast<char>(0xC0 | channel), static_cast<char>(number)}); }
    void note(int channel, int pitch, int velocity, std::uint32_t from, std::uint32_t to)
    {
        event(from, {static_cast<char>(0x90 | channel), static_cast<char>(pitch), static_cast<char>(velocity)});
        event(to, {static_cast<char>(0x80 | channel), static_cast<char>(pitch), 64});
    }
    // Notes that start and end together.
    void chord(int channel, const std::vector<int>& pitches, int velocity, std::uint32_t from, std::uint32_t to)
    {
        for (int pitch : pitches)
            event(from, {static_cast<char>(0x90 | channel), static_cast<char>(pitch), static_cast<char>(velocity)});
        for (int pitch : pitches)
            event(to, {static_cast<char>(0x80 | channel), static_cast<char>(pitch), 64});
    }
    std::string chunk()
    {
        event(last_, std::string("\xFF\x2F\x00", 3));
        return "MTrk" + be(static_cast<std::uint32_t>(body_.size()), 4) + body_;
    }
    std::uint32_t last() const { return last_; }

private:
    std::string body_;
    std::uint32_t last_ = 0;
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
    const std::uint32_t bar = 8 * eighth;

    Track conductor;
    conductor.name("Ode to Joy");
    conductor.tempo(0, 100);
    conductor.tempo(7 * bar, 80); // the last bar a little slower

    Track tune;
    tune.name("Melody");
    tune.program(0, 73); // flute
    std::uint32_t tick = 0;
    for (const auto& [pitch, eighths] : melody) {
        const std::uint32_t end = tick + static_cast<std::uint32_t>(eighths * eighth);
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

    const std::string file = "MThd" + be(6, 4) + be(1, 2) + be(3, 2) + be(division, 2) + conductor.chunk() +
                             tune.chunk() + accompaniment.chunk();
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(file.data(), static_cast<std::streamsize>(file.size()));
    out.close();
    if (!out) {
        std::fprintf(stderr, "Could not write \"%s\".\n", path.c_str());
        return 1;
    }
    return 0;
}
