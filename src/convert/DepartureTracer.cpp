// Following notes through the conversion: the stages keep each note's own
// tick time, duration, pitch, velocity and channel, and keep the order, so
// each stage's list is matched to the one before it in one walk.
#include "convert/DepartureTracer.h"

#include "arrange/ChannelQuantisation.h"
#include "core/WrappingArithmetic.h"


DepartureTracer::Key DepartureTracer::keyOf(const Element& note)
{
    return Key{note.time, note.duration, note.pitch, note.velocity, note.channel};
}

void DepartureTracer::quantised(int channel, const std::vector<Element>& elements)
{
    Followed& f = channels_[static_cast<std::size_t>(channel)];
    f = Followed{};
    f.notes.reserve(elements.size());
    f.keys.reserve(elements.size());
    f.listed.reserve(elements.size());
    std::int64_t grid = 0;
    for (const Element& e : elements) {
        grid += e.delta;
        if (!e.isNote())
            continue;
        TracedNote note;
        note.tick = e.time;
        note.ticks = e.duration;
        note.pitch = e.pitch;
        note.grid = grid;
        note.snapped = quantiseTicks(e.time, division_, triplets_);
        // A merge keeps each element's own channel.
        note.drum = e.channel == drumChannel - 1;
        f.listed.push_back(static_cast<std::uint32_t>(f.notes.size()));
        f.notes.push_back(note);
        f.keys.push_back(keyOf(e));
    }
}

void DepartureTracer::identicalRemoved(int channel, const std::vector<Element>& elements)
{
    align(channels_[static_cast<std::size_t>(channel)], elements, Fate::Identical);
}

void DepartureTracer::polyphonyLimited(int channel, const std::vector<Element>& elements)
{
    Followed& f = channels_[static_cast<std::size_t>(channel)];
    align(f, elements, Fate::Polyphony);
    clockOf(f, elements);
    for (const Element& e : elements)
        if (e.kind == ElementKind::Tempo)
            f.tempos.push_back(TempoChange{e.time, e.bpm});
}

// The notes of `elements` are the listed notes less some, in order: the
// others met `fate`. Notes alike in every key are alike in every respect
// the report shows, so matching the first alike note is exact.
void DepartureTracer::align(Followed& f, const std::vector<Element>& elements, Fate fate)
{
    if (!f.followed)
        return;
    std::vector<std::uint32_t> kept;
    kept.reserve(f.listed.size());
    std::size_t i = 0;
    for (const Element& e : elements) {
        if (!e.isNote())
            continue;
        const Key key = keyOf(e);
        while (i < f.listed.size() && !(f.keys[f.listed[i]] == key))
            f.notes[f.listed[i++]].fate = fate;
        if (i == f.listed.size()) {
            f.followed = false;
            return;
        }
        kept.push_back(f.listed[i++]);
    }
    for (; i < f.listed.size(); ++i)
        f.notes[f.listed[i]].fate = fate;
    f.listed.swap(kept);
}

// Each note's start on the tune's clock, as the encoder counts it: the
// leading rest is the first note's grid position in sixteenths, and each
// next note starts a gap later (a gap the list makes negative is none).
void DepartureTracer::clockOf(Followed& f, const std::vector<Element>& elements) const
{
    f.grid.clear();
    f.grid.reserve(f.listed.size());
    std::int64_t grid = 0;
    for (const Element& e : elements) {
        grid += e.delta;
        if (e.isNote())
            f.grid.push_back(grid);
    }
    f.clock.assign(f.grid.size(), 0);
    for (std::size_t k = 0; k < f.grid.size(); ++k) {
        if (k == 0) {
            f.clock[k] = std::max<std::int64_t>(f.grid[0] / 6, 0);
            continue;
        }
        const std::int64_t gap =
            keepInStep_ ? f.grid[k] / 6 - f.grid[k - 1] / 6 : (f.grid[k] - f.grid[k - 1]) / 6;
        f.clock[k] = f.clock[k - 1] + std::max<std::int64_t>(gap, 0);
    }
}

// The encoder's records, one per listed note in order; notes it wrote no
// letter for were lost at the text cap.
void DepartureTracer::attachWritten(Followed& f)
{
    for (std::size_t k = 0; k < f.listed.size(); ++k) {
        TracedNote& note = f.notes[f.listed[k]];
        note.grid = f.grid[k];
        if (k >= f.written.size() || f.written[k].letter == WrittenNote::noLetter) {
            note.fate = Fate::Cut;
            continue;
        }
        const WrittenNote& w = f.written[k];
        note.start = f.clock[k];
        note.sixteenths = w.sixteenths;
        note.writtenPitch = w.pitch;
        note.volume = w.volume;
        note.held = w.held;
        note.letter = w.letter;
    }
}

DepartureTrace DepartureTracer::finish(const Song& song)
{
    DepartureTrace trace;
    trace.division = song.division;
    trace.keepInStep = keepInStep_;
    // Arranged channels have their moves: no hint of -o for them.
    trace.fitOctaves = fitOctaves_ || arranged_;
    trace.splitParts = splitParts_;
    for (const Track& track : song.tracks)
        trace.signatures.insert(trace.signatures.end(), track.timeSignatures.begin(), track.timeSignatures.end());
    for (int ch = 0; ch < channelCount; ++ch) {
        if (!song.channels[ch].used)
            continue;
        Followed& f = channels_[static_cast<std::size_t>(ch)];
        ChannelTrace channel;
        channel.channel = ch + 1;
        channel.polyphony = song.settings.polyphony[static_cast<std::size_t>(ch)];
        channel.outerVoices = song.settings.keepOuterVoices;
        channel.followed = f.followed && f.grid.size() == f.listed.size();
        if (channel.followed)
            attachWritten(f);
        // With -o the channel's notes are its own transposition's: the move
        // is asked for, not a departure.
        const int shift = fitOctaves_ ? 12 * f.fit.octaves : 0;
        for (TracedNote& note : f.notes)
            note.pitch = addWrap(note.pitch, addWrap(song.transpose, shift));
        channel.octaves = f.fit.octaves;
        channel.moreInRange = f.fit.outside - f.fit.outsideMoved;
        channel.notes = std::move(f.notes);
        channel.tempos = std::move(f.tempos);
        trace.channels.push_back(std::move(channel));
        f = Followed{};
    }
    return trace;
}
