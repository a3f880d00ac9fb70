#pragma once

#include "core/Settings.h"
#include "tune/TuneReader.h"

#include <span>
#include <string>

// What varn2midi --against gives.
struct AgainstReport {
    bool converted = false; // false: the MIDI file could not be converted
    std::string console;    // the conversion's fatal messages and notices, for standard error
    std::string text;       // the report
};

// Converts `midi` with `settings` in memory (writing nothing) and reports
// the departures of `played`, read from `input`, against it.
AgainstReport reportAgainstMidi(const Settings& settings, const std::string& songName,
                                std::span<const unsigned char> midi, const std::string& inputName,
                                const TuneRead& played);

