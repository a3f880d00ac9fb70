// Track note bookkeeping: placeholders until implemented.
#include "midi/Track.h"

Track::~Track() = default;
void Track::addNote(int, int, int, int) {}
void Track::setNoteOff(int, int, int, bool) {}
Note* Track::findActiveNote(int, int, int) const { return nullptr; }
void Track::allNotesOff(int, int) {}
void Track::allNotesOff(int) {}
void Track::addTempo(int, int, int) {}
void Track::addVolume(int, int, int) {}
void Track::print(int) const {}
