#pragma once

#include "core/Element.h"

#include <cstddef>
#include <cstdint>
#include <unordered_map>
#include <vector>

// A time-signature event: from `tick` on, bars of `numerator` beats of a
// 1/`denominator` note (as the file gives them, unchecked).
struct TimeSignature {
    int tick;        // where it takes effect
    int numerator;   // beats to the bar
    int denominator; // the beat's note value (4: a quarter)
};

// One track chunk's elements in file order, and the pairing of note-ons with
// note-offs: a note sounds while its duration is 0.
class Track {
public:
    // Whether the track holds any note.
    bool used = false;
    // The elements in the order the file gives them.
    std::vector<Element> elements;
    // The time-signature events, in file order (they count bars in reports).
    std::vector<TimeSignature> timeSignatures;

    // A note-on; velocity 0 ends the sounding note of that pitch instead.
    void addNote(int time, int channel, int pitch, int velocity);
    // Ends the sounding note of that pitch; `report` warns when there is none.
    void setNoteOff(int time, int channel, int pitch, bool report);
    // The latest sounding note of that channel and pitch begun by `time`, or null.
    Element* findActiveNote(int time, int channel, int pitch);
    // Ends every sounding note of `channel`.
    void allNotesOff(int time, int channel);
    // Ends every sounding note.
    void allNotesOff(int time);
    // Appends a tempo change.
    void addTempo(int time, int channel, int bpm);
    // Appends a change of channel volume.
    void addVolume(int time, int channel, int volume);
    // The dump of every element at verbosity 5.
    void print(int division) const;

private:
    // The sounding notes (duration 0) per channel and pitch, as list indices
    // in list order, so that a note-off finds its note without walking the
    // whole list. An index no longer counts once its entry is not a sounding
    // note of that key. Elements appended to the list directly, not through
    // the operations above, are picked up by rebuilding the index when the
    // list's length is not the one it was built for. The channels and keys a
    // file can give (0..15, 0..255) have a bucket each in a flat table; any
    // other pair (only from direct callers) goes to a map.
    using Bucket = std::vector<std::size_t>;
    static constexpr int tableChannels = 16;
    static constexpr int tableKeys = 256;
    std::vector<Bucket> table_;
    std::unordered_map<std::uint64_t, Bucket> others_;
    std::size_t indexed_ = 0;

    // The bucket of that channel and pitch, made when missing.
    Bucket& bucketFor(int channel, int pitch);
    // The bucket of that channel and pitch, or null when there is none.
    Bucket* findBucket(int channel, int pitch);
    void clearIndex();
    static std::uint64_t key(int channel, int pitch);
    void syncIndex();
    Element* slotNote(std::size_t index);
    Element* latestIn(Bucket& slots, int time, int channel, int pitch, std::size_t& place);
    // The note findActiveNote answers, with its bucket and place in it.
    Element* findSounding(int time, int channel, int pitch, Bucket*& bucket, std::size_t& place);
    void endSounding(Bucket& bucket, std::size_t place, Element& note, int time);
    // Ends the bucket's sounding notes (of `channel` when given) and keeps
    // those still sounding; true when none is left.
    bool endAll(std::uint64_t bucketKey, Bucket& bucket, int time, const int* channel);
    // Appends an element that is not a note, keeping the index in step.
    void append(const Element& element);
};
