#pragma once
// Builders of a channel's elements, set up by hand as the song and
// `quantise` would leave them, for the tests of the channel's units.

#include "arrange/Channel.h"
#include "core/Element.h"

#include <gtest/gtest.h>

#include <cstddef>

// Each builder returns the element's index in the list (elements are values,
// so an index, not an address, stays valid while the list grows).
// A note as the song and quantisation leave it, by field.
struct NoteSpec {
    int time = 0;      // tick time
    int pitch = 60;    // MIDI key
    int duration = 0;  // in ticks
    int delta = 0;     // grid distance from the element before, in 24ths
    int length = 0;    // quantised length, in 24ths
    int velocity = 64;
};

inline std::size_t addNote(Channel& ch, const NoteSpec& spec)
{
    Element note = Element::makeNote(spec.time, 0, spec.pitch, spec.velocity);
    note.duration = spec.duration;
    note.delta = spec.delta;
    note.length = spec.length;
    ch.elements.push_back(note);
    return ch.elements.size() - 1;
}

inline std::size_t addTempo(Channel& ch, int time, int bpm, int delta = 0)
{
    Element tempo = Element::makeTempo(time, 0, bpm);
    tempo.delta = delta;
    ch.elements.push_back(tempo);
    return ch.elements.size() - 1;
}

inline std::size_t addVolume(Channel& ch, int time, int volume, int delta = 0)
{
    Element vol = Element::makeVolume(time, 0, volume);
    vol.delta = delta;
    ch.elements.push_back(vol);
    return ch.elements.size() - 1;
}

// The note at `i`; fails the test when the entry there is no note.
inline const Element& noteAt(const Channel& ch, std::size_t i)
{
    const Element& e = ch.elements.at(i);
    EXPECT_TRUE(e.isNote()) << "entry " << i;
    return e;
}

// The value that tells the elements of one list apart in the tests that
// give each a number of its own: a note's velocity, a tempo's bpm, a volume's value.
inline int tagOf(const Element& e)
{
    switch (e.kind) {
    case ElementKind::Tempo:
        return e.bpm;
    case ElementKind::Volume:
        return e.volume;
    case ElementKind::Note:
        break;
    }
    return e.velocity;
}
