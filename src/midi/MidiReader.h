#pragma once

#include "midi/ByteReader.h"
#include "midi/Track.h"

#include <cstddef>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

// What a MIDI file holds for the converter: its ticks per quarter note and
// its track chunks.
struct MidiFile {
    int division = 240;        // ticks per quarter note
    std::vector<Track> tracks; // the track chunks read, in file order
};

// Reads a Standard MIDI File from memory.
class MidiReader {
public:
    // Reads the file `bytes`, named `fileName` in messages, into `file`;
    // false, with a message, when it is no usable MIDI file.
    bool loadSong(std::span<const unsigned char> bytes, const std::string& fileName, MidiFile& file);
    // Reads one track chunk from the reader's position, timing its messages
    // with `division`; none if the chunk is not "MTrk".
    std::optional<Track> loadTrack(ByteReader& in, int division);

};
