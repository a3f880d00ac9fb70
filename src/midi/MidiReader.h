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
    // Told now and then, when given, how many bytes from the start of the
    // file are behind the reader for good: a caller that owns the bytes may
    // give their memory back while the rest is read.
    std::function<void(std::size_t)> passed;

    // Reads the file `bytes`, named `fileName` in messages, into `file`;
    // false, with a message, when it is no usable MIDI file.
    bool loadSong(std::span<const unsigned char> bytes, const std::string& fileName, MidiFile& file);
    // Reads one track chunk from the reader's position, timing its messages
    // with `division`; none if the chunk is not "MTrk".
    std::optional<Track> loadTrack(ByteReader& in, int division);

private:
    // Reads the file's first track chunks side by side where it can, from
    // the reader's position; returns how many of the `count` it read (0:
    // none), with the reader after them.
    unsigned loadTracksSideBySide(std::span<const unsigned char> bytes, ByteReader& in, unsigned count, int division,
                                  MidiFile& file);
};
