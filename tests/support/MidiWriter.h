#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

// Builds Standard MIDI File bytes for tests, broken ones included: events in
// delta-time order, raw bytes anywhere, encoded as midi/MidiOut encodes.
namespace midi {

std::string bytes(std::initializer_list<int> values);
std::string be16(std::uint32_t value);
std::string be32(std::uint32_t value);
std::string vlq(std::uint32_t value);

// "MThd", length 6, type, track count, division word.
std::string header(int type, int trackCount, int division);
// "MTrk", the body's length, the body.
std::string chunk(const std::string& body);

// The events of one track body, each appended after its delta time.
class TrackBody {
public:
    TrackBody& noteOn(std::uint32_t delta, int channel, int key, int velocity);
    TrackBody& noteOff(std::uint32_t delta, int channel, int key, int velocity = 64);
    TrackBody& controller(std::uint32_t delta, int channel, int number, int value);
    TrackBody& tempo(std::uint32_t delta, std::uint32_t microsPerQuarter);
    TrackBody& endOfTrack(std::uint32_t delta);
    // Delta time followed by the given raw event bytes.
    TrackBody& event(std::uint32_t delta, const std::string& raw);
    // Raw bytes without a delta time (running status, broken data).
    TrackBody& raw(const std::string& raw);

    const std::string& str() const { return body_; }
    std::string chunk() const { return midi::chunk(body_); }

private:
    std::string body_;
};

// A note of a one-track song: start and length in ticks, key, channel (0-based).
struct SongNote {
    int tick;
    int ticks;
    int pitch;
    int channel = 0;
};

// A one-track song of `notes` at 96 ticks to the quarter, with `meta`
// (raw events with their delta times) at tick 0.
std::string song(const std::vector<SongNote>& notes, const std::string& meta = "");

// Writes `data` to `path` (binary); returns false on failure.
bool writeFile(const std::string& path, const std::string& data);

} // namespace midi
