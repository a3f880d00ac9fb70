#include "arrange/Channel.h"

#include "core/Message.h"
#include "core/Wrap.h"

#include <cmath>
#include <cstdint>
#include <limits>

// Quantisation compares spans computed with a 64-bit significand against
// binary64 band limits; values exactly on a limit depend on that format.
static_assert(std::numeric_limits<long double>::digits == 64,
              "quantisation needs long double with a 64-bit significand (x87 extended)");

namespace {

struct Grid {
    const double* limits; // upper bound (exclusive) of each band, in 24ths
    const int* fractions; // grid value of each band
    int size;
};

constexpr double plainLimits[] = {2.5, 3.9, 8.1, 9.5, 14.5, 15.9, 20.1, 21.5};
constexpr int plainFractions[] = {0, 3, 6, 9, 12, 15, 18, 21};
constexpr double tripletLimits[] = {2.6, 3.4, 4.6, 7.4, 8.6, 9.4, 14.6, 15.4, 16.6, 19.4, 20.6, 21.4};
constexpr int tripletFractions[] = {0, 3, 4, 6, 8, 9, 12, 15, 16, 18, 20, 21};

constexpr Grid plainGrid{plainLimits, plainFractions, 8};
constexpr Grid tripletGrid{tripletLimits, tripletFractions, 12};

} // namespace

int Channel::smoothFindFraction(int ticks, int division, bool triplets)
{
    const Grid& grid = triplets ? tripletGrid : plainGrid;
    const long double unit = static_cast<long double>(division) / 24.0L;
    long double x = static_cast<long double>(ticks) / unit;
    const long double highest = grid.limits[grid.size - 1];

    // Whole quarters: the smallest k >= 1 with x - 24k below the highest
    // limit. Each x - 24k is exact in this format, so the comparisons give
    // the same k as subtracting 24 one quarter at a time.
    std::int64_t whole = 0;
    if (x >= highest) {
        std::int64_t k = static_cast<std::int64_t>(std::floor((x - highest) / 24.0L)) + 1;
        if (k < 1)
            k = 1;
        while (x - 24.0L * static_cast<long double>(k) >= highest)
            ++k;
        while (k > 1 && x - 24.0L * static_cast<long double>(k - 1) < highest)
            --k;
        whole = k;
        x -= 24.0L * static_cast<long double>(whole);
    }

    int fraction = 0;
    for (int i = 0; i < grid.size; ++i) {
        if (x < static_cast<long double>(grid.limits[i])) {
            fraction = grid.fractions[i];
            break;
        }
    }
    // 24 x whole may pass the int range for spans near 2^31 ticks: wrap.
    return static_cast<int>(static_cast<std::uint32_t>(fraction) +
                            24u * static_cast<std::uint32_t>(static_cast<std::uint64_t>(whole)));
}

int Channel::correctLength(int m)
{
    if (m == 0) {
        Msg(Level::Warn, "Warning! Setting note length to 0!\n");
        m = 6;
    }
    if (m % 6 == 0)
        return m;
    if (m % 3 == 0) {
        Msg(Level::Warn, "Warning! 1/32 not yet supported! Increasing to 1/16!\n");
        return addWrap(m, 3);
    }
    if (m % 4 != 0) {
        Msg(Level::Fatal, "BUG! Illegal note length quantization %d!\n", m);
        return 6;
    }
    Msg(Level::Warn, "Warning! Triplets not yet supported! Clamping to nearest 1/16!\n");
    switch (m) {
    case 4:
    case 8:
        return 6;
    case 16:
    case 20:
        return 18;
    default:
        Msg(Level::Fatal, "BUG! Illegal triplet quantization %d!\n", m);
        return m;
    }
}

void Channel::smooth(int division, bool triplets)
{
    int previous = 0;
    for (Element& element : elements) {
        element.delta = smoothFindFraction(subWrap(element.time, previous), division, triplets);
        if (element.isNote())
            element.length = correctLength(smoothFindFraction(element.duration, division, triplets));
        previous = element.time;
    }
}
