#pragma once

#include "tune/TuneReader.h"

#include <cstdint>
#include <string>
#include <vector>

// A Standard MIDI File that plays read tunes as the game would, so that a
// player can hear a macro before pasting it.

// Ticks per quarter note of a preview; at its fixed tempo of 120, a
// sixteenth at the tune's tempo T lasts 28800 / T ticks.
inline constexpr int previewDivision = 960;

// A preview file and what the listener should know about it.
struct Preview {
    // The file's bytes; empty when the tunes are too long for a MIDI file.
    std::string midi;
    // Remarks, one line each (without line end).
    std::vector<std::string> remarks;
};

// The time of a tune's clock under its tempo marks (120 before the first),
// in exact ticks of a preview.
class TuneClock {
public:
    explicit TuneClock(const std::vector<TempoMark>& marks);
    // Ticks from the start of the tune to `clock`, unrounded. Binary64, the
    // same on every platform: 28800 / bpm has an odd denominator for every
    // tempo of 60..180, so no exact time lies half-way between two ticks.
    double ticks(std::int64_t clock) const;
    // Seconds from the start of the tune to `clock` (a preview plays 1920
    // ticks a second).
    double seconds(std::int64_t clock) const;

private:
    struct Segment {
        std::int64_t clock;
        double ticks;      // at `clock`
        double seconds;    // at `clock`
        int bpm;           // from `clock` on
    };
    std::vector<Segment> segments_;
    mutable std::size_t last_ = 0; // the segment of the last answer (a hint)

    const Segment* segmentAt(std::int64_t clock) const;
};

// Ticks from the start of `tune` to `clock` under its tempo marks, rounded
// to the nearest tick.
std::int64_t previewTicks(const PlayedTune& tune, std::int64_t clock);

// The MIDI velocity of a note of `volume` (1..10): round(127 x volume / 10).
inline int previewVelocity(int volume)
{
    return (127 * volume + 5) / 10;
}

// Type 1, division 960. Track 0 holds only tempo 120 and 4/4; then one
// track per tune, named "Channel N", with program 0, on MIDI channel N (a
// tune of channel 10 on the lowest channel no tune uses, since players
// sound 10 as drums). Each tune is timed by its own tempo marks; velocity
// is round(127 x volume / 10); at one tick note-offs come first; stuck
// notes end where their tune ends; notes of no length are left out.
Preview makePreview(const TuneRead& read);
