#include "core/Tempo.h"

#include "core/Message.h"

Tempo::Tempo(int time, int channel, int bpm) : Element(time, channel), bpm(bpm) {}

Tempo::Tempo(const Tempo& other, int channel) : Element(other), bpm(other.bpm)
{
    this->channel = channel;
}

void Tempo::print(int division) const
{
    Element::print(division);
    MsgSilent(5, "Tempo %d\n", bpm);
}
