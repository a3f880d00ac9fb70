// The track's note bookkeeping against its straightforward form, kept here
// as an oracle: a note-off searches the element list backwards for the
// sounding note. Random operation sequences and random track chunks (both
// kinds of note-off, re-struck pitches, notes ended on their own tick,
// all-notes-off, times that wrap) must leave the same elements and print
// the same warnings.
#include "midi/Track.h"

#include "core/Message.h"
#include "core/WrappingArithmetic.h"
#include "midi/ByteReader.h"
#include "midi/MidiReader.h"
#include "support/Capture.h"
#include "support/MidiWriter.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <random>
#include <span>
#include <string>
#include <vector>

namespace {

// The bookkeeping with a backward search over the whole list.
class OracleTrack {
public:
    std::vector<Element> list;
    const std::vector<Element>& elements() const { return list; }
    bool used = false;

    Element* findActiveNote(int time, int channel, int pitch)
    {
        for (auto it = list.rbegin(); it != list.rend(); ++it) {
            Element& note = *it;
            if (note.isNote() && note.duration == 0 && note.channel == channel && note.time <= time &&
                note.pitch == pitch)
                return &note;
        }
        return nullptr;
    }
    void addNote(int time, int channel, int pitch, int velocity)
    {
        if (velocity == 0) {
            if (Element* n = findActiveNote(time, channel, pitch))
                n->duration = subWrap(time, n->time);
            else
                ::report(Code::NoActiveNote, channel + 1, time, channel, pitch);
            return;
        }
        const Element note = Element::makeNote(time, channel, pitch, velocity);
        setNoteOff(time, channel, pitch, false);
        list.push_back(note);
        used = true;
    }
    void setNoteOff(int time, int channel, int pitch, bool report)
    {
        if (Element* n = findActiveNote(time, channel, pitch)) {
            n->duration = subWrap(time, n->time);
            if (!report)
                ::report(Code::NoteNotReleased, channel + 1, pitch);
        } else if (report) {
            ::report(Code::NoActiveNote, channel + 1, time, channel, pitch);
        }
    }
    void allNotesOff(int time, int channel) { allNotesOff(time, &channel); }
    void allNotesOff(int time) { allNotesOff(time, nullptr); }
    void addTempo(int time, int channel, int bpm) { list.push_back(Element::makeTempo(time, channel, bpm)); }
    void addVolume(int time, int channel, int volume) { list.push_back(Element::makeVolume(time, channel, volume)); }
    void allNotesOff(int time, const int* channel)
    {
        for (auto it = list.rbegin(); it != list.rend(); ++it) {
            Element& note = *it;
            if (note.isNote() && note.duration == 0 && (channel == nullptr || note.channel == *channel))
                note.duration = subWrap(time, note.time);
        }
    }
};

std::string describe(const std::vector<Element>& list)
{
    std::string s;
    char line[160];
    for (const Element& e : list) {
        switch (e.kind) {
        case ElementKind::Note:
            std::snprintf(line, sizeof line, "N t%d c%d p%d v%d dur%d\n", e.time, e.channel, e.pitch, e.velocity,
                          e.duration);
            break;
        case ElementKind::Tempo:
            std::snprintf(line, sizeof line, "T t%d c%d b%d\n", e.time, e.channel, e.bpm);
            break;
        case ElementKind::Volume:
            std::snprintf(line, sizeof line, "V t%d c%d v%d\n", e.time, e.channel, e.volume);
            break;
        }
        s += line;
    }
    return s;
}

// Index of a found note in its list, -1 for none.
long indexOf(const std::vector<Element>& list, const Element* note)
{
    for (std::size_t i = 0; i < list.size(); ++i)
        if (&list[i] == note)
            return static_cast<long>(i);
    return -1;
}

std::span<const unsigned char> asBytes(const std::string& data)
{
    return {reinterpret_cast<const unsigned char*>(data.data()), data.size()};
}

class TrackOracleTest : public ::testing::Test {
protected:
    void SetUp() override { setVerbosity(9); }
    void TearDown() override { setVerbosity(4); }
};

// One step of a random sequence, applied alike to the track and the oracle.
struct Step {
    int op; // 0 addNote, 1 setNoteOff, 2 allNotesOff(ch), 3 allNotesOff, 4 addTempo,
            // 5 addVolume, 6 findActiveNote
    int time, channel, pitch, value;
};

template <typename T>
std::vector<long> run(T& track, const std::vector<Step>& steps)
{
    std::vector<long> found;
    for (const Step& s : steps) {
        switch (s.op) {
        case 0: track.addNote(s.time, s.channel, s.pitch, s.value); break;
        case 1: track.setNoteOff(s.time, s.channel, s.pitch, s.value != 0); break;
        case 2: track.allNotesOff(s.time, s.channel); break;
        case 3: track.allNotesOff(s.time); break;
        case 4: track.addTempo(s.time, 15, s.value); break;
        case 5: track.addVolume(s.time, s.channel, s.value); break;
        default: found.push_back(indexOf(track.elements(), track.findActiveNote(s.time, s.channel, s.pitch)));
        }
        found.push_back(static_cast<long>(track.used));
    }
    return found;
}

TEST_F(TrackOracleTest, RandomOperations)
{
    std::mt19937 rng(31);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    for (int round = 0; round < 300; ++round) {
        std::vector<Step> steps;
        int time = round % 10 == 0 ? INT_MAX - 500 : 0; // some rounds wrap
        const int count = pick(0, 250);
        for (int i = 0; i < count; ++i) {
            const int r = pick(0, 99);
            if (r < 70)
                time = addWrap(time, pick(0, 3) == 0 ? 0 : pick(1, 60));
            else if (r < 72)
                time = subWrap(time, pick(1, 100)); // a time before earlier notes
            const int channel = pick(0, 30) == 0 ? pick(-2, 20) : pick(0, 2);
            const int pitch = pick(0, 30) == 0 ? pick(-5, 300) : pick(58, 63);
            const int o = pick(0, 99);
            Step s{6, time, channel, pitch, 0};
            if (o < 40)
                s = Step{0, time, channel, pitch, pick(0, 4) == 0 ? 0 : pick(1, 127)};
            else if (o < 75)
                s = Step{1, time, channel, pitch, pick(0, 3) != 0 ? 1 : 0};
            else if (o < 80)
                s = Step{2, time, channel, pitch, 0};
            else if (o < 82)
                s = Step{3, time, channel, pitch, 0};
            else if (o < 86)
                s = Step{4, time, channel, pitch, pick(40, 200)};
            else if (o < 90)
                s = Step{5, time, channel, pitch, pick(0, 127)};
            steps.push_back(s);
        }
        Track track;
        ConsoleCapture fastOut;
        const std::vector<long> fastFound = run(track, steps);
        const std::string fastText = fastOut.take();
        OracleTrack oracle;
        ConsoleCapture oracleOut;
        const std::vector<long> oracleFound = run(oracle, steps);
        const std::string oracleText = oracleOut.take();

        ASSERT_EQ(fastText, oracleText) << "round " << round;
        ASSERT_EQ(fastFound, oracleFound) << "round " << round;
        ASSERT_EQ(describe(track.elements()), describe(oracle.elements())) << "round " << round;
    }
}

// The bytes of `value` as a variable-length quantity of `size` bytes
// (leading zero groups as padding, up to 5 bytes in all).
std::string paddedVlq(std::uint32_t value, int size)
{
    std::string out = midi::vlq(value);
    while (static_cast<int>(out.size()) < size)
        out.insert(out.begin(), '\x80');
    return out;
}

// Random track chunks read by the decoder, replayed on the oracle: deltas of
// one to five bytes (padded ones too, and ones that wrap the time), running
// status, keys above 127, both kinds of note-off and all-notes-off.
TEST_F(TrackOracleTest, RandomChunks)
{
    struct Op {
        int kind; // 0 note-on, 1 note-off, 2 all notes off, 3 volume
        int time, channel, key, velocity;
    };
    std::mt19937 rng(8);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    auto pickDelta = [&]() -> std::uint32_t {
        const int r = pick(0, 19);
        if (r < 6)
            return 0;
        if (r < 17)
            return static_cast<std::uint32_t>(pick(1, 100));
        if (r < 19)
            return static_cast<std::uint32_t>(pick(128, 40000));
        return std::uniform_int_distribution<std::uint32_t>(0x0FFFFFF0u, 0xFFFFFFFFu)(rng);
    };
    for (int round = 0; round < 200; ++round) {
        midi::TrackBody body;
        std::vector<Op> ops;
        int time = 0;
        int runningStatus = 0;
        const int events = pick(0, 300);
        for (int e = 0; e < events; ++e) {
            const std::uint32_t delta = pickDelta();
            time = addWrap(time, static_cast<int>(delta));
            const int channel = pick(0, 3);
            const int r = pick(0, 19);
            int key = pick(60, 66);
            int velocity = pick(1, 127);
            int status = 0;
            if (r < 9) {
                status = 0x90 | channel;
                ops.push_back(Op{0, time, channel, key, velocity});
            } else if (r < 13) {
                status = 0x80 | channel;
                velocity = 64;
                ops.push_back(Op{1, time, channel, key, 0});
            } else if (r < 17) {
                status = 0x90 | channel; // the other kind of note-off
                velocity = 0;
                ops.push_back(Op{0, time, channel, key, 0});
            } else if (r < 18) {
                status = 0xB0 | channel;
                key = 123;
                velocity = 0;
                ops.push_back(Op{2, time, channel, 0, 0});
            } else {
                status = 0xB0 | channel;
                key = 7;
                velocity = 100;
                ops.push_back(Op{3, time, channel, 0, 100});
            }
            if (status < 0xB0 && pick(0, 30) == 0) {
                key = pick(128, 255); // a data byte the reader takes as it is
                ops.back().key = key;
            }
            const int size = static_cast<int>(midi::vlq(delta).size());
            const std::string deltaBytes = paddedVlq(delta, pick(0, 9) == 0 ? pick(size, 5) : size);
            // Running status only where the key cannot be taken for a status.
            const bool running = status == runningStatus && key < 0x80 && pick(0, 2) != 0;
            body.raw(deltaBytes + (running ? "" : midi::bytes({status})) + midi::bytes({key, velocity}));
            runningStatus = status;
        }
        const auto last = static_cast<std::uint32_t>(pick(0, 50));
        body.endOfTrack(last);

        // Only the bookkeeping's warnings (level 2) are compared.
        setVerbosity(2);
        const std::string chunk = body.chunk();
        ByteReader in(asBytes(chunk));
        MidiReader parser;
        ConsoleCapture fastOut;
        std::optional<Track> track = parser.loadTrack(in, 96);
        const std::string fastText = fastOut.take();

        OracleTrack oracle;
        ConsoleCapture oracleOut;
        for (const Op& op : ops) {
            if (op.kind == 0)
                oracle.addNote(op.time, op.channel, op.key, op.velocity);
            else if (op.kind == 1)
                oracle.setNoteOff(op.time, op.channel, op.key, true);
            else if (op.kind == 2)
                oracle.allNotesOff(op.time, &op.channel);
            else
                oracle.addVolume(op.time, op.channel, op.velocity);
        }
        oracle.allNotesOff(addWrap(time, static_cast<int>(last)), nullptr);
        const std::string oracleText = oracleOut.take();
        setVerbosity(9);

        ASSERT_TRUE(track.has_value());
        ASSERT_EQ(fastText, oracleText) << "round " << round;
        ASSERT_EQ(describe(track->elements()), describe(oracle.elements())) << "round " << round;
        ASSERT_EQ(track->used, oracle.used) << "round " << round;
    }
}

} // namespace
