// The integer quantisation against the computation it replaces: the same
// spans in the native x87 extended format, which has the 64-bit significand
// whose roundings the integer code reproduces. Compiled where long double is
// that format (x86); elsewhere the test reports itself skipped.
#include "arrange/GridSpan.h"

#include <gtest/gtest.h>

#include <cfloat>

#if LDBL_MANT_DIG == 64

#include <climits>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

namespace {

constexpr double plainLimits[] = {2.5, 3.9, 8.1, 9.5, 14.5, 15.9, 20.1, 21.5};
constexpr int plainFractions[] = {0, 3, 6, 9, 12, 15, 18, 21};
constexpr double tripletLimits[] = {2.6, 3.4, 4.6, 7.4, 8.6, 9.4, 14.6, 15.4, 16.6, 19.4, 20.6, 21.4};
constexpr int tripletFractions[] = {0, 3, 4, 6, 8, 9, 12, 15, 16, 18, 20, 21};

// The former quantisation, in long double.
int extendedFraction(int ticks, int division, bool triplets)
{
    const double* limits = triplets ? tripletLimits : plainLimits;
    const int* fractions = triplets ? tripletFractions : plainFractions;
    const int size = triplets ? 12 : 8;
    const long double unit = static_cast<long double>(division) / 24.0L;
    long double x = static_cast<long double>(ticks) / unit;
    const long double highest = limits[size - 1];

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
    for (int i = 0; i < size; ++i) {
        if (x < static_cast<long double>(limits[i])) {
            fraction = fractions[i];
            break;
        }
    }
    return static_cast<int>(static_cast<std::uint32_t>(fraction) +
                            24u * static_cast<std::uint32_t>(static_cast<std::uint64_t>(whole)));
}

// Compares both grids for each span it is given; reports the first few
// differences only, so that a broken build does not flood the log.
class Comparison {
public:
    void check(int ticks, int division)
    {
        for (bool triplets : {false, true}) {
            ++compared;
            const int expected = extendedFraction(ticks, division, triplets);
            const int actual = gridFraction(ticks, division, triplets);
            if (actual != expected && ++failures <= 20)
                ADD_FAILURE() << ticks << " ticks at division " << division << ", triplets " << triplets
                              << ": " << actual << " instead of " << expected;
        }
    }

    // Ticks nearest to the band limits (each limit plus `quarter` whole
    // quarters, in 24ths), and 3 to either side.
    void checkLimits(long long quarter, int division)
    {
        for (const double* limits : {plainLimits, tripletLimits}) {
            const int size = limits == plainLimits ? 8 : 12;
            for (int i = 0; i < size; ++i) {
                const long double exact = (limits[i] + 24.0L * static_cast<long double>(quarter)) *
                                          static_cast<long double>(division) / 24.0L;
                const long long nearest = std::llround(exact);
                for (long long ticks = nearest - 3; ticks <= nearest + 3; ++ticks)
                    if (ticks >= INT_MIN && ticks <= INT_MAX)
                        check(static_cast<int>(ticks), division);
            }
        }
    }

