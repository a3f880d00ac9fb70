#pragma once

#include "arrange/Channel.h"
#include "core/Settings.h"
#include "midi/ParserMID.h"
#include "midi/Track.h"

#include <array>
#include <vector>

// Sees each channel's elements between the stages of smoothChannels (for
// following notes through the conversion; nothing looks when none is given).
class StageObserver {
public:
    virtual ~StageObserver() = default;
    // After quantisation: every delta and length set, nothing removed yet.
    virtual void quantised(int channel, const std::vector<Element>& elements) = 0;
    // After identical-note removal (only when it ran).
    virtual void identicalRemoved(int channel, const std::vector<Element>& elements) = 0;
    // After the polyphony limit: the elements the tune is written from.
    virtual void polyphonyLimited(int channel, const std::vector<Element>& elements) = 0;
};

// The converter's model of one conversion: the tracks as read, and the
// sixteen channels they are arranged into under the settings.
class Song {
public:
    static constexpr int channelCount = ::channelCount; // MIDI channels

    // A song of `file`'s tracks, arranged as `settings` say.
    Song(const Settings& settings, MidiFile file);

    // The settings of the conversion (a copy: no stage changes them).
    const Settings settings;
    // Quarter notes per minute the report names.
    int tempo = 120;
    // Ticks per quarter note.
    int division;
    // The tracks as read; emptied into the channels by sortToChannels.
    std::vector<Track> tracks;
    // The channels, 0-based.
    std::array<Channel, channelCount> channels;
    // The lowest pitch of all channels' notes (127 without notes).
    int lowestPitch = 127;
    // The transposition the tunes use: the setting, plus the auto-transposition.
    int transpose;

    // Moves the elements of the active channels into their (merge) target
    // channels, sorts them and works out the auto-transposition.
    void sortToChannels();
    // Quantises each used channel and applies the clean-up and polyphony
    // limit, showing `observer` (when given) each channel after each stage.
    void smoothChannels(StageObserver* observer = nullptr);
    // The song report at verbosity 4 and the element dump at 5.
    void print() const;
    // Frees the channels' elements (their tunes are made), keeping which
    // channels were used.
    void releaseChannels();

private:
    void reserveChannels(const std::array<int, channelCount>& targets);
    // Copies a track's elements into their target channels, keeping each
    // target's lowest note pitch, and its tempo changes into `tempos`. The
    // track's elements are spent: their memory goes back to the system as
    // they are copied.
    void distribute(std::vector<Element>& elements, const std::array<int, channelCount>& targets,
                    std::array<int, channelCount>& lowest, std::vector<Element>& tempos);
};
