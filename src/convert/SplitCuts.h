#pragma once

#include "convert/Bars.h"
#include "tune/TuneEncoder.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

// Where a split song is cut: the places a cut may fall (bar lines and
// beats), a measure of each channel's tune, and the choice among them.

// A sixteenth in grid units (24ths of a quarter): cuts fall on sixteenths,
// so that the rests that pad a piece are exact.
inline constexpr std::int64_t sixteenth = 6;
// Characters of a piece beyond its notes: the restated tempo, volume and
// octave and the padding rest; a restarted note costs a few more.
inline constexpr std::int64_t pieceOverhead = 16;
inline constexpr std::int64_t restartCost = 6;

// A channel's written notes on the grid, with the characters the whole
// tune spent up to each of them.
struct Lane {
    int channel = 0;
    std::vector<std::int64_t> at;     // per element: grid position
    std::vector<std::int64_t> starts; // per written note, in element order
    std::vector<std::size_t> letters; // per written note: letter offset in the whole tune
    std::vector<std::int64_t> spanStarts; // written notes: starts, sorted
    std::vector<std::int64_t> spanEnds;   // and where they stop sounding as written, sorted
    std::size_t textSize = 0;
    std::int64_t end = 0; // where its last written note ends

    // Notes sounding across `place`.
    std::int64_t across(std::int64_t place) const
    {
        const auto begun = std::lower_bound(spanStarts.begin(), spanStarts.end(), place) - spanStarts.begin();
        const auto ended = std::upper_bound(spanEnds.begin(), spanEnds.end(), place) - spanEnds.begin();
        return begun - ended;
    }
    // Characters the whole tune spent before its first note at or after `place`.
    std::int64_t charsBefore(std::int64_t place) const
    {
        const auto i = std::lower_bound(starts.begin(), starts.end(), place) - starts.begin();
        return static_cast<std::int64_t>(static_cast<std::size_t>(i) < letters.size() ? letters[i] : textSize);
    }
    // What the estimate of a piece needs of its start `at`, worked out once
    // for the many ends a piece from there is weighed with.
    struct Start {
        std::int64_t at;
        bool ended;            // the channel's notes are over by then
        std::int64_t chars;    // charsBefore(at)
        std::int64_t restarts; // the cost of the notes sounding across it
    };
    Start startAt(std::int64_t at) const { return Start{at, end <= at, charsBefore(at), restartCost * across(at)}; }
    // The characters a piece from `start` to `b` of this channel is guessed to take.
    std::int64_t estimate(const Start& start, std::int64_t b) const
    {
        if (start.ended)
            return 0;
        const std::int64_t rests = (b - start.at) / sixteenth / 8 * 2 + 3;
        return std::max(charsBefore(b) - start.chars, rests) + pieceOverhead + start.restarts;
    }
    // The characters a piece [a, b) of this channel is guessed to take.
    std::int64_t estimate(std::int64_t a, std::int64_t b) const { return estimate(startAt(a), b); }
};

// A place a cut may fall: a bar line or a beat, and the notes across it.
struct Place {
    std::int64_t at;
    bool bar;
    std::int64_t across;
};

// The whole tune of channel `channel` (0-based), written silently, as the
// measure of its pieces.
Lane makeLane(const std::vector<Element>& elements, int channel, const TuneOptions& options);

// The places a cut may fall, from the start to `end` (both included), with
// the notes of `lanes` sounding across each.
std::vector<Place> cutPlaces(const std::vector<Lane>& lanes, const Bars& bars, int division, std::int64_t end);

// Indices of the places in `nodes` where pieces start (the first is 0):
// at bar lines wherever a bar fits, then as few pieces as fit `budget`
// characters, then fewest notes across the cuts, then the most even pieces.
std::vector<std::size_t> chooseCuts(const std::vector<Lane>& lanes, std::vector<Place> nodes, std::int64_t budget);
