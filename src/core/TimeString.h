#pragma once

#include <string>

// Text form of a count `value` of units, `unitsPerQuarter` to the quarter
// note: whole quarters as "%3d    ", a bare reduced fraction "%d/%d" below
// one quarter, "%3d+%d/%d" otherwise. `unitsPerQuarter` must be above 0.
std::string timeString(int value, int unitsPerQuarter);

// Greatest common divisor by Euclid's method (remainders truncated toward
// zero). Unlike std::gcd it keeps the sign Euclid gives for negative operands,
// which the printed fractions of wrapped times show, and it is defined for
// INT_MIN.
int euclidGcd(int a, int b);
