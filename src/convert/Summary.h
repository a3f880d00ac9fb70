#pragma once

#include "core/Settings.h"

#include <array>
#include <span>

// What a MIDI file holds before any switch is applied: the overview a front
// end shows beside its controls.
struct MidiSummary {
    // Whether the converter can read the bytes as a MIDI file at all.
    bool readable = false;
    // Notes per channel (index 0 is channel 1), as the file has them.
    std::array<int, channelCount> notes{};
    // The earliest tempo in quarter notes per minute, rounded as the
    // converter rounds it; 0 when the file sets none.
    int firstTempo = 0;
    // Later tempo events that set a tempo other than the one before them.
    int tempoChanges = 0;
};

// Reads the MIDI file `midi` without any report and sums it up.
MidiSummary summarize(std::span<const unsigned char> midi);
