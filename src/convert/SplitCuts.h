#pragma once

#include "convert/Bars.h"
#include "tune/TuneEncoder.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <limits>
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


    // Walks the lane forward through places, in order.
    class Cursor {
    public:
        explicit Cursor(const Lane& lane) : lane_(&lane) {}
        // Moves to `place`; a place before the last one starts over.
        void moveTo(std::int64_t place)
        {
            if (place < place_)
                note_ = begun_ = ended_ = 0;
            place_ = place;
            while (note_ < lane_->starts.size() && lane_->starts[note_] < place)
                ++note_;
            while (begun_ < lane_->spanStarts.size() && lane_->spanStarts[begun_] < place)
                ++begun_;
            while (ended_ < lane_->spanEnds.size() && lane_->spanEnds[ended_] <= place)
                ++ended_;
        }
        // Characters the whole tune spent before its first note at or after the place.
        std::size_t chars() const { return note_ < lane_->letters.size() ? lane_->letters[note_] : lane_->textSize; }
        // Notes sounding across the place.
        std::int64_t across() const { return static_cast<std::int64_t>(begun_) - static_cast<std::int64_t>(ended_); }

    private:
        const Lane* lane_;
        std::int64_t place_ = std::numeric_limits<std::int64_t>::min();
        std::size_t note_ = 0, begun_ = 0, ended_ = 0;
    };
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
