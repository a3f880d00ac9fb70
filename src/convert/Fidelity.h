#pragma once

#include "convert/Departures.h"

#include <cstddef>
#include <string>
#include <vector>

struct TuneRecord;

// The fidelity score: the share of the MIDI file's notes a tune plays as
// written, with what the game needs to play it. Drum notes are not notes
// of a pitch: played as pitches they count against the score.

// A song's figures: its channels' fidelity summed, and its macros.
struct SongFidelity {
    Fidelity fidelity; // all channels' notes together
    int macros = 0;    // the most macros of a channel
    int parts = 0;     // the most parts of a macro
    bool split = false; // converted with -b
};

// Sets the macros and parts of `out` from the tune `played` (none: none):
// the conversion's own macros when `written` is the text it wrote (split
// with -b), else the text as one macro.
void measureMacros(ChannelDepartures& out, const TuneRecord* written, const PlayedTune* played);

// The figures of the song whose channels' report is `report`.
SongFidelity songFidelity(const std::vector<ChannelDepartures>& report);

// Whether the game plays the song whole: no macro takes more parts than it plays.
bool playsWhole(const SongFidelity& song);

// `part` of `whole` as a percent rounded down, so that only every note is
// "100%"; "-" of no notes.
std::string percent(std::size_t part, std::size_t whole);

// The score: the pitched notes played as written, of the pitched notes and
// the drum notes played as pitches (drums count against the tune, those
// left out count nothing), as a percent rounded down; 0 without pitched notes.
std::size_t asWrittenPercent(const Fidelity& f);
// The score as the report shows it: "96%", or "-" without pitched notes.
std::string asWrittenShare(const Fidelity& f);
// The share of the pitched notes played: "100%", or "-" without them.
std::string playedShare(const Fidelity& f);
// Whether `a` scores higher than `b`, counted exactly rather than in whole percents.
bool scoresHigher(const Fidelity& a, const Fidelity& b);
// "2,640 drum notes played as pitches" (or "1 drum note played as a pitch").
std::string drumWords(std::size_t drums);

// The song line of the report, without its line end: "song: 1,200 notes,
// 97% as written, 99% played, 4 macros of at most 5 parts" or, written whole,
// "..., the longest channel needs 7 parts"; then, when the tunes play drums,
// "; 2,640 drum notes played as pitches".
std::string formatSongLine(const SongFidelity& song);
