#pragma once

#include "core/Element.h"

class Volume final : public Element {
public:
    Volume(int time, int channel, int volume);

    void print(int division) const override;

    int volume; // raw channel-volume controller value, 0..127
};
