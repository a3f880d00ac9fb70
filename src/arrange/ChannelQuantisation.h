#pragma once

#include "arrange/Channel.h"

// Sets every element's delta and every note's (corrected) length. With
// `keepInStep` a delta is the difference of the two elements' grid
// positions from tick 0, not the grid value of the gap between them.
void quantise(Channel& channel, int division, bool triplets, bool keepInStep = false);
// Grid value, in 24ths, of a span of `ticks` ticks.
int quantiseTicks(int ticks, int division, bool triplets);
// Turns a quantised length into one the tune notation can write, with warnings.
int correctLength(int m);
