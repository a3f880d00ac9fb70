#pragma once

#include "core/Message.h"
#include "midi/ByteReader.h"
#include "midi/Track.h"

#include <array>
#include <cstdint>
#include <string>

// The body of one track chunk, read byte by byte with the count of the
// body bytes consumed so far.
class ChunkReader {
public:
    // Reads the chunk body from `in`'s position.
    explicit ChunkReader(ByteReader& in) : in_(in) {}

    // Body bytes read so far.
    std::uint32_t consumed = 0;

    // True when no further byte can be read.
    bool atEnd() { return in_.atEnd(); }
    // One byte (0..255), or false at the end of input.
    bool byte(int& value);
    // Puts the byte just read back, to be read again.
    void stepBack();
    // The next `count` bytes in place when that many remain, else null.
    const unsigned char* ahead(std::size_t count) const { return in_.ahead(count); }
    // Passes over `count` bytes that `ahead` showed.
    void advance(std::uint32_t count)
    {
        in_.advance(count);
        consumed += count;
    }
    // Variable-length quantity, accumulated modulo 2^32.
    bool vlq(std::uint32_t& value);
    // Passes over `count` bytes, or as many as the input still holds; true
    // when all of them were there.
    bool skip(std::uint32_t count);
    // Reads `count` bytes of text, keeping what stands before the first zero
    // byte; true when all of them were there.
    bool text(std::uint32_t count, std::string& out);

private:
    ByteReader& in_;

    std::size_t takeInto(unsigned char* out, std::size_t want);
};

// Decodes the events of one track chunk into a track, with the trace lines
// of the verbose levels.
class EventDecoder {
public:
    // Reads from `in`; times its lines with `division` (above 0).
    EventDecoder(ByteReader& in, int division, Track& track)
        : reader(in), division_(division), track_(track), showNotes_(shown(Level::Notice))
    {
    }

    // The chunk's bytes.
    ChunkReader reader;
    // Note-ons met per channel.
    std::array<int, 16> channelUse{};

    // Reads one event; an event cut short by the end of input has no effect.
    void readEvent();

private:
    int division_;
    Track& track_;
    // Whether the lines of every note-on are shown (verbosity 6 and above):
    // asked once, not for each of a million notes.
    bool showNotes_;
    int time_ = 0;
    int runningStatus_ = 0;
    std::string ts_;
    bool tsValid_ = false;

    const char* ts();
    bool readNoteDirect();
    void channelEvent(int status);
    void noteOff(int channel);
    void noteOn(int channel);
    void endNote(int channel, int key, int velocity);
    void startNote(int channel, int key, int velocity);
    void controller(int channel);
    void system(int status);
    bool fixedLength(int expected);
    void meta();
    void textEvent(int type);
    void endOfTrack();
    void tempo();
    void timeSignature();
    void keySignature();
};
