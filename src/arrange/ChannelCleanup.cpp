// Order, clean-up and polyphony of a channel: placeholders until implemented.
#include "arrange/Channel.h"

#include "core/Tempo.h"

int Channel::compare(const void*, const void*) { return 0; }
void Channel::sort() {}
int Channel::findLowest() const { return 127; }
void Channel::copyTempo(const Tempo* tempo, int channel)
{
    elements.push_back(std::make_unique<Tempo>(*tempo, channel));
}
void Channel::eliminateIdentical() {}
int Channel::fixPolyphony(int) { return 0; }
void Channel::print(int division) const
{
    for (const auto& e : elements)
        e->print(division);
}
