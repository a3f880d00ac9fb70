#pragma once

#include "core/Message.h"

#include <array>
#include <vector>

// MIDI channels a song has, numbered 0..15 inside and 1..16 for the user.
inline constexpr int channelCount = 16;

// General MIDI's percussion channel (1-based): its key numbers name drums
// (36 bass drum, 38 snare), not pitches.
inline constexpr int drumChannel = 10;

// The most parts a macro may be asked to hold when channels are split.
inline constexpr int maxSplitParts = 10000;

// Every setting of a conversion, as the switches give them. Plain data:
// read by every stage, changed by none.
struct Settings {
    // Moves the song so that its lowest note becomes the lowest the notation writes.
    bool autoTranspose = false;
    // Semitones added to every pitch (before auto-transposition).
    int transpose = 0;
    // Notes longer than the notation allows are held over rests as [...]$.
    bool longChords = false;
    // Pitch 84 is written as the upper c (/b#).
    bool upperC = false;
    // Notes of the same folded pitch starting together are kept once.
    bool eliminateIdentical = false;
    // The quantisation grid includes triplets.
    bool triplets = true;
    // Each element's distance is the difference of its own grid position
    // from tick 0 and its predecessor's, so that no rounding carries over
    // from gap to gap and channels stay in step.
    bool keepInStep = false;
    // Each channel is moved by the whole octaves that bring most of its
    // notes into the range the notation writes.
    bool fitOctaves = false;
    // Per target channel, the 0-based channels merged into it.
    std::array<std::vector<int>, channelCount> mergeList{};
    // Channels whose notes are converted.
    std::array<bool, channelCount> active{true, true, true, true, true, true, true, true,
                                          true, true, true, true, true, true, true, true};
    // Notes allowed to sound at once per channel; 0 is unlimited.
    std::array<int, channelCount> polyphony{};
    // Under a polyphony limit, each chord keeps its highest and lowest notes
    // and inner voices give way first.
    bool keepOuterVoices = false;
    // Players the song is arranged for (drums left out, the other channels
    // moved by octaves and merged by register); 0 keeps the channels as
    // they are.
    int players = 0;
    // Each channel is split into macros of at most this many parts, cut at
    // the same places for all channels; 0 writes each channel whole.
    int splitParts = 0;
    // Verbosity of the console report.
    Level verbosity = Message::msgLevelDefault;
};
