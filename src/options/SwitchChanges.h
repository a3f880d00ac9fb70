#pragma once

#include "convert/Fidelity.h"

#include <optional>
#include <string>
#include <vector>

// A suggestion's switch set as a change of the given command line:
// switches turned on or off, the drum channel left out, -b 5 added, or an
// arrangement for a band; and that change in words.

// A switch as given: its letter and its argument (empty for none).
struct Switch {
    char letter;
    std::string argument;
};
using Switches = std::vector<Switch>;

// The switches a candidate turns on or off, one bit each in this order;
// the next bits add "-b 5", "-d 10" and "-P N" (for the players asked).
inline constexpr char toggles[] = {'k', 'o', 'e', 'n', 'c', 'a', 'u'};
inline constexpr unsigned toggleCount = sizeof toggles;
inline constexpr unsigned splitBit = 1u << toggleCount;
inline constexpr unsigned drumsBit = splitBit << 1;
inline constexpr unsigned bandBit = drumsBit << 1;
inline constexpr unsigned octavesBit = 1u << 1; // -o's, second of the toggles
// Whether `switches` hold the switch `letter`.
bool has(const Switches& switches, char letter);
// The argument of the last switch `letter` of `switches` ("" when none).
std::string argumentOf(const Switches& switches, char letter);
// The given switches with the toggles of `bits` flipped; the band bit
// arranges for `players` players in place of any given -P and -m.
Switches changed(const Switches& given, unsigned bits, int players);
// The switches as arguments, one each ("-p", "2").
std::vector<std::string> typedArguments(const Switches& switches);
// The arguments joined by blanks.
std::string joined(const std::vector<std::string>& args);
// The switches as the converter reads them, or the scanner's complaint
// added to `errors`.
std::optional<Switches> scan(const std::vector<std::string>& switches, std::string& errors);
// What a candidate (the given switches changed by `bits`) changes against
// the given switches, and what that does: "+ -o: 2,431 more notes in their
// octave".
std::string changeWords(const Switches& given, const Switches& candidate, unsigned bits, const SongFidelity& before,
                        const SongFidelity& now);
