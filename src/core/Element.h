#pragma once

// A timed musical event of one channel. The kinds (Note, Tempo, Volume) are
// told apart by dynamic down-casts.
class Element {
public:
    Element(int time, int channel);
    virtual ~Element() = default;

    // Dump line at verbosity 5; the base class prints the common head only
    // ("Time ..., (delta), Channel n: ") without a line end.
    virtual void print(int division) const;

    int time;    // start in ticks from the start of the file
    int delta;   // quantised distance from the previous element, in 24ths
    int channel; // 0-based MIDI channel

protected:
    Element(const Element&) = default;
    Element& operator=(const Element&) = default;
};
