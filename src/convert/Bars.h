#pragma once

#include "midi/Track.h"

#include <cstdint>
#include <string>
#include <vector>

// Bars and beats of a MIDI file, counted from its time signatures (4/4
// until the first one). Positions are given in 24ths of a tick, so that
// ticks (x 24) and sixteenths of the tune (x 6 x division) are both exact.
class Bars {
public:
    // A stretch of bars of one time signature.
    struct Metre {
        std::int64_t start;    // position where it begins (a bar line)
        std::int64_t firstBar; // 0-based number of its first bar
        int numerator;         // beats to the bar
        int denominator;       // the beat's note value
    };

    Bars(int division, std::vector<TimeSignature> signatures);

    // The stretches in order, the first at position 0 (4/4 until the first
    // usable signature); a bar lasts numerator x 96 x division / denominator.
    const std::vector<Metre>& metres() const { return segments_; }

    // "BAR:BEAT", or "BAR:BEAT+N/D" with the fraction of the beat rounded
    // to 24ths of a beat; bars and beats count from 1.
    std::string place(std::int64_t position) const;
    // Whether `sixteenths` (either sign) last a bar or more at `position`.
    bool barOrMore(std::int64_t position, std::int64_t sixteenths) const;

private:
    using Segment = Metre;
    int division_;
    std::vector<Segment> segments_;

    const Segment& segmentAt(std::int64_t position) const;
    // 24ths of a beat from the segment's start to `position`.
    std::int64_t subBeats(const Segment& s, std::int64_t position) const;
};
