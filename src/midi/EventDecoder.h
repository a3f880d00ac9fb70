#pragma once

#include "core/Message.h"
#include "midi/ByteReader.h"
#include "midi/ChunkReader.h"
#include "midi/Track.h"

#include <array>
#include <cstdint>
#include <string>

// Decodes the events of one track chunk into a track, with the trace lines
// of the verbose levels.
class EventDecoder {
public:
    // Reads from `in`; times its lines with `division` (above 0).
    EventDecoder(ByteReader& in, int division, Track& track)
        : reader(in), division_(division), track_(track), showNotes_(shown(Code::NoteOn))
    {
    }

    // The chunk's bytes.
    ChunkReader reader;
    // Note-ons met per channel.
    std::array<int, 16> channelUse{};

    // Reads one event; an event cut short by the end of input has no effect.
    void readEvent();
    // Reads one event and then more while the chunk's `length` bytes are
    // not all consumed and the input lasts.
    void readEvents(std::uint32_t length);

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
    bool readNotes(std::uint32_t length);
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
