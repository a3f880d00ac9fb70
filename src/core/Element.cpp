#include "core/Element.h"

#include "core/Message.h"
#include "core/TimeString.h"
#include "core/Wrap.h"

Element Element::makeNote(int time, int channel, int pitch, int velocity)
{
    Element e;
    e.kind = ElementKind::Note;
    e.time = time;
    e.channel = channel;
    e.pitch = pitch;
    e.velocity = velocity;
    return e;
}

Element Element::makeTempo(int time, int channel, int bpm)
{
    Element e;
    e.kind = ElementKind::Tempo;
    e.time = time;
    e.channel = channel;
    e.bpm = bpm;
    return e;
}

Element Element::makeVolume(int time, int channel, int volume)
{
    Element e;
    e.kind = ElementKind::Volume;
    e.time = time;
    e.channel = channel;
    e.volume = volume;
    return e;
}

void Element::print(int division) const
{
    Msg(Level::Info, "Time %s", timeString(time, division).c_str());
    // Distances that make no whole tick at this division are not shown.
    if (mulWrap(delta, division) / 24 != 0)
        MsgSilent(Level::Info, " (%s)", timeString(delta, 24).c_str());
    MsgSilent(Level::Info, "Channel %d: ", addWrap(channel, 1));
    switch (kind) {
    case ElementKind::Note:
        MsgSilent(Level::Info, "Note %d, Velocity %d, Duration %s ", pitch, velocity,
                  timeString(duration, division).c_str());
        MsgSilent(Level::Info, "(%s)\n", timeString(length, 24).c_str());
        break;
    case ElementKind::Tempo:
        MsgSilent(Level::Info, "Tempo %d\n", bpm);
        break;
    case ElementKind::Volume:
        MsgSilent(Level::Info, "Volume %d\n", volume);
        break;
    }
}
