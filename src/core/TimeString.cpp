#include "core/TimeString.h"

#include "core/WrappingArithmetic.h"

#include <cstdio>

std::string timeString(int value, int unitsPerQuarter)
{
    const int q = divWrap(value, unitsPerQuarter);
    const int r = (unitsPerQuarter == -1) ? 0 : value % unitsPerQuarter;
    char buffer[64];
    if (r == 0) {
        std::snprintf(buffer, sizeof buffer, "%3d    ", q);
    } else {
        const int common = euclidGcd(unitsPerQuarter, r);
        if (q == 0)
            std::snprintf(buffer, sizeof buffer, "%d/%d", divWrap(r, common), divWrap(unitsPerQuarter, common));
        else
            std::snprintf(buffer, sizeof buffer, "%3d+%d/%d", q, divWrap(r, common), divWrap(unitsPerQuarter, common));
    }
    return buffer;
}

int euclidGcd(int a, int b)
{
    while (b != 0) {
        // INT_MIN % -1 is undefined in C++ although its value is 0.
        int r = (b == -1) ? 0 : a % b;
        a = b;
        b = r;
    }
    return a;
}
