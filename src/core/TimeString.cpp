#include "core/TimeString.h"

#include "core/Message.h"
#include "core/Wrap.h"

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
