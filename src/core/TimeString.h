#pragma once

#include <string>

// Text form of a count `value` of units, `unitsPerQuarter` to the quarter
// note: whole quarters as "%3d    ", a bare reduced fraction "%d/%d" below
// one quarter, "%3d+%d/%d" otherwise. `unitsPerQuarter` must be above 0.
std::string timeString(int value, int unitsPerQuarter);
