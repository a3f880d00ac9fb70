#include "arrange/Channel.h"

#include "arrange/GridSpan.h"
#include "core/Message.h"
#include "core/Wrap.h"

int Channel::smoothFindFraction(int ticks, int division, bool triplets)
{
    return gridFraction(ticks, division, triplets);
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
