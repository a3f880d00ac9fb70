// Preview file: read tunes as MIDI tracks, each timed by its tempo marks.
#include "tune/Preview.h"

#include "core/Settings.h"
#include "midi/MidiOut.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace {

// Ticks of one sixteenth at `bpm`, times `bpm`; the same in seconds. A
// preview's fixed tempo of 120 plays 1920 ticks a second.
constexpr double ticksPerSixteenthTimesBpm = 28800.0;
constexpr double ticksPerSecond = 1920.0;
constexpr double secondsPerSixteenthTimesBpm = 15.0;

struct NoteEvent {
    std::int64_t tick;
    bool on;
    std::size_t order; // the note's place in its tune
    int pitch;
    int velocity;
};

// The MIDI channel (1-based) each tune plays on.
std::vector<int> playChannels(const TuneRead& read, std::vector<std::string>& remarks)
{
    std::array<bool, 17> used{};
    for (const PlayedTune& tune : read.tunes)
        used[static_cast<std::size_t>(tune.channel)] = true;
    int instead = 1;
    while (instead <= 16 && (used[static_cast<std::size_t>(instead)] || instead == drumChannel))
        ++instead;
    if (used[drumChannel] && instead > 16) {
        instead = drumChannel;
        remarks.push_back("Channel 10 plays on MIDI channel 10 (drums in most players): every other channel is in use.");
    }
    std::vector<int> channels;
    for (const PlayedTune& tune : read.tunes)
        channels.push_back(tune.channel == drumChannel ? instead : tune.channel);
    return channels;
}

std::string noteTrack(const PlayedTune& tune, int channel)
{
    const TuneClock clock(tune.tempos);
    const auto ticks = [&clock](std::int64_t at) { return std::llround(clock.ticks(at)); };
    std::vector<NoteEvent> events;
    events.reserve(2 * tune.notes.size());
    for (std::size_t i = 0; i < tune.notes.size(); ++i) {
        const PlayedNote& note = tune.notes[i];
        if (note.length <= 0)
            continue;
        const int velocity = previewVelocity(note.volume);
        events.push_back(NoteEvent{ticks(note.start), true, i, note.pitch, velocity});
        events.push_back(NoteEvent{ticks(note.start + note.length), false, i, note.pitch, 0});
    }
    // At one tick note-offs come before note-ons, each in the tune's order.
    std::sort(events.begin(), events.end(), [](const NoteEvent& a, const NoteEvent& b) {
        if (a.tick != b.tick)
            return a.tick < b.tick;
        if (a.on != b.on)
            return !a.on;
        return a.order < b.order;
    });

    TrackOut track;
    track.meta(0, 0x03, "Channel " + std::to_string(tune.channel));
    const char status = static_cast<char>(channel - 1);
    track.event(0, std::string{static_cast<char>(0xC0 | status), 0});
    for (const NoteEvent& e : events) {
        const char bytes[3] = {static_cast<char>((e.on ? 0x90 : 0x80) | status), static_cast<char>(e.pitch),
                               static_cast<char>(e.on ? e.velocity : 64)};
        track.event(e.tick, std::string_view(bytes, 3));
    }
    return track.chunk();
}

} // namespace

TuneClock::TuneClock(const std::vector<TempoMark>& marks)
{
    double ticks = 0;
    std::int64_t clock = 0;
    int bpm = 120;
    for (const TempoMark& mark : marks) {
        const std::int64_t at = std::max(mark.clock, clock);
        ticks += static_cast<double>(at - clock) * ticksPerSixteenthTimesBpm / bpm;
        segments_.push_back(Segment{at, ticks, ticks / ticksPerSecond, mark.bpm});
        clock = at;
        bpm = mark.bpm;
    }
}

// The segment `clock` falls in; none before the first mark (tempo 120).
const TuneClock::Segment* TuneClock::segmentAt(std::int64_t clock) const
{
    // Times are mostly asked in order: the segment of the last answer, or
    // the one after it, is tried before a search.
    const std::size_t n = segments_.size();
    for (std::size_t k = last_; k < n && k <= last_ + 1; ++k)
        if (segments_[k].clock <= clock && (k + 1 == n || clock < segments_[k + 1].clock)) {
            last_ = k;
            return &segments_[k];
        }
    const auto after = std::upper_bound(segments_.begin(), segments_.end(), clock,
                                        [](std::int64_t c, const Segment& s) { return c < s.clock; });
    if (after == segments_.begin())
        return nullptr;
    last_ = static_cast<std::size_t>(after - segments_.begin()) - 1;
    return &*(after - 1);
}

double TuneClock::ticks(std::int64_t clock) const
{
    const Segment* const at = segmentAt(clock);
    const Segment from = at != nullptr ? *at : Segment{0, 0, 0, 120};
    return from.ticks + static_cast<double>(clock - from.clock) * ticksPerSixteenthTimesBpm / from.bpm;
}

double TuneClock::seconds(std::int64_t clock) const
{
    const Segment* const at = segmentAt(clock);
    const Segment from = at != nullptr ? *at : Segment{0, 0, 0, 120};
    return from.seconds + static_cast<double>(clock - from.clock) * secondsPerSixteenthTimesBpm / from.bpm;
}

std::int64_t previewTicks(const PlayedTune& tune, std::int64_t clock)
{
    return std::llround(TuneClock(tune.tempos).ticks(clock));
}

Preview makePreview(const TuneRead& read)
{
    Preview preview;
    if (read.tunes.size() >= 0xFFFF) {
        preview.remarks.push_back("Too many tunes for a MIDI file.");
        return preview;
    }
    const std::vector<int> channels = playChannels(read, preview.remarks);
    TrackOut conductor;
    conductor.meta(0, 0x51, std::string("\x07\xA1\x20", 3)); // 500000 microseconds: 120
    conductor.meta(0, 0x58, std::string("\x04\x02\x18\x08", 4));
    std::string midi = midiHeader(1, static_cast<int>(read.tunes.size()) + 1, previewDivision) + conductor.chunk();
    for (std::size_t i = 0; i < read.tunes.size(); ++i) {
        const std::string chunk = noteTrack(read.tunes[i], channels[i]);
        if (chunk.empty()) {
            preview.remarks.push_back("Channel " + std::to_string(read.tunes[i].channel) +
                                      " is too long for a MIDI file.");
            return preview;
        }
        midi += chunk;
    }
    preview.midi = std::move(midi);
    return preview;
}
