#pragma once

#include "arrange/Song.h"
#include "core/Settings.h"
#include "tune/TuneEncoder.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class DepartureTracer;

// One channel's tune as the macros of a split song.
struct SplitTune {
    // The macros' texts joined: read as one text, it plays them one after another.
    std::string text;
    // Where each macro's text begins in `text`, in order.
    std::vector<std::size_t> starts;
    // The status flags of all its macros.
    TuneStatus status = TuneStatus::None;
};

// A song cut at the same places for every channel.
struct SplitSong {
    // Where each macro starts, in 24ths of a quarter; the first is 0.
    std::vector<std::int64_t> cuts;
    // Per channel (0-based); no text for a channel without notes.
    std::array<SplitTune, channelCount> tunes;
};

// The encoder's options of each channel (0-based): -o moves channels apart.
using ChannelTuneOptions = std::array<TuneOptions, channelCount>;

// Cuts the used channels of `song` (quantised and cleaned up) at the same
// places into macros of at most `parts` parts: at bar lines (at beats only
// inside a bar too long for a macro), as few macros as fit, where fewest
// notes sound across, then pieces as even as can be. Each macro starts with its
// tempo, volume and octave, and all channels' macro K last equally long.
// Notes across a cut end there and start again, with a report line. With a
// tracer, the encoder's records of the notes go to it.
SplitSong splitSong(const Song& song, const ChannelTuneOptions& options, int parts, DepartureTracer* tracer);
