#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Writes the bytes of a Standard MIDI File: a header and track chunks of
// events placed at absolute ticks.

// "MThd" with the file's type, track count and ticks per quarter note.
std::string midiHeader(int type, int trackCount, int division);

// One track chunk, built event by event in tick order.
class TrackOut {
public:
    // Appends the event `bytes` at `tick`; a tick before the last one
    // counts as the last one.
    void event(std::int64_t tick, std::string_view bytes);
    // Appends a meta event of `type` holding `data`.
    void meta(std::int64_t tick, int type, std::string_view data);
    // The whole "MTrk" chunk, ended by an end-of-track event; empty when
    // the body would pass the largest chunk length.
    std::string chunk() const;

private:
    std::string body_;
    std::int64_t last_ = 0;

    void delta(std::int64_t ticks);
};
