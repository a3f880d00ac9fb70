#include "core/Note.h"

#include "core/Message.h"
#include "core/TimeString.h"

Note::Note(int time, int channel, int pitch, int velocity)
    : Element(time, channel), pitch(pitch), velocity(velocity), duration(0), length(0)
{
}

void Note::print(int division) const
{
    Element::print(division);
    MsgSilent(5, "Note %d, Velocity %d, Duration %s ", pitch, velocity,
              timeString(duration, division).c_str());
    MsgSilent(5, "(%s)\n", timeString(length, 24).c_str());
}
