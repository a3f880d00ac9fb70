#pragma once

#include "arrange/Song.h"
#include "convert/Departures.h"
#include "tune/OctaveFit.h"
#include "tune/TuneEncoder.h"

#include <array>
#include <cstdint>
#include <vector>

// Follows every note of each channel through the stages of one conversion
// to the letter the encoder writes for it. Made only when a departure
// report is asked for; the conversion itself does not change.
class DepartureTracer : public StageObserver {
public:
    // For a song of `division` ticks per quarter, converted with `settings`
    // (its grid, how its gaps are measured, whether channels move by octaves).
    DepartureTracer(int division, const Settings& settings)
        : division_(division), triplets_(settings.triplets), keepInStep_(settings.keepInStep),
          fitOctaves_(settings.fitOctaves && settings.players == 0), arranged_(settings.players != 0),
          splitParts_(settings.splitParts)
    {
    }

    // Takes the channel's notes as the ones to follow.
    void quantised(int channel, const std::vector<Element>& elements) override;
    // Marks the notes the removal of identical notes took.
    void identicalRemoved(int channel, const std::vector<Element>& elements) override;
    // Marks the notes the polyphony limit dropped; the rest go to the
    // encoder. Keeps the channel's tempo changes for the report.
    void polyphonyLimited(int channel, const std::vector<Element>& elements) override;
    // Where the encoder records what it writes for the 0-based `channel`.
    std::vector<WrittenNote>* written(int channel) { return &channels_[static_cast<std::size_t>(channel)].written; }
    // The octaves -o moves the 0-based `channel` by (or would, without -o).
    void fitted(int channel, const OctaveFit& fit) { channels_[static_cast<std::size_t>(channel)].fit = fit; }
    // The trace of the used channels, once their tunes are written; it
    // needs none of the channels' elements, which may be freed before.
    DepartureTrace finish(const Song& song);

private:
    // What tells a note apart in every stage: the stages keep its tick
    // time, duration, pitch, velocity and channel.
    struct Key {
        int time;
        int duration;
        int pitch;
        int velocity;
        int channel;
        bool operator==(const Key&) const = default;
    };
    struct Followed {
        std::vector<TracedNote> notes;
        std::vector<Key> keys;
        std::vector<std::uint32_t> listed;       // notes still in the list, in order
        std::vector<std::int64_t> clock;         // per listed note: sixteenths before it
        std::vector<std::int64_t> grid;          // per listed note: its grid position
        std::vector<WrittenNote> written;
        std::vector<TempoChange> tempos;         // the channel's tempo changes, in its order
        OctaveFit fit;
        bool followed = true;
    };

    int division_;
    bool triplets_;
    bool keepInStep_;
    bool fitOctaves_; // -o moved the channels
    bool arranged_;   // -P moved them (each note is at its moved pitch)
    int splitParts_;
    std::array<Followed, channelCount> channels_;

    static Key keyOf(const Element& note);
    static void align(Followed& f, const std::vector<Element>& elements, Fate fate);
    void clockOf(Followed& f, const std::vector<Element>& elements) const;
    static void attachWritten(Followed& f);
};
