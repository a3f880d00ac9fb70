#include "core/Element.h"

#include "core/Message.h"
#include "core/TimeString.h"
#include "core/Wrap.h"

Element::Element(int time, int channel) : time(time), delta(0), channel(channel) {}

void Element::print(int division) const
{
    Msg(5, "Time %s", timeString(time, division).c_str());
    // Distances that make no whole tick at this division are not shown.
    if (mulWrap(delta, division) / 24 != 0)
        MsgSilent(5, " (%s)", timeString(delta, 24).c_str());
    MsgSilent(5, "Channel %d: ", addWrap(channel, 1));
}
