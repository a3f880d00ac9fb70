#pragma once

// The input of the fuzz targets over the whole conversion: the first bytes
// choose the settings the command line could have made; the rest is the
// MIDI file.
//
// Layout of the settings prefix (missing bytes count as 0):
//   0  flags: 1 auto-transpose, 2 long chords, 4 upper c, 8 identical-note
//      removal, 16 no triplets; bits 5..7 pick the verbosity
//   1  polyphony: bits 0..2 pick the limit, bit 3 applies it to one channel
//      (bits 4..7) instead of all; applied to all, bit 4 keeps the outer
//      voices of chords (-c)
//   2  transposition (signed byte; -128 and 127 stand for the int limits)
//   3  merges: bits 0..1 none / all into channel 1 / one target (bits 4..7)
//      with the sources of bytes 4 and 5 / an arrangement for 1 + bits 4..7
//      players (-P); bit 2 sends the macro blocks into
//      the console stream (output "-") and splits into macros (-b: bits 4..5
//      pick 1, 2, 5 or the most parts); bit 3 keeps channels in step; both
//      bits set let a long song of a short file through
//   4, 5  merge sources, one bit per channel
//   6, 7  disabled channels, one bit per channel (applied before the merge,
//      as "-d ... -m ..." would)

#include "convert/Conversion.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

// Songs longer than this many quarters are converted only when the settings
// ask for it and the file is short: their tunes run into the text cap,
// megabytes per channel, and would otherwise take most of the fuzzing time.
inline constexpr std::int64_t longSong = 16000;

// The request the input `data` makes (output "fuzz.txt" or "-"), or none
// for a song too long to be worth the time.
std::optional<ConversionRequest> pipelineRequest(const std::uint8_t* data, std::size_t size);

// The span of the song in quarters, from a silent first reading of `midi`
// (0 when it does not read).
std::int64_t songQuarters(std::span<const unsigned char> midi);
