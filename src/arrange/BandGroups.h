#pragma once

#include "arrange/Band.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

// The players of a band: its channels, ordered by register, cut into runs
// of neighbouring voices.

// A channel of the band at its place in the register: the median of its
// keys after its move, and how many notes it has.
struct Voice {
    int channel;
    std::int64_t median;
    std::uint64_t notes;
};

// The channels with notes (0-based) with their moves in whole octaves,
// ordered by register, then by number.
std::vector<Voice> registerOrder(const std::array<std::vector<BandNote>, channelCount>& notes,
                                 const std::array<int, channelCount>& moves);

// Of every way to cut `voices` into `groups` runs, the one whose runs span
// the fewest semitones in all, then the one whose largest run has the
// fewest notes: where each run ends.
std::vector<std::size_t> bestCut(const std::vector<Voice>& voices, std::size_t groups);

// The channels of the band cut by register into `players` players, in the
// order of their lowest channel.
std::vector<Player> groupByRegister(const std::array<std::vector<BandNote>, channelCount>& notes,
                                    const std::array<int, channelCount>& moves, int players);
