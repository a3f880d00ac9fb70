#pragma once

#include "arrange/Channel.h"
#include "core/Settings.h"
#include "midi/MidiReader.h"
#include "midi/Track.h"

#include <array>
#include <atomic>
#include <vector>

// Sees each channel's elements between the stages of quantiseChannels (for
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
// sixteen channels they are arranged into under the settings. A song is
// made arranged; quantiseChannels is the one stage that follows.
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

    // The song report at verbosity 4 and the element dump at 5.
    void print() const;
    // Frees the channels' elements (their tunes are made), keeping which
    // channels were used.
    void releaseChannels();
    // How many elements each of the channels `used` (0-based) holds, in
    // their order: the weights of work done per channel.
    std::vector<std::size_t> channelSizes(const std::vector<int>& used) const;

private:
    // Moves the tracks' elements into the channels (the constructor's work).
    void sortToChannels();

    // The state of moving the tracks' elements into the channels.
    struct Distribution {
        std::array<int, channelCount> targets;     // the channel each channel's elements go to
        std::array<bool, channelCount> getsTempos; // whether a channel gets the tempo changes
        std::vector<Element> tempos;               // the tempo changes of all tracks, in track order
        std::array<std::size_t, channelCount> nextTempo; // per channel, the first tempo change not added
        std::array<int, channelCount> lowest;      // per channel, the lowest note pitch so far
        // Per channel, how many elements it receives from tracks that are
        // not taken whole.
        std::array<std::size_t, channelCount> received;
    };

    // Gathers the tempo changes and sizes the channels' lists; returns per
    // track the channel that takes its list whole (-1: none), for a track
    // that alone feeds one channel.
    std::vector<int> planChannels(Distribution& distribution);
    // Whether an element goes to a channel (tempo changes go to all, apart).
    bool passes(const Element& element) const;
    // Copies the elements of the tracks' `lists` into their target
    // channels, two groups of channels side by side. The lists are spent:
    // their memory goes back to the system as they are copied.
    void distribute(std::vector<std::vector<Element>>& lists, Distribution& distribution);
    // The lists distribute copies from, and how many sides have copied from
    // each block of each.
    struct Copying {
        static constexpr std::size_t block = std::size_t{1} << 16; // elements
        static constexpr std::size_t lead = 2; // blocks a side may be ahead
        std::vector<std::vector<Element>>& lists;
        std::vector<std::vector<std::atomic<std::size_t>>> copiedBy;
        std::size_t sides; // the sides copying
        std::array<std::atomic<bool>, 2> started{};
        std::array<std::atomic<std::size_t>, 2> passed{}; // blocks each side has passed
    };
    // Fills the channels of side `own` (by `side`, per channel) from every
    // list being copied; a block all sides have copied goes back.
    void fillSide(Copying& copying, const std::array<std::size_t, channelCount>& side, std::size_t own,
                  Distribution& distribution);
    // Sorts the used channels not `sorted` yet, side by side where the room
    // it takes allows.
    void sortChannels(const std::array<bool, channelCount>& sorted);
    // Makes a track's list the list of channel `target`, its only source,
    // with the tempo changes put in where distribute would put them.
    void takeWhole(std::vector<Element>& elements, int target, Distribution& distribution);
    // Adds to channel `ch` the tempo changes not added yet.
    void addLastTempos(int ch, Distribution& distribution);
};

// `song` with each used channel quantised, cleaned up and limited in
// polyphony, showing `observer` (when given) each channel after each stage.
Song quantiseChannels(Song song, StageObserver* observer = nullptr);
