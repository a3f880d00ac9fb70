#pragma once

#include "core/Element.h"

#include <vector>

// One MIDI channel's elements, owned by the channel, with quantisation to the
// grid of 24ths, the element order, clean-up and the polyphony limit.
class Channel {
public:
    // Whether the channel has notes to convert.
    bool used = false;
    // The channel's elements; in the element order once sorted.
    std::vector<Element> elements;

    // --- quantisation ---
    // Sets every element's delta and every note's (corrected) length. With
    // `keepInStep` a delta is the difference of the two elements' grid
    // positions from tick 0, not the grid value of the gap between them.
    void quantise(int division, bool triplets, bool keepInStep = false);
    // Grid value, in 24ths, of a span of `ticks` ticks.
    static int quantiseTicks(int ticks, int division, bool triplets);
    // Turns a quantised length into one the tune notation can write, with warnings.
    static int correctLength(int m);

    // --- order, clean-up and polyphony ---
    // The element order: by tick time; at equal time tempo, then volume,
    // then notes, longer notes first, then lower pitch first.
    static bool before(const Element& a, const Element& b);
    // Sorts the elements stably into the element order.
    void sort();
    // The lowest pitch of the channel's notes (127 without notes).
    int findLowest() const;
    // Appends a copy of `tempo` that belongs to `channel`.
    void copyTempo(const Element& tempo, int channel);
    // Keeps one of the notes of equal folded pitch that start together.
    void eliminateIdentical();
    // Cuts or drops notes so that at most `limit` sound at once (0: no
    // limit); returns the highest count of notes sounding together. With
    // `outerVoices` and a limit above 0, the notes that give way are chosen
    // by rank, so that each chord keeps its highest and lowest notes.
    int fixPolyphony(int limit, bool outerVoices = false);
    // The element dump at verbosity 5.
    void print(int division) const;

private:
    // fixPolyphony with `outerVoices`, for a `limit` above 0.
    int keepOuterVoices(int limit);
};
