#pragma once

#include "convert/Fidelity.h"

#include <cstddef>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

// Suggestions: the song converted in memory under a small, fixed set of
// switch sets built on the given ones, ranked by the fidelity score. Lives
// above the conversion because a candidate is a command line as a player
// types it: it is read by the converter's own option parser.

// What to suggest for.
struct SuggestRequest {
    // The converter's switches as given, one argument each (no file names).
    std::vector<std::string> switches;
    // The MIDI file's bytes (they must outlive the call).
    std::span<const unsigned char> midi;
    // When above 0, the most players the sets may need: a set with -P needs
    // its players, one without as many as it writes tunes (a tune's macros
    // after -b are played one after another), and sets with -P for this
    // many players are tried too.
    int players = 0;
    // Called after each conversion with the conversions done and planned, when given.
    std::function<void(std::size_t done, std::size_t total)> progress;
};

// One switch set and what the song gives under it.
struct Candidate {
    std::vector<std::string> switches; // as typed, one argument each
    std::string typed;                 // the switches joined by spaces ("" for none)
    SongFidelity figures;              // the song's score, notes played, macros and parts
    int players = 0;                   // the players it needs: the tunes it writes
    bool playsWhole = false;           // every macro within the parts the game plays
    bool given = false;                // the switches as given
    std::string words;                 // what changed against the given switches
};

// The ranked candidates, or why there are none.
struct Suggestions {
    // False when the switches were refused or the song could not be converted.
    bool converted = false;
    // Why not, one line each.
    std::string errors;
    // The most players asked for (0: any number); above 0 the table shows
    // each set's players.
    int players = 0;
    // Best first: those played whole, then the higher score, then fewer
    // switches. A candidate that another with fewer of its changes matches
    // (as high a score, played whole as well) is left out.
    std::vector<Candidate> ranked;
};

// The song's figures under the converter's `switches` (one argument each),
// or nothing when they are refused or the song cannot be converted.
std::optional<SongFidelity> measureSwitches(const std::vector<std::string>& switches,
                                            std::span<const unsigned char> midi);

// Converts the song under each candidate and ranks them.
Suggestions suggest(const SuggestRequest& request);

// The table, best first, and last the best switch set alone on its line
// (an empty line for no switches), for scripts to take.
std::string formatSuggestions(const Suggestions& suggestions);

// What one who converted with the given switches is offered: when the best
// set scores at least 5 points higher, or leaves out drums the given ones
// play, "Better: -k -o -d 10 -b 5: 96% as written instead of 52%, drums
// left out, played whole"; else empty.
std::string offerLine(const Suggestions& suggestions);
