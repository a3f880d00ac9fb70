#pragma once

#include "core/Element.h"

#include <memory>
#include <vector>

class Tempo;

// One MIDI channel's elements, owned by the channel, with quantisation to the
// grid of 24ths, the element order, clean-up and the polyphony limit.
class Channel {
public:
    Channel() = default;
    ~Channel();
    Channel(const Channel&) = delete;
    Channel& operator=(const Channel&) = delete;

    bool used = false;
    std::vector<std::unique_ptr<Element>> elements;

    // --- quantisation ---
    // Sets every element's delta and every note's (corrected) length.
    void smooth(int division, bool triplets);
    // Grid value, in 24ths, of a span of `ticks` ticks.
    static int smoothFindFraction(int ticks, int division, bool triplets);
    // Turns a quantised length into one the tune notation can write, with warnings.
    static int correctLength(int m);

    // --- order, clean-up and polyphony ---
    // qsort-style ordering of two entries (pointers to `const Element*`).
    static int compare(const void* a, const void* b);
    void sort();
    int findLowest() const;
    void copyTempo(const Tempo* tempo, int channel);
    void eliminateIdentical();
    int fixPolyphony(int limit);
    void print(int division) const;
};
