#pragma once

#include "core/Settings.h"

#include <array>
#include <cstdint>
#include <vector>

// Arranging a song for a band of a few players: every channel moved by
// whole octaves into the range the notation writes, the voices kept in
// their order, and the channels grouped by register into the players.

// The most players a band may have.
inline constexpr int maxPlayers = channelCount;

// MIDI key numbers run from 0 to midiKeys - 1.
inline constexpr int midiKeys = 128;

// One note as the arrangement weighs it: when it sounds, in ticks, and its
// MIDI key.
struct BandNote {
    std::int64_t start = 0;
    std::int64_t end = 0;
    int pitch = 0;
};

// One player: the channels (0-based, ascending) merged into its tune.
struct Player {
    std::vector<int> channels;
};

// The arrangement: the players in the order of their lowest channel, each
// channel's move, and the counts it was judged by.
struct BandPlan {
    std::vector<Player> players;
    // Per channel, the whole octaves its notes move (0 outside the band).
    std::array<int, channelCount> octaves{};
    // Per channel, the index of its player, or -1 outside the band.
    std::array<int, channelCount> playerOf = [] {
        std::array<int, channelCount> none{};
        none.fill(-1);
        return none;
    }();
    // Notes of the band, and those that sound in the range where they are
    // after their channel's move.
    std::uint64_t notes = 0;
    std::uint64_t inPlace = 0;
    // Pairs of notes of two channels sounding together at different pitches,
    // and those whose lower note still sounds lower as played.
    std::uint64_t pairs = 0;
    std::uint64_t pairsInOrder = 0;
};

// The pitch a note is played at: the notation folds a pitch outside its
// range into the nearest octave of the range, keeping its letter.
int playedPitch(int pitch, bool upperC);

// The share of an arrangement's counts that the search maximises: notes in
// place and pairs in order, each as a share of its total, weighed equally
// (an empty total counts as whole).
double bandScore(std::uint64_t inPlace, std::uint64_t notes, std::uint64_t inOrder, std::uint64_t pairs);

// Arranges the channels with notes among `notes` (0-based; an empty list is
// no part of the band) for `players` players (1..maxPlayers), each key
// moved by `transpose` semitones before the octaves.
BandPlan arrangeBand(const std::array<std::vector<BandNote>, channelCount>& notes, int players, int transpose,
                     bool upperC);

// The counts of the moves `octaves` over `notes`, as arrangeBand counts its
// own (no players): for weighing other moves against a plan's.
BandPlan countMoves(const std::array<std::vector<BandNote>, channelCount>& notes,
                    const std::array<int, channelCount>& octaves, int transpose, bool upperC);
