#pragma once

#include "core/Element.h"

class Tempo final : public Element {
public:
    Tempo(int time, int channel, int bpm);
    // A copy of `other` that belongs to `channel` (the per-channel tempo copies).
    Tempo(const Tempo& other, int channel);

    void print(int division) const override;

    int bpm; // quarter notes per minute, rounded
};
