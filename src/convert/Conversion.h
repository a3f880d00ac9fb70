#pragma once

#include "arrange/Band.h"
#include "convert/Departures.h"
#include "convert/Fidelity.h"
#include "core/Message.h"
#include "core/Settings.h"
#include "tune/TuneEncoder.h"

#include <cstddef>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// What a conversion is given: the settings, the file names as the user
// gave them, and the MIDI file's bytes.
struct ConversionRequest {
    // The settings of the switches.
    Settings settings;
    // The MIDI file's name, for the report.
    std::string inputName;
    // The output's name; "-" sends the macro blocks into the console stream.
    std::string outputName;
    // The MIDI file's bytes (they must outlive the call).
    std::span<const unsigned char> midi;
    // Or the bytes themselves, handed to the conversion: read instead of
    // `midi` when not empty, and freed once read, so that a large file's
    // bytes are not held through the rest of the conversion.
    std::vector<unsigned char> midiBytes;
    // False when the input could not be read: the run fails with "Could not open".
    bool inputRead = true;
    // Console lines that come first (the banner and the switches' confirmations).
    std::vector<ConsoleLine> preamble;
    // Called once the tunes are ready, before their blocks are written; the
    // caller opens its output here. False fails the run with "Could not open".
    std::function<bool()> openOutput;
    // When set, each macro block for the output file goes here as it is
    // written, instead of into Conversion::macroText (a program writes it
    // straight to its file, so that no copy of all blocks is kept).
    std::function<void(std::string_view block)> writeOutput;
    // Each tune record also keeps its channel's macro block (a copy: off by
    // default, as a huge song's blocks take as much memory as its text).
    bool keepBlocks = false;
    // Follow every note through the conversion and report where the tunes
    // depart from the MIDI file (off: the conversion costs nothing more).
    bool wantDepartures = false;
};

// One channel's tune as the conversion made it.
struct TuneRecord {
    int channel;       // 1..16
    std::string text;  // the tune in the notation
    TuneStatus status; // what the encoding had to give up
    std::string block; // the channel's macro block, as written (with keepBlocks)
    // With -b: where each of the channel's macros begins in `text`, in
    // order (empty when the channel is written whole).
    std::vector<std::size_t> pieces;
    // With -b and keepBlocks: where each macro's block begins in `block`.
    std::vector<std::size_t> blocks;
};

// What a conversion gives back.
struct Conversion {
    // The exit status: 0 after a complete conversion, 1 after a failure.
    int status = 1;
    // One record per channel that has a tune, in channel order.
    std::vector<TuneRecord> tunes;
    // The macro blocks for the output file; empty for the output "-", whose
    // blocks go into the console stream where the program prints them, and
    // when the request's writeOutput took them.
    std::string macroText;
    // With wantDepartures: every note as the conversion treated it, for
    // reports against any text (reportDepartures).
    DepartureTrace trace;
    // With wantDepartures: the tunes written, read back (the notes that the
    // departures' `played` indices name).
    TuneRead played;
    // With wantDepartures: the departures of the tunes written.
    std::vector<ChannelDepartures> departures;
    // With wantDepartures: the song's fidelity figures, from `departures`.
    SongFidelity fidelity;
    // With -P: the players the song was arranged for.
    BandPlan band;
    // What the run reported, shown at its verbosity or not.
    Diagnostics diagnostics;
};

// Converts one MIDI file. Every console line goes to `sink` as it is
// produced, filtered by the settings' verbosity. Keeps no state between
// calls and lets no exception escape. A request moved in gives up its
// `midiBytes` once they are read.
Conversion convert(ConversionRequest request, const ConsoleSink& sink);
