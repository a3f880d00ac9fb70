#pragma once

#include <algorithm>
#include <cstdint>
#include <limits>

// The timed musical events a song carries from the MIDI file to the tune:
// notes, tempo changes and volume changes, stored by value and told apart
// by their kind.

// The kinds, in the order they take at equal time (tempo, volume, note).
enum class ElementKind : unsigned char { Tempo, Volume, Note };

// Lowest pitch the tune notation can write (its low c).
inline constexpr int lowestNote = 48;
// Highest pitch it writes without the upper c (its high b); the upper c adds one.
inline constexpr int highestNote = 83;
// The whole octaves a channel may be moved, either way, to fit that range.
inline constexpr int maxOctaveShift = 10;

// The moves first..last of whole octaves (within maxOctaveShift either way)
// that put `pitch` in that range (48..83, 48..84 with `upperC`); none when
// first > last.
struct OctaveMoves {
    int first;
    int last;
};
OctaveMoves movesIntoRange(std::int64_t pitch, bool upperC);

// One event: its kind, its time and place, and the values of its kind.
struct Element {
    // A note-on of `pitch` with `velocity`; its duration is set when it ends.
    static Element makeNote(int time, int channel, int pitch, int velocity);
    // A tempo change to `bpm` quarter notes per minute.
    static Element makeTempo(int time, int channel, int bpm);
    // A change of the channel-volume controller to `volume` (0..127).
    static Element makeVolume(int time, int channel, int volume);

    int time = 0;  // start in ticks from the start of the file
    int delta = 0; // quantised distance from the previous element, in 24ths
    // The value of the kind: one of these, as `kind` says. Sharing the
    // place keeps an element at 24 bytes.
    union {
        int pitch;  // note: MIDI key number
        int bpm;    // tempo: quarter notes per minute, rounded
        int volume; // volume: raw controller value
    };
    // Notes only.
    int duration = 0; // ticks; 0 while the note still sounds
    int length = 0;   // quantised length in 24ths
    ElementKind kind = ElementKind::Note; // what the element is
    // 0-based MIDI channel (0..15 from a file; the factories keep other
    // values within -128..127).
    std::int8_t channel = 0;
    // Note-on velocity (0..255 from a file; the factories keep other values
    // within the 16-bit range, where every note volume is already the
    // loudest or the softest).
    std::int16_t velocity = 0;

    // A note at time 0 with every value 0 (the factories give real elements).
    Element() : pitch(0) {}
    // An element of `kind` with its value (pitch, bpm or volume); what the
    // factories make, for building an element in its place in a list.
    Element(ElementKind kind, int time, int channel, int value, int velocity)
        : time(time), pitch(value), kind(kind), channel(saturate<std::int8_t>(channel)),
          velocity(saturate<std::int16_t>(velocity))
    {
    }

    // Whether this is a note (the kind most stages look for).
    bool isNote() const { return kind == ElementKind::Note; }
    // Dump line at verbosity 5: "Time ... (delta)Channel n: " and the kind's values.
    void print(int division) const;

private:
    // `value` kept within the range of T.
    template <typename T>
    static T saturate(int value)
    {
        return static_cast<T>(std::clamp<int>(value, std::numeric_limits<T>::min(), std::numeric_limits<T>::max()));
    }
};

// Channels, tracks and sorts move many millions of elements.
static_assert(sizeof(Element) == 24, "an element takes 24 bytes");
