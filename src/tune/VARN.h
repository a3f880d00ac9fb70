#pragma once

#include <cstdio>
#include <sstream>
#include <string>

class Channel;

// One channel's tune in the Varnholt notation, with the set of compromises
// the encoding had to make.
class VARN {
public:
    static constexpr int lowestNote = 48;
    static constexpr int ENone = 0;
    static constexpr int ENUnder = 1;
    static constexpr int ENOver = 2;
    static constexpr int ETUnder = 8;
    static constexpr int ETOver = 16;
    static constexpr int ENShort = 32;
    static constexpr int ENLong = 64;
    static constexpr int EMLong = 128;

    // A note held over rests under the long-chords option.
    struct longNotes {
        int remaining; // sixteenths still to sound
        int octave;    // octave index 0..2
        int letter;    // index into the note-name tables
    };

    VARN() = default;
    VARN(const VARN&) = delete;
    VARN& operator=(const VARN&) = delete;

    std::string text;
    int status = ENone;

    void create(const Channel* channel, int transpose, bool triplets, bool longChords, bool upperC);
    void addPause(std::stringstream& out, int sixteenths) const;
    void putVel(std::stringstream& out, int& current, int wanted) const;

    void print() const;
    void printMacro(FILE* out, int channel);
    void showStatus() const;
};
