#pragma once

#include "core/Element.h"

#include <cstddef>
#include <span>

// Moving a channel by whole octaves so that most of its notes fall into the
// range the notation writes, instead of folding each note on its own.

// The move chosen for one channel.
struct OctaveFit {
    int octaves = 0;            // the channel moves by 12 * octaves semitones
    std::size_t outside = 0;    // notes outside the range where they are
    std::size_t outsideMoved = 0; // notes outside the range after the move
};

// The move of -maxOctaveShift..maxOctaveShift octaves that leaves the fewest
// of the notes among `elements`, each moved by `transpose`, outside 48..83
// (48..84 with `upperC`); of equal moves the smallest wins, then the upward.
OctaveFit fitOctaves(std::span<const Element> elements, int transpose, bool upperC);
