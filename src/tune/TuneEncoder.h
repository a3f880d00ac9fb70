#pragma once

#include "core/Element.h"
#include "tune/TuneText.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// The switches that shape a tune.
struct TuneOptions {
    int transpose = 0;       // semitones added to every pitch
    bool triplets = true;    // the grid had triplets (else a triplet length is a bug)
    bool longChords = false; // notes longer than 9 sixteenths are held
    bool upperC = false;     // pitch 84 is written as /b#
    // Gaps run between the notes' own grid positions (no carried rounding).
    bool keepInStep = false;
    // The text starts from an unknown state: the first tempo, volume and
    // octave are written out even where they are the game's defaults (a
    // macro of a split channel then plays on its own).
    bool restate = false;
};

// What the encoder wrote for one note, when asked to record it.
struct WrittenNote {
    // The letter of a note the text was cut before.
    static constexpr std::size_t noLetter = static_cast<std::size_t>(-1);

    std::size_t letter; // offset of its letter in the text; noLetter when the text was cut first
    int sixteenths;     // its length
    int pitch;          // the pitch its octave and letter stand for
    int volume;         // 1..10
    bool held;          // started as a held note
};

// What the encoding of a tune or its macro had to give up: a set of flags.
// The values are the bits the page is handed.
enum class TuneStatus : unsigned {
    None = 0,
    TooLow = 1,         // notes too low
    TooHigh = 2,        // notes too high
    TempoTooSlow = 8,   // tempo too slow
    TempoTooFast = 16,  // tempo too fast
    TooShort = 32,      // notes too short
    TooLong = 64,       // notes too long
    MacroTooLong = 128, // text cut, or too many macro parts
};

// The tempi the notation plays, in quarter notes a minute: from the
// slowest to the fastest, and the one of a tune without a tempo mark.
inline constexpr int slowestTempo = 60;
inline constexpr int fastestTempo = 180;
inline constexpr int plainTempo = 120;
// The longest note the notation writes, in sixteenths.
inline constexpr int longestSixteenths = 9;

// The set of the flags of both.
constexpr TuneStatus operator|(TuneStatus a, TuneStatus b)
{
    return static_cast<TuneStatus>(static_cast<unsigned>(a) | static_cast<unsigned>(b));
}
constexpr TuneStatus& operator|=(TuneStatus& set, TuneStatus flags)
{
    return set = set | flags;
}
// Whether `set` holds any of `flags`.
constexpr bool hasAny(TuneStatus set, TuneStatus flags)
{
    return (static_cast<unsigned>(set) & static_cast<unsigned>(flags)) != 0;
}
// The flags as bits, as the page reads them.
constexpr unsigned bitsOf(TuneStatus set)
{
    return static_cast<unsigned>(set);
}

// One channel's tune in the Varnholt notation, with the set of compromises
// the encoding had to make.
class TuneEncoder {
public:
    static constexpr int lowestNote = ::lowestNote; // the notation's low c

    // A note held over rests under the long-chords option.
    struct LongNote {
        int remaining; // sixteenths still to sound
        int octave;    // octave index 0..2
        int letter;    // index into the note-name tables
    };

    // The tune text; empty when the channel gave none.
    std::string text;
    // What the encoding or the macro had to give up.
    TuneStatus status = TuneStatus::None;

    // Encodes one channel's quantised elements, in the element order; when
    // `written` is given, appends a record of each note written to it.
    void encode(std::span<const Element> elements, const TuneOptions& options,
                std::vector<WrittenNote>* written = nullptr);
    // The same with the switches one by one.
    void encode(std::span<const Element> elements, int transpose, bool triplets, bool longChords, bool upperC);
    // Writes a rest of `sixteenths` as p8 tokens and one shorter rest.
    static void addPause(TuneText& out, int sixteenths);
    // Writes the volume mark that takes `current` to `wanted`, if it differs.
    static void putVolume(TuneText& out, int& current, int wanted)
    {
        if (wanted != current)
            putVolumeChange(out, current, wanted);
    }

private:
    static void putVolumeChange(TuneText& out, int& current, int wanted);
};
