#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Reading tunes back: a tune text, or a whole macro file of blocks, turned
// into the notes it plays on the tune's clock of sixteenths.

// One note as the tune plays it.
struct PlayedNote {
    std::int64_t start = 0;   // sixteenths from the start of the tune
    std::int64_t length = 0;  // sixteenths it sounds
    int pitch = 60;           // MIDI key number
    int volume = 10;          // 1..10
    std::uint32_t letter = 0; // offset of its letter in the tune text
    bool held = false;        // started in a ]$ group
    bool stuck = false;       // held and never ended: sounds to the end of the text
};

// From `clock` on, the tune plays at `bpm` quarter notes per minute (60..180).
struct TempoMark {
    std::int64_t clock;
    int bpm;
};

// A letter of a ]$ group that ended a held note rather than starting one.
struct HeldEnd {
    std::size_t letter; // offset of the letter in the tune text
    std::size_t note;   // index of the held note it ended
};

// One tune: a block of a macro file, or a bare tune text.
struct PlayedTune {
    int channel = 0;               // from the block's "// Channel N" line (1..16)
    std::size_t offset = 0;        // where the block (or the text) starts in the input
    std::string text;              // the tune text, its pieces joined
    std::vector<PlayedNote> notes; // in the order of their letters
    std::vector<TempoMark> tempos; // in clock order
    std::vector<HeldEnd> heldEnds; // in the order of their letters
    std::int64_t end = 0;          // the clock where the text ends
};

// Something the reader found amiss, and where.
struct ReadIssue {
    bool error = false;     // not in the notation; otherwise read for what it plainly says
    std::size_t offset = 0; // in the input (after a byte-order mark)
    int line = 1;           // 1-based
    int column = 1;         // 1-based, in characters of the line
    std::string text;       // what and what was done about it
};

// Everything read from one input.
struct TuneRead {
    // Whether the input was a macro file (else a bare tune text).
    bool macro = false;
    // The tunes in input order.
    std::vector<PlayedTune> tunes;
    // The first maxIssues issues, in input order.
    std::vector<ReadIssue> issues;
    // All errors and warnings, also those beyond maxIssues.
    std::size_t errors = 0;
    std::size_t warnings = 0;

    // Issues kept in `issues`; more are only counted.
    static constexpr std::size_t maxIssues = 1000;
    // Longest input read; the rest is left out with an error.
    static constexpr std::size_t maxInput = 0x7FFFFFFF;
};

// Reads a macro file (blocks of "/use" lines) or a bare tune text. CR LF
// line ends and a leading byte-order mark are accepted. A block without a
// channel line takes the lowest channel no other block names; a bare text
// is channel 1. Never fails: what cannot be read is reported and skipped.
// Memory stays within a small multiple of the input (at most maxInput
// bytes are read).
TuneRead readTunes(std::string_view input);

// Reads one bare tune text as the tune of `channel`, appending it and its
// issues (placed in the text) to `read`.
void readTune(std::string_view text, int channel, TuneRead& read);

// "NAME:LINE:COLUMN: error: TEXT" (or "warning:"), with a line end.
std::string formatIssue(const std::string& name, const ReadIssue& issue);
