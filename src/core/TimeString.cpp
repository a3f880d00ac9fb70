#include "core/TimeString.h"

#include "core/ConsoleFormat.h"
#include "core/WrappingArithmetic.h"

std::string timeString(int value, int unitsPerQuarter)
{
    const int q = divWrap(value, unitsPerQuarter);
    const int r = (unitsPerQuarter == -1) ? 0 : value % unitsPerQuarter;
    if (r == 0)
        return formatted("%3d    ", q);
    const int common = euclidGcd(unitsPerQuarter, r);
    if (q == 0)
        return formatted("%d/%d", divWrap(r, common), divWrap(unitsPerQuarter, common));
    return formatted("%3d+%d/%d", q, divWrap(r, common), divWrap(unitsPerQuarter, common));
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
