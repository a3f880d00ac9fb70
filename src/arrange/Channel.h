#pragma once

#include "core/Element.h"

#include <vector>

// One MIDI channel's elements, owned by the channel, with their order and
// clean-up. Quantisation, the polyphony limit and its chord-ranking variant
// are in ChannelQuantisation, ChannelPolyphony and ChannelChords.
class Channel {
public:
    // Whether the channel has notes to convert.
    bool used = false;
    // The channel's elements; in the element order once sorted.
    std::vector<Element> elements;

    // The element order: by tick time; at equal time tempo, then volume,
    // then notes, longer notes first, then lower pitch first.
    static bool before(const Element& a, const Element& b);
    // Sorts the elements stably into the element order.
    void sort();
    // Appends a copy of `tempo` that belongs to `channel`.
    void copyTempo(const Element& tempo, int channel);
    // Keeps one of the notes of equal folded pitch that start together.
    void eliminateIdentical();
    // The element dump at verbosity 5.
    void print(int division) const;
};
