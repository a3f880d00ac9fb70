// MIDI reader: placeholder until implemented.
#include "midi/ParserMID.h"

#include "arrange/Song.h"

bool ParserMID::loadSong(const std::string&, Song*) { return false; }
std::unique_ptr<Track> ParserMID::loadTrack(std::istream&, const Song*) { return nullptr; }
