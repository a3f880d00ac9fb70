#include "core/Volume.h"

#include "core/Message.h"

Volume::Volume(int time, int channel, int volume) : Element(time, channel), volume(volume) {}

void Volume::print(int division) const
{
    Element::print(division);
    MsgSilent(5, "Volume %d\n", volume);
}