    long long compared = 0;
    int failures = 0;
};

std::vector<int> namedDivisions()
{
    std::vector<int> divisions;
    for (int division = 1; division <= 2000; ++division)
        divisions.push_back(division);
    for (int division : {3840, 32767, 25, 100, 1000})
        divisions.push_back(division);
    return divisions;
}

// Quarters 0, 1, 4, 16, ... up to the last whole quarter that int ticks reach.
std::vector<long long> spreadQuarters(int division)
{
    std::vector<long long> quarters{0};
    const long long last = INT_MAX / division;
    for (long long q = 1; q < last; q *= 4)
        quarters.push_back(q);
    quarters.push_back(last - 1);
    quarters.push_back(last);
    return quarters;
}

TEST(GridSpanOracle, RoundingsAreThoseOfTheExtendedFormat)
{
    // The significand and exponent of a long double, as an Extended.
    const auto split = [](long double value) {
        int exponent = 0;
        const long double fraction = std::frexp(value, &exponent);
        return Extended{static_cast<std::uint64_t>(std::ldexp(fraction, 64)), exponent - 64};
    };
    const auto same = [&](std::uint64_t numerator, std::uint64_t denominator) {
        const Extended expected =
            split(static_cast<long double>(numerator) / static_cast<long double>(denominator));
        const Extended actual = roundedQuotient(numerator, denominator);
        if (actual.significand == expected.significand && actual.exponent == expected.exponent)
            return true;
        ADD_FAILURE() << numerator << " / " << denominator << ": " << actual.significand << " x 2^"
                      << actual.exponent << " instead of " << expected.significand << " x 2^"
                      << expected.exponent;
        return false;
    };
    // Every unit of a 15-bit division, then spans over such units.
    for (std::uint64_t division = 1; division <= 32767; ++division)
        if (!same(division, 24))
            return;
    std::mt19937_64 rng(24);
    for (int i = 0; i < 1000000; ++i) {
        const std::uint64_t unit = roundedQuotient(rng() % 32767 + 1, 24).significand;
        const std::uint64_t ticks = rng() % (std::uint64_t{1} << 31) + 1;
        // And any 64-bit numerator and denominator.
        const std::uint64_t numerator = (rng() >> ((i / 64) % 64)) | 1;
        const std::uint64_t denominator = (rng() >> (i % 64)) | 1;
        if (!same(ticks, unit) || !same(numerator, denominator))
            return;
    }
}

TEST(GridSpanOracle, FirstQuartersAndBandLimitsOfEveryDivision)
{
    Comparison comparison;
    for (int division : namedDivisions()) {
        for (int ticks = 0; ticks < 3 * division; ++ticks)
            comparison.check(ticks, division);
        for (long long quarter : spreadQuarters(division))
            comparison.checkLimits(quarter, division);
    }
    EXPECT_GT(comparison.compared, 12000000);
}

TEST(GridSpanOracle, RandomSpansAndDivisions)
{
    Comparison comparison;
    std::mt19937_64 rng(2024);
    std::uniform_int_distribution<int> anyTicks(INT_MIN, INT_MAX);
    std::uniform_int_distribution<int> anyDivision(1, 32767);
    for (int i = 0; i < 10000000; ++i)
        comparison.check(anyTicks(rng), anyDivision(rng));
    // Band limits at random quarters: where the two roundings decide.
    for (int i = 0; i < 100000; ++i) {
        const int division = anyDivision(rng);
        const auto quarters = static_cast<std::uint64_t>(INT_MAX / division) + 1;
        comparison.checkLimits(static_cast<long long>(rng() % quarters), division);
    }
    EXPECT_GT(comparison.compared, 20000000);
}

TEST(GridSpanOracle, Extremes)
{
    Comparison comparison;
    std::vector<int> divisions;
    for (int division = 1; division <= 32767; ++division)
        divisions.push_back(division);
    // Divisions beyond 15 bits and negative ones, which the computation
    // takes as they come.
    for (int division : {32768, 65535, 1 << 20, 99991, INT_MAX - 1, INT_MAX, -1, -24, -25, -480, -32767, INT_MIN})
        divisions.push_back(division);
    for (int division : divisions)
        for (int ticks : {0, 1, -1, 2, -2, INT_MIN, INT_MIN + 1, INT_MAX, INT_MAX - 1})
            comparison.check(ticks, division);

    // Spans from 2^29 to 2^31 24ths and spans of 2^29 to 2^31 ticks.
    for (int division : {1, 2, 3, 5, 7, 11, 23, 24, 25, 48, 80, 96, 100, 384, 480, 1000, 32767})
        for (int power = 29; power <= 31; ++power)
            for (long long centre : {(1LL << power) * division / 24, 1LL << power})
                for (long long ticks = centre - 100; ticks <= centre + 100; ++ticks)
                    if (ticks <= INT_MAX) {
                        comparison.check(static_cast<int>(ticks), division);
                        comparison.check(static_cast<int>(-ticks), -division);
                    }
}

} // namespace

#else

TEST(GridSpanOracle, NeedsTheNativeExtendedFormat)
{
    GTEST_SKIP() << "long double has " << LDBL_MANT_DIG
                 << " significand bits here; the oracle needs the 64-bit x87 extended format";
}

#endif
