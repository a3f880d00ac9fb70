#pragma once

#include "arrange/Band.h"
#include "arrange/Channel.h"
#include "core/Settings.h"
#include "midi/MidiReader.h"
#include "midi/Track.h"

#include <array>
#include <vector>

// Sees each channel's elements after each stage that follows the arranging
// (for following notes through the conversion; nothing looks when none is
// given).
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
// sixteen channels they are arranged into under the settings. A song is
// made arranged; the stages below follow, channel by channel.
class Song {
public:
    static constexpr int channelCount = ::channelCount; // MIDI channels

    // A song of `file`'s tracks, arranged as `settings` say: the elements of
    // the active channels moved into their (merge) target channels and
    // sorted, and the auto-transposition worked out.
    Song(const Settings& settings, MidiFile file);

    // The settings of the conversion (a copy: no stage changes them).
    const Settings settings;
    // Quarter notes per minute the report names.
    int tempo = 120;
    // Ticks per quarter note.
    int division;
    // The tracks as read, their elements moved into the channels.
    std::vector<Track> tracks;
    // The channels, 0-based.
    std::array<Channel, channelCount> channels;
    // The lowest pitch of all channels' notes (127 without notes).
    int lowestPitch = 127;
    // The transposition the tunes use: the setting, plus the auto-transposition.
    int transpose;
    // With -P, the players the channels are arranged for (none without).
    BandPlan band;
    // The channels that have notes in the file, converted or not.
    std::array<bool, channelCount> hasNotes{};

    // The song report at verbosity 4 and the element dump at 5.
    void print() const;
    // Frees the channels' elements (their tunes are made), keeping which
    // channels were used.
    void releaseChannels();

private:
    // Where each channel's elements go: whether they are converted, the
    // channel that receives them, and whether it gets the tempo changes.
    struct Routes {
        std::array<bool, channelCount> active;
        std::array<int, channelCount> targets;
        std::array<bool, channelCount> getsTempos;
    };
    Routes routes();
    // Moves the tracks' elements into the channels and sorts them (the
    // constructor's work).
    void sortToChannels();
    // With -P: arranges the channels for the players, filling `band`, and
    // gives the channels that take part and where each one's notes go.
    void arrangeBand(std::array<bool, channelCount>& inBand, std::array<int, channelCount>& targets);
    // The report's lines of the players and of the channels left out.
    void printBand() const;
};

// The stages that follow the arranging, each on the used channel `ch`
// (0-based) of `song`, showing `observer` (when given) the channel after it.

// Quantises the channel's elements to the grid.
void quantiseChannel(Song& song, int ch, StageObserver* observer = nullptr);
// With -e, keeps one of the notes of equal folded pitch that start together.
void removeIdenticalNotes(Song& song, int ch, StageObserver* observer = nullptr);
// Limits the channel's polyphony (with -c the chords' ranking decides), and
// prints the channel's polyphony line.
void limitPolyphony(Song& song, int ch, StageObserver* observer = nullptr);
