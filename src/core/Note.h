#pragma once

#include "core/Element.h"

class Note final : public Element {
public:
    Note(int time, int channel, int pitch, int velocity);

    void print(int division) const override;

    int pitch;    // MIDI key number
    int velocity; // note-on velocity
    int duration; // ticks; 0 while the note still sounds
    int length;   // quantised length in 24ths
};
