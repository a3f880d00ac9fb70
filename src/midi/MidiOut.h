#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Writes the bytes of a Standard MIDI File: a header and track chunks of
// events placed at absolute ticks. The program's preview, the example and
// benchmark generators and the tests all write MIDI through these.

// Appends `value` as a variable-length quantity: seven bits a byte, most
// significant first, the high bit set on all but the last.
void appendVlq(std::string& out, std::uint32_t value);
// Appends the low `bytes` bytes of `value`, most significant first.
void appendBigEndian(std::string& out, std::uint32_t value, int bytes);

// "MThd" with the file's type, track count and ticks per quarter note.
std::string midiHeader(int type, int trackCount, int division);
// "MTrk", the body's length and the body as given (no end-of-track added).
std::string midiChunk(std::string_view body);

// One track chunk, built event by event in tick order.
class TrackOut {
public:
    // With `runningStatus`, a channel event whose status byte repeats the
    // previous channel event's is written without it; any other event
    // (meta, system exclusive) ends the run.
    explicit TrackOut(bool runningStatus = false) : runningStatus_(runningStatus) {}

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
    bool runningStatus_;
    int status_ = -1; // the status byte in force for running status, or -1

    void delta(std::int64_t ticks);
};
