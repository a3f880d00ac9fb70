#pragma once

#include <cstdint>

// Quantisation of one span of ticks to the grid of 24ths, the same on every
// platform.
//
// The decisions are those of a computation in binary floating point with a
// 64-bit significand (the x87 extended format): the unit division / 24 and
// the span ticks / unit are each rounded to that format, to nearest with ties
// to even, and the span is then compared with band limits that are binary64
// values. The two roundings are reproduced bit for bit in integer
// arithmetic; a span that binary64 puts clearly inside a band, far from
// every limit, is decided without them.

// Grid value, in 24ths, of a span of `ticks` ticks at `division` ticks per
// quarter; wraps modulo 2^32 for spans of more than 2^31 24ths. Negative spans
// give 0, and so does a division of 0.
int gridFraction(int ticks, int division, bool triplets);

// The same grid value without the wrap: whole quarters counted in 64 bits
// (at most 2^36 24ths), for positions measured from tick 0.
std::int64_t gridPosition(int ticks, int division, bool triplets);

// A positive value significand x 2^exponent, the significand in [2^63, 2^64):
// a number in the 64-bit significand format.
struct Extended {
    std::uint64_t significand;
    int exponent;
};

// numerator / denominator (both at least 1) rounded to a 64-bit significand,
// to nearest with ties to even.
Extended roundedQuotient(std::uint64_t numerator, std::uint64_t denominator);

namespace wide {

// An unsigned 128-bit value in two halves.
struct U128 {
    std::uint64_t hi;
    std::uint64_t lo;
};

// n / d and its remainder, for n.hi < d (the quotient fits 64 bits). Uses the
// compiler's 128-bit integers where it has them, unless the build asks for
// the portable division (MIDI2VARN_PORTABLE_WIDE).
std::uint64_t divide(U128 n, std::uint64_t d, std::uint64_t& remainder);

// The same with 64-bit arithmetic only, by 32-bit digits.
std::uint64_t dividePortable(U128 n, std::uint64_t d, std::uint64_t& remainder);

// True when divide is dividePortable in this build.
bool dividesPortably();

} // namespace wide
