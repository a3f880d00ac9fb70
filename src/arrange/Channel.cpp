#include "arrange/Channel.h"

#include "arrange/GridSpan.h"
#include "core/ElementCast.h"
#include "core/Message.h"
#include "core/Note.h"
#include "core/Wrap.h"

Channel::~Channel()
{
    while (!elements.empty())
        elements.pop_back();
}

int Channel::smoothFindFraction(int ticks, int division, bool triplets)
{
    return gridFraction(ticks, division, triplets);
}

int Channel::correctLength(int m)
{
    if (m == 0) {
        Msg(3, "Warning! Setting note length to 0!\n");
        m = 6;
    }
    if (m % 6 == 0)
        return m;
    if (m % 3 == 0) {
        Msg(3, "Warning! 1/32 not yet supported! Increasing to 1/16!\n");
        return addWrap(m, 3);
    }
    if (m % 4 != 0) {
        Msg(0, "BUG! Illegal note length quantization %d!\n", m);
        return 6;
    }
    Msg(3, "Warning! Triplets not yet supported! Clamping to nearest 1/16!\n");
    switch (m) {
    case 4:
    case 8:
        return 6;
    case 16:
    case 20:
        return 18;
    default:
        Msg(0, "BUG! Illegal triplet quantization %d!\n", m);
        return m;
    }
}

void Channel::smooth(int division, bool triplets)
{
    int previous = 0;
    for (auto& entry : elements) {
        if (!entry)
            continue;
        entry->delta = smoothFindFraction(subWrap(entry->time, previous), division, triplets);
        if (auto* note = elementCast<Note>(entry.get()))
            note->length = correctLength(smoothFindFraction(note->duration, division, triplets));
        previous = entry->time;
    }
}
