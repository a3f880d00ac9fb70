#pragma once

#include "tune/TuneEncoder.h"

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

// Writes tunes as the game's "/playthis" macro blocks, and reports what a
// tune's encoding had to give up.

// Parts the game plays of a macro.
inline constexpr int gameParts = 5;

// The tune line of the report at verbosity 4 (the text is as it was
// after).
void printTune(const TuneEncoder& tune);
// Appends the macro block of `tune` for `channel` (0-based) to `out`; marks
// the tune when the block takes more parts than the game plays.
void appendMacro(std::string& out, TuneEncoder& tune, int channel);
// The same with the comment line "// `comment`".
void appendMacro(std::string& out, TuneEncoder& tune, std::string_view comment);
// The comment line of a block of channel `channel` (1-based): "Channel 3",
// or with `macros` (a split tune) "Channel 3, macro 2 of 4". The block of a
// band's player `player` (from 1; 0 for none), which plays on its lowest
// channel, names it and its channels (1-based) instead:
// "Player 2: channels 3, 5", "Player 2, macro 2 of 4: channel 3".
std::string blockComment(int channel, int macro = 0, int macros = 0, int player = 0,
                         std::span<const int> channels = {});
// Appends a macro block of `text` with the comment line "// `comment`" to
// `out`; returns the parts it takes.
int appendBlock(std::string& out, std::string_view text, std::string_view comment);
// The parts a macro block of `text` takes.
int partsOf(std::string_view text);
// Characters of text that surely fit `parts` parts.
std::int64_t partsBudget(int parts);
// Reports what the encoding of channel `channel`'s tune (1..16) gave up,
// one code per status flag.
void showStatus(const TuneEncoder& tune, int channel);
