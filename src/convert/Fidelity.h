#pragma once

#include "convert/Departures.h"

#include <cstddef>
#include <string>
#include <vector>

struct TuneRecord;

// The fidelity score: the share of the MIDI file's notes a tune plays as
// written, with what the game needs to play it.

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

// The song line of the report, without its line end: "song: 1,200 notes,
// 97% as written, 99% played, 4 macros of at most 5 parts" or, written whole,
// "..., the longest channel needs 7 parts".
std::string formatSongLine(const SongFidelity& song);
