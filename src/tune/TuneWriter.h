#pragma once

#include "core/Element.h"
#include "tune/TuneText.h"
#include "tune/TuneEncoder.h"

#include <array>
#include <cstdint>
#include <map>
#include <span>
#include <utility>
#include <vector>

// Writes one channel's elements as tune text: the walk over the elements
// with the state it keeps between them (tempo, octave, volumes, an open
// group, held notes and the tune's clock).
class TuneWriter {
public:
    // A writer for one channel's elements (quantised, in the element order).
    TuneWriter(std::span<const Element> elements, const TuneOptions& options);

    // Appends a record of each note written to `written` (null: none).
    void record(std::vector<WrittenNote>* written) { written_ = written; }
    // Walks all elements; the text and status flags are then complete.
    void write();
    // The text written.
    TuneText& text() { return out_; }
    // The length in 24ths a note of `length` 24ths sounds as written: at
    // least a sixteenth, and at most 9 unless held under long chords.
    static int soundingLength(int length, bool longChords);
    // The status flags gathered.
    TuneStatus status() const { return status_; }

private:
    // Held notes are kept by the clock value at which their time is up,
    // ordered by that and by when they were held: a held note's remaining
    // time is its end minus the clock, 0 once the clock has passed it.
    struct HeldKey {
        std::int64_t end;
        std::uint64_t order;
        bool operator<(const HeldKey& o) const { return end != o.end ? end < o.end : order < o.order; }
    };

    std::span<const Element> elements_;
    TuneOptions options_;
    TuneText out_;
    TuneStatus status_ = TuneStatus::None;
    int tempoState_ = plainTempo;
    int octaveState_ = 1;
    int groupVolume_ = 10;
    int noteVolumeState_ = 10;
    bool inGroup_ = false;
    int previousLength_ = 0;
    std::array<int, 16> channelVolumes_;
    std::int64_t startTime_ = 0; // sums of deltas may pass the int range
    std::map<HeldKey, TuneEncoder::LongNote> held_;
    std::int64_t clock_ = 0;
    std::uint64_t heldCount_ = 0;
    std::vector<std::pair<std::uint64_t, TuneEncoder::LongNote>> ending_;
    std::vector<WrittenNote>* written_ = nullptr;

    void writeTempo(const Element& tempo);
    void writeNote(std::size_t i);
    // The sounding length in sixteenths and whether the note is held.
    int noteSixteenths(const Element& note, bool& isHeld);
    // Distance in sixteenths to the next note after `i`, and whether there is one.
    std::int64_t gapToNext(std::size_t i, bool& hasNext) const;
    void writeGroupNote(int sixteenths, int volume, int octave, int letter, bool isHeld);
    void writeSingleNote(int sixteenths, int volume, int octave, int letter);
    void writeGap(std::int64_t gap, int sixteenths);
    void putOctave(int octave);
    void noteWritten(std::size_t letterAt, int sixteenths, int volume, int octave, int letter, bool isHeld);
    void closeGroup(int sixteenths);
    void endHeld(int rest);
    int smallestRemaining() const;
    void finish();
};
