#pragma once

#include "core/Element.h"
#include "core/WrappingArithmetic.h"

#include <array>
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
// note-offs: a note sounds while its duration is 0. The list changes only
// through the operations below, which keep the index of sounding notes in
// step with it.
class Track {
public:
    // Whether the track holds any note.
    bool used = false;
    // The time-signature events, in file order (they count bars in reports).
    std::vector<TimeSignature> timeSignatures;

    // The elements in the order the file gives them.
    const std::vector<Element>& elements() const { return elements_; }
    // Hands the elements over and leaves the track without any.
    std::vector<Element> takeElements();
    // Makes room for `count` elements in all.
    void reserve(std::size_t count) { elements_.reserve(count); }
    // How many of the elements are tempo changes.
    std::size_t tempoCount() const { return tempoCount_; }
    // Per channel 0..15, how many of the elements that are not tempo changes
    // belong to it (the ones of other channels come only from direct callers).
    const std::array<std::size_t, 16>& channelCounts() const { return channelCounts_; }

    // A note-on; velocity 0 ends the sounding note of that pitch instead.
    void addNote(int time, int channel, int pitch, int velocity);
    // Ends the sounding note of that pitch; `report` warns when there is none.
    void setNoteOff(int time, int channel, int pitch, bool report);
    // addNote and setNoteOff for the channels and keys a file can give
    // (0..15, 0..255), which the caller has made sure of. The usual cases (a
    // key struck while silent, a key's one note ended after its start) are
    // done inline, for the millions of notes of a large file.
    void addFileNote(int time, int channel, int key, int velocity);
    void endFileNote(int time, int channel, int key, bool report);
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
    std::vector<Element> elements_;
    std::size_t tempoCount_ = 0;
    std::array<std::size_t, 16> channelCounts_{};
    // The sounding notes (duration 0) per channel and pitch, as list indices
    // in list order, so that a note-off finds its note without walking the
    // whole list. The channels and keys a file can give (0..15, 0..255) have
    // a slot each in a flat table, made with the first note. Most slots hold
    // at most one sounding note at a time, which the slot keeps itself; the
    // older ones (a note ended on its own start tick, or one begun after the
    // time of a later one) wait in a spill list of the slot. Any other pair
    // (only from direct callers) goes to a map of buckets.
    static constexpr int tableChannels = 16;
    static constexpr int tableKeys = 256;
    struct Slot {
        std::size_t latest = 0;  // 1 + list index of the latest sounding note; 0 for none
        std::uint32_t spill = 0; // 1 + index in spills_ of the older ones; 0 for none yet
    };
    // The older sounding notes of a slot, as 1 + list index in list order;
    // empty whenever the slot holds no note itself.
    using Spill = std::vector<std::size_t>;
    std::vector<Slot> table_;
    std::vector<Spill> spills_;
    using Bucket = std::vector<std::size_t>;
    std::unordered_map<std::uint64_t, Bucket> others_;

    Slot& slotFor(int channel, int key);
    // addFileNote (velocity above 0) and endFileNote in every case.
    void addSlotNote(int time, int channel, int key, int velocity);
    void endSlotNote(int time, int channel, int key, bool report);
    // The latest sounding note of the slot begun by `time`, or null; `held`
    // is where the slot keeps its index.
    Element* soundingIn(Slot& slot, int time, std::size_t*& held);
    // Ends that note of the slot, which keeps it only while it still sounds.
    void endIn(Slot& slot, std::size_t* held, Element& note, int time);
    // The slot's note leaves it; the latest of the spill list takes its place.
    void dropLatest(Slot& slot);
    // Ends the slot's sounding notes and keeps those still sounding.
    void endSlot(Slot& slot, int time);

    // The bucket of that channel and pitch, made when missing.
    Bucket& bucketFor(int channel, int pitch);
    // The bucket of that channel and pitch, or null when there is none.
    Bucket* findBucket(int channel, int pitch);
    static std::uint64_t key(int channel, int pitch);
    Element* slotNote(std::size_t index);
    Element* latestIn(Bucket& slots, int time, int channel, int pitch, std::size_t& place);
    // The note findActiveNote answers for a pair outside the table, with its
    // bucket and place in it.
    Element* findSounding(int time, int channel, int pitch, Bucket*& bucket, std::size_t& place);
    void endSounding(Bucket& bucket, std::size_t place, Element& note, int time);
    void addOtherNote(int time, int channel, int pitch, int velocity);
    void endOtherNote(int time, int channel, int pitch, bool report);
    // Ends the bucket's sounding notes (of `channel` when given) and keeps
    // those still sounding; true when none is left.
    bool endAll(std::uint64_t bucketKey, Bucket& bucket, int time, const int* channel);
    // Appends an element that is not a note (the index has no entries for them).
    void append(const Element& element);
    // Counts an element just appended.
    void count(const Element& element);
};

inline void Track::addFileNote(int time, int channel, int key, int velocity)
{
    // A note-on with velocity 0 is the usual form of a note-off.
    if (velocity == 0) {
        endFileNote(time, channel, key, true);
        return;
    }
    if (!table_.empty()) {
        Slot& slot = table_[static_cast<unsigned>(channel) * tableKeys + static_cast<unsigned>(key)];
        if (slot.latest == 0) {
            slot.latest = elements_.size() + 1;
            elements_.emplace_back(ElementKind::Note, time, channel, key, velocity);
            ++channelCounts_[static_cast<std::size_t>(channel)];
            used = true;
            return;
        }
    }
    addSlotNote(time, channel, key, velocity);
}

inline void Track::endFileNote(int time, int channel, int key, bool report)
{
    if (report && !table_.empty()) {
        Slot& slot = table_[static_cast<unsigned>(channel) * tableKeys + static_cast<unsigned>(key)];
        if (slot.latest != 0 && slot.spill == 0) {
            Element& note = elements_[slot.latest - 1];
            // Begun before `time`: the note ends with a duration other than 0.
            if (note.time < time) {
                note.duration = subWrap(time, note.time);
                slot.latest = 0;
                return;
            }
        }
    }
    endSlotNote(time, channel, key, report);
}
