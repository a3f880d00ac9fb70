#pragma once

#include "convert/Bars.h"
#include "core/Settings.h"
#include "midi/Track.h"
#include "tune/TuneReader.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

// Where the tunes depart from the MIDI file: every note of a channel (after
// selection, merges and transposition) followed through the conversion to
// the letter the encoder wrote for it, and compared with what the tune
// plays when it is read back.

// What became of a note of the MIDI file in the conversion.
enum class Fate : unsigned char {
    Written,   // the encoder wrote a letter for it
    Identical, // removed as identical to a note starting with it (-e)
    Polyphony, // dropped by the polyphony limit (-p)
    Cut,       // lost where the tune passed the text cap
};

// One note of the MIDI file, followed through the conversion.
struct TracedNote {
    int tick = 0;             // start in the MIDI file
    int ticks = 0;            // duration in ticks
    int pitch = 0;            // the file's pitch, transposed
    Fate fate = Fate::Written; // what became of it
    std::int64_t snapped = 0; // its start snapped to the grid on its own, in 24ths of a quarter
    std::int64_t grid = 0;    // its grid position (the sum of the quantised distances), in 24ths
    std::int64_t start = 0;   // written: the sixteenths written before it
    int sixteenths = 0;       // written: its length
    int writtenPitch = 0;     // written: the pitch its octave and letter stand for
    int volume = 0;           // written: 1..10
    bool held = false;        // written: as a held note
    std::size_t letter = 0;   // written: offset of its letter in the tune text
    bool drum = false;        // from the percussion channel (also when merged into another)
};

// A tempo change of the MIDI file as a channel has it.
struct TempoChange {
    int tick; // where it stands in the MIDI file
    int bpm;  // quarter notes per minute, as the file asks
};

// One channel's notes as the conversion treated them.
struct ChannelTrace {
    int channel = 1;                 // 1..16
    std::vector<TracedNote> notes;   // in the channel's order
    std::vector<TempoChange> tempos; // in the channel's order
    // False when the notes could not be followed through the stages (only
    // for inputs whose sums of times pass the int range).
    bool followed = true;
    // The notes the channel was allowed at once (0: no limit).
    int polyphony = 0;
    // The octaves -o moves the channel by (or would move it, without -o),
    // and how many more of its notes that brings into the range.
    int octaves = 0;
    std::size_t moreInRange = 0;
    // The limit kept each chord's highest and lowest notes (-c): the notes
    // it dropped were inner voices.
    bool outerVoices = false;
};

// Everything the departure report needs from one conversion.
struct DepartureTrace {
    int division = 240;                          // ticks per quarter note
    std::vector<TimeSignature> signatures;       // of all tracks
    std::vector<ChannelTrace> channels;          // channels with a tune, in order
    bool keepInStep = false;                     // converted with -k
    bool fitOctaves = false;                     // converted with -o (or arranged with -P)
    int splitParts = 0;                          // -b N: the most parts of a macro (0: written whole)
};

// The kinds of departure, in the order the summary counts them.
enum class DepartureKind : unsigned char { Dropped, Start, Length, Pitch, HeldLate, Stuck, Tempo, Added, Drum };
inline constexpr std::size_t departureKinds = 9;

// Index of no note, where a departure concerns none.
inline constexpr std::size_t noNote = static_cast<std::size_t>(-1);

// Which words tell a departure: its kind, and for a dropped note or a
// pitch why.
enum class Wording : unsigned char {
    Identical, // dropped as identical (-e)
    Polyphony, // dropped by the polyphony limit
    Cut,       // dropped where the tune passed the text cap
    HeldAgain, // dropped: its letter ends the held note before it
    Edited,    // dropped: not in the text
    Tempo,     // a tempo outside the game's range
    PitchEdited, // played at another pitch: the text was edited
    TooLow,      // played higher: too low for the game
    TooHigh,     // played lower: too high for the game
    Start,     // starts away from its place
    Stuck,     // held and never ended
    HeldLate,  // held longer than written
    Length,    // lasts another length
    Added,     // played, written for no note of the file
    Drum,      // a drum played as a pitched note
};

// One departure: where in the MIDI file, of what kind, and the numbers its
// texts are made of (departurePlace, departureDetail and departureWords in
// convert/DepartureText.h make them when asked).
struct Departure {
    DepartureKind kind = DepartureKind::Dropped; // what kind of departure
    Wording wording = Wording::Edited;           // the words that tell it
    int pitch = 0;             // the note it names (tempo: the bpm the file asks)
    int playedPitch = 0;       // pitch: the pitch played (tempo: the bpm played)
    std::int64_t position = 0; // the place in 24ths of a tick from the file's start
    std::size_t note = noNote;   // the note of the file (index in ChannelTrace::notes), if any
    std::size_t played = noNote; // the note the tune plays (index in PlayedTune::notes), if any
    std::int64_t offset = 0;     // start: the note's start from its place, in 24ths of a quarter
    // Start: the rounding down to a sixteenth; held-late: how much longer;
    // length: the file's length (all in 24ths of a quarter).
    std::int64_t amount = 0;
    // Start: the position where the drift began; length: the played length
    // in 24ths of a quarter.
    std::int64_t other = 0;
};

// How many of a channel's (or a song's) pitched notes of the MIDI file the
// tune plays, and how many of them as written: at their pitch (a channel's
// -o move counts as written), within half a sixteenth of their start, and
// within a sixteenth of their length or held to their end. Drums are not
// pitched notes: those the tune plays count against it (see Fidelity.h).
struct Fidelity {
    std::size_t notes = 0;     // pitched notes of the MIDI file
    std::size_t played = 0;    // not dropped
    std::size_t inPitch = 0;   // played at their pitch
    std::size_t onTime = 0;    // played within half a sixteenth of their start
    std::size_t inLength = 0;  // played as long as written (or held to their end)
    std::size_t asWritten = 0; // all of these at once
    std::size_t drums = 0;     // drum notes the tune plays as pitched notes
};

// One channel's departures and summary.
struct ChannelDepartures {
    int channel = 1;             // 1..16
    std::size_t notesIn = 0;     // notes of the MIDI file in the channel
    std::size_t notesPlayed = 0; // notes the tune plays
    std::array<std::size_t, departureKinds> counts{}; // departures of each kind
    std::int64_t largestDrift = 0; // sixteenths, signed; the largest in size
    bool driftsABar = false;       // some note drifted by a bar or more
    bool keptInStep = false;       // converted with -k (no hint to use it)
    int octaveHint = 0;            // octaves -o would move the channel (0: none, or -o was given)
    std::size_t moreInRange = 0;   // notes that move would bring into the range
    std::string tuneEnd;           // where the tune's last note ends (a place)
    std::string midiEnd;           // where the file's last note ends
    std::string endDifference;     // tune minus file, in sixteenths
    Fidelity fidelity;             // the share of the file's notes played, and played as written
    int macros = 0;                // macros the played tune takes (0: no tune)
    int parts = 0;                 // the most parts of one of its macros
    bool split = false;            // converted with -b
    std::vector<Departure> departures; // in the order of their places
    // What the departures' texts are made with: the file's bars, and the
    // channel's polyphony limit and whether it kept the outer voices.
    std::shared_ptr<const Bars> bars;
    int polyphony = 0;
    bool outerVoices = false;
};
