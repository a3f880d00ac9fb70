#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// Amounts of time and notes as the departure report writes them.

// a / b rounded towards minus infinity (b > 0).
std::int64_t floorDivide(std::int64_t a, std::int64_t b);

// An amount of 24ths of a quarter as sixteenths: "0", "+3", "-1/2", "+5/3"
// (without `sign`, only a minus is written).
std::string sixteenths(std::int64_t twentyFourths, bool sign = true);

// An amount of 24ths of a quarter as a note value, without its sign: "1/32",
// "3/16", "a whole note", "2 whole notes and 1/8".
std::string noteValue(std::int64_t twentyFourths);

// The names of the twelve pitches of an octave, from C.
inline constexpr std::array<std::string_view, 12> pitchClassNames = {"C",  "C#", "D",  "D#", "E",  "F",
                                                                     "F#", "G",  "G#", "A",  "A#", "B"};

// A MIDI key number as a note name: "C4" is 60, "C#4" 61.
std::string noteName(int pitch);

// A count with its thousands grouped: "2,431".
std::string grouped(std::size_t count);
