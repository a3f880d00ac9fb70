#pragma once

#include "core/Element.h"
#include "core/Note.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <unordered_map>
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

private:
    // The sounding notes (duration 0) per channel and pitch, in list order,
    // so that a note-off finds its note without walking the whole list. An
    // entry holds the list index and the element it designated; it no longer
    // counts once that entry of the list holds something else (distributed,
    // reset) or the note has ended. Elements appended to the list directly,
    // not through the operations above, are picked up by rebuilding the index
    // when the list's length is not the one it was built for.
    struct Slot {
        std::size_t index;
        const Element* element;
    };
    using Bucket = std::vector<Slot>;
    mutable std::unordered_map<std::uint64_t, Bucket> sounding_;
    mutable std::size_t indexed_ = 0;

    static std::uint64_t key(int channel, int pitch);
    void syncIndex() const;
    Note* slotNote(const Slot& slot) const;
    Note* latestIn(Bucket& slots, int time, int channel, int pitch, std::size_t& place) const;
    // The note findActiveNote answers, with its bucket and place in it.
    Note* findSounding(int time, int channel, int pitch, Bucket*& bucket, std::size_t& place) const;
    void endSounding(Bucket& bucket, std::size_t place, Note& note, int time);
    // Ends the bucket's sounding notes (of `channel` when given) and keeps
    // those still sounding; true when none is left.
    bool endAll(Bucket& bucket, int time, const int* channel);
};
