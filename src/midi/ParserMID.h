#pragma once

#include "midi/Track.h"

#include <istream>
#include <memory>
#include <string>

class Song;

// Reads a Standard MIDI File into the song's division and tracks.
class ParserMID {
public:
    bool loadSong(const std::string& fileName, Song* song);
    // Reads one track chunk from the stream's position; none if it is not "MTrk".
    std::unique_ptr<Track> loadTrack(std::istream& in, const Song* song);
};
