#pragma once

#include "core/Element.h"
#include "core/Note.h"

#include <memory>
#include <vector>

// One track chunk's elements in file order, and the pairing of note-ons with
// note-offs: a note sounds while its duration is 0.
class Track {
public:
    Track() = default;
    ~Track();
    Track(const Track&) = delete;
    Track& operator=(const Track&) = delete;

    bool used = false;
    // Entries distributed to the channels by the song are left empty (null).
    std::vector<std::unique_ptr<Element>> elements;

    void addNote(int time, int channel, int pitch, int velocity);
    void setNoteOff(int time, int channel, int pitch, bool report);
    Note* findActiveNote(int time, int channel, int pitch) const;
    void allNotesOff(int time, int channel);
    void allNotesOff(int time);
    void addTempo(int time, int channel, int bpm);
    void addVolume(int time, int channel, int volume);
    void print(int division) const;
};
