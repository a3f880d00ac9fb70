// The departure report: each traced note compared with the note its letter
// plays when the tune is read back, placed at its bar and beat.
#include "convert/DepartureReport.h"

#include "convert/AmountText.h"
#include "convert/Bars.h"
#include "convert/Conversion.h"
#include "convert/Fidelity.h"
#include "convert/LetterMap.h"

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <memory>
#include <optional>

namespace {

// Sixteenths of a tune far beyond any real one are held there, so that
// positions stay inside the 64-bit range.
constexpr std::int64_t maxSixteenths = std::int64_t{1} << 40;

// A start this close to its place (in 24ths of a quarter) counts as written.
constexpr std::int64_t halfSixteenth = 3;

// Sorts departures by place, equal places in the order they came. They come
// in a few runs already in order (the file's notes, its tempos, the notes no
// note was written for), so the runs are found and merged in pairs.
void placeInOrder(std::vector<Departure>& list)
{
    const auto before = [](const Departure& a, const Departure& b) { return a.position < b.position; };
    std::vector<std::size_t> bounds{0};
    for (std::size_t i = 1; i < list.size(); ++i)
        if (before(list[i], list[i - 1]))
            bounds.push_back(i);
    bounds.push_back(list.size());
    const auto at = [&list](std::size_t i) { return list.begin() + static_cast<std::ptrdiff_t>(i); };
    while (bounds.size() > 2) {
        std::vector<std::size_t> merged{0};
        for (std::size_t k = 2; k < bounds.size(); k += 2) {
            std::inplace_merge(at(bounds[k - 2]), at(bounds[k - 1]), at(bounds[k]), before);
            merged.push_back(bounds[k]);
        }
        if (merged.back() != bounds.back())
            merged.push_back(bounds.back());
        bounds = std::move(merged);
    }
}

// One channel: its trace, its written text and its played tune, each of
// which may be missing.
class ChannelReport {
public:
    ChannelReport(std::shared_ptr<const Bars> bars, int division, ChannelDepartures& out)
        : bars_(*bars), division_(division), out_(out)
    {
        out_.bars = std::move(bars);
    }

    void run(const ChannelTrace* trace, const std::string* written, const PlayedTune* played);

private:
    const Bars& bars_;
    std::int64_t division_;
    ChannelDepartures& out_;
    std::vector<Departure> placed_;
    std::vector<bool> matched_;
    // Where the last letter was found among the played notes: letters come
    // mostly in the order they were written, so the next is looked for
    // right after it first.
    std::size_t nextPlayed_ = 0;
    // The run of notes drifting the same way: its sign and where it began.
    int driftSign_ = 0;
    std::int64_t driftSince_ = 0;

    std::int64_t ofTick(std::int64_t tick) const { return tick * 24; }
    std::int64_t ofSixteenths(std::int64_t s) const
    {
        return std::clamp(s, -maxSixteenths, maxSixteenths) * 6 * division_;
    }
    Departure& add(DepartureKind kind, Wording wording, std::int64_t position, int pitch,
                   std::size_t note = noNote, std::size_t played = noNote);
    void traced(std::size_t index, const TracedNote& note, const std::optional<LetterMap>& map,
                const PlayedTune* played);
    void compare(std::size_t index, const TracedNote& note, std::size_t playedIndex, const PlayedNote& p);
    void followDrift(std::int64_t at, std::int64_t drift);
    void count(bool inPitch, bool onTime, bool inLength);
    void ends(const ChannelTrace* trace, const PlayedTune* played);
};

Departure& ChannelReport::add(DepartureKind kind, Wording wording, std::int64_t position, int pitch,
                              std::size_t note, std::size_t played)
{
    ++out_.counts[static_cast<std::size_t>(kind)];
    Departure& d = placed_.emplace_back();
    d.kind = kind;
    d.wording = wording;
    d.position = position;
    d.pitch = pitch;
    d.note = note;
    d.played = played;
    return d;
}

void ChannelReport::run(const ChannelTrace* trace, const std::string* written, const PlayedTune* played)
{
    out_.notesIn = trace ? trace->notes.size() : 0;
    if (trace)
        out_.fidelity.notes = static_cast<std::size_t>(
            std::count_if(trace->notes.begin(), trace->notes.end(), [](const TracedNote& n) { return !n.drum; }));
    out_.notesPlayed = played ? played->notes.size() : 0;
    matched_.assign(out_.notesPlayed, false);
    placed_.reserve(out_.notesIn);
    if (trace) {
        out_.polyphony = trace->polyphony;
        out_.outerVoices = trace->outerVoices;
        if (trace->followed) {
            std::optional<LetterMap> map;
            if (written && played)
                map.emplace(*written, played->text);
            for (std::size_t i = 0; i < trace->notes.size(); ++i)
                traced(i, trace->notes[i], map, played);
        }
        for (const TempoChange& t : trace->tempos) {
            const int bpm = std::clamp(t.bpm, 60, 180);
            if (bpm != t.bpm)
                add(DepartureKind::Tempo, Wording::Tempo, ofTick(t.tick), t.bpm).playedPitch = bpm;
        }
    }
    // Notes no note of the file was written for: added by an edit, or
    // started by a letter written to end a held note.
    for (std::size_t i = 0; i < out_.notesPlayed; ++i) {
        const PlayedNote& p = played->notes[i];
        if (matched_[i])
            continue;
        if (p.stuck)
            add(DepartureKind::Stuck, Wording::Stuck, ofSixteenths(p.start), p.pitch, noNote, i);
        else
            add(DepartureKind::Added, Wording::Added, ofSixteenths(p.start), p.pitch, noNote, i);
    }
    ends(trace, played);
    placeInOrder(placed_);
    out_.departures = std::move(placed_);
}

// A note of the file: dropped on the way, or compared with what its letter plays.
void ChannelReport::traced(std::size_t index, const TracedNote& note, const std::optional<LetterMap>& map,
                           const PlayedTune* played)
{
    const auto dropped = [&](Wording why) { add(DepartureKind::Dropped, why, ofTick(note.tick), note.pitch, index); };
    switch (note.fate) {
    case Fate::Identical: dropped(Wording::Identical); return;
    case Fate::Polyphony: dropped(Wording::Polyphony); return;
    case Fate::Cut: dropped(Wording::Cut); return;
    case Fate::Written: break;
    }
    std::size_t letter = 0;
    if (played && map && map->map(note.letter, letter)) {
        const auto& notes = played->notes;
        auto it = notes.begin() + static_cast<std::ptrdiff_t>(std::min(nextPlayed_, notes.size()));
        if (it == notes.end() || it->letter != letter || (it != notes.begin() && (it - 1)->letter == letter))
            it = std::lower_bound(notes.begin(), notes.end(), letter,
                                  [](const PlayedNote& n, std::size_t l) { return n.letter < l; });
        if (it != notes.end() && it->letter == letter) {
            const auto i = static_cast<std::size_t>(it - notes.begin());
            nextPlayed_ = i + 1;
            matched_[i] = true;
            compare(index, note, i, *it);
            return;
        }
        const auto& ends = played->heldEnds;
        const auto end = std::lower_bound(ends.begin(), ends.end(), letter,
                                          [](const HeldEnd& e, std::size_t l) { return e.letter < l; });
        if (end != ends.end() && end->letter == letter) {
            dropped(Wording::HeldAgain);
            return;
        }
    }
    dropped(Wording::Edited);
}

void ChannelReport::compare(std::size_t index, const TracedNote& note, std::size_t playedIndex, const PlayedNote& p)
{
    const std::int64_t at = ofTick(note.tick);
    const auto depart = [&](DepartureKind kind, Wording wording) -> Departure& {
        return add(kind, wording, at, note.pitch, index, playedIndex);
    };

    // From the note's own place on the grid: its rounding down to a
    // sixteenth, then the drift carried from the distances before it. A
    // drum's place counts too: the tune plays it where it drifted to.
    const std::int64_t sixteenth = floorDivide(note.snapped, 6);
    const std::int64_t rounding = sixteenth * 6 - note.snapped;
    const std::int64_t drift = p.start - sixteenth;
    followDrift(at, drift);
    // A drum has no pitch to keep: playing it at all is its one departure.
    if (note.drum) {
        depart(DepartureKind::Drum, Wording::Drum).playedPitch = p.pitch;
        ++out_.fidelity.drums;
        return;
    }

    if (p.pitch != note.pitch) {
        Wording why = Wording::PitchEdited;
        if (note.writtenPitch != note.pitch)
            why = note.writtenPitch > note.pitch ? Wording::TooLow : Wording::TooHigh;
        depart(DepartureKind::Pitch, why).playedPitch = p.pitch;
    }
    const std::int64_t offset = rounding + drift * 6;
    if (offset != 0) {
        Departure& d = depart(DepartureKind::Start, Wording::Start);
        d.offset = offset;
        d.amount = rounding;
        d.other = driftSince_;
    }

    bool inLength = true;
    if (p.stuck) {
        inLength = false;
        depart(DepartureKind::Stuck, Wording::Stuck);
    } else if (p.held && p.length > note.sixteenths) {
        depart(DepartureKind::HeldLate, Wording::HeldLate).amount = (p.length - note.sixteenths) * 6;
    } else {
        // The file's length in 24ths, rounded.
        const std::int64_t file = (std::int64_t{note.ticks} * 24 + division_ / 2) / division_;
        inLength = std::llabs(p.length * 6 - file) < 6;
        if (!inLength) {
            Departure& d = depart(DepartureKind::Length, Wording::Length);
            d.amount = file;
            d.other = p.length * 6;
        }
    }
    count(p.pitch == note.pitch, std::llabs(offset) <= halfSixteenth, inLength);
}

// The drift of the note at `at`, in sixteenths, into the channel's largest
// drift; a drift of one sign is told from the note where that sign began.
void ChannelReport::followDrift(std::int64_t at, std::int64_t drift)
{
    const int sign = drift > 0 ? 1 : drift < 0 ? -1 : 0;
    if (sign != driftSign_)
        driftSince_ = at;
    driftSign_ = sign;
    if (std::llabs(drift) > std::llabs(out_.largestDrift))
        out_.largestDrift = drift;
    if (drift != 0 && bars_.barOrMore(at, drift))
        out_.driftsABar = true;
}

// A played note of the file in the channel's fidelity.
void ChannelReport::count(bool inPitch, bool onTime, bool inLength)
{
    Fidelity& f = out_.fidelity;
    ++f.played;
    f.inPitch += inPitch ? 1 : 0;
    f.onTime += onTime ? 1 : 0;
    f.inLength += inLength ? 1 : 0;
    f.asWritten += inPitch && onTime && inLength ? 1 : 0;
}

// Where the last note of the tune ends, beside where the file's ends.
void ChannelReport::ends(const ChannelTrace* trace, const PlayedTune* played)
{
    std::int64_t tune = -1;
    if (played)
        for (const PlayedNote& n : played->notes)
            tune = std::max(tune, std::clamp(n.start + n.length, std::int64_t{0}, maxSixteenths));
    std::int64_t file = -1;
    if (trace)
        for (const TracedNote& n : trace->notes)
            file = std::max(file, std::int64_t{n.tick} + n.ticks);
    out_.tuneEnd = tune < 0 ? "none" : bars_.place(ofSixteenths(tune));
    out_.midiEnd = file < 0 ? "none" : bars_.place(ofTick(file));
    out_.endDifference =
        (tune < 0 || file < 0) ? "-" : sixteenths(tune * 6 - (file * 24 + division_ / 2) / division_);
}

} // namespace

std::vector<ChannelDepartures> reportDepartures(const DepartureTrace& trace, const std::vector<TuneRecord>& written,
                                                const TuneRead& played)
{
    const auto bars = std::make_shared<const Bars>(trace.division, trace.signatures);
    const int division = trace.division > 0 ? trace.division : 1;
    std::vector<ChannelDepartures> report;
    std::vector<bool> used(played.tunes.size(), false);
    for (int channel = 1; channel <= 16; ++channel) {
        const auto t = std::find_if(trace.channels.begin(), trace.channels.end(),
                                    [&](const ChannelTrace& c) { return c.channel == channel; });
        const auto w = std::find_if(written.begin(), written.end(),
                                    [&](const TuneRecord& r) { return r.channel == channel; });
        const auto p = std::find_if(played.tunes.begin(), played.tunes.end(),
                                    [&](const PlayedTune& tune) { return tune.channel == channel; });
        if (t == trace.channels.end() && p == played.tunes.end())
            continue;
        if (p != played.tunes.end())
            used[static_cast<std::size_t>(p - played.tunes.begin())] = true;
        report.emplace_back();
        report.back().channel = channel;
        report.back().keptInStep = trace.keepInStep;
        report.back().split = trace.splitParts > 0;
        measureMacros(report.back(), w == written.end() ? nullptr : &*w, p == played.tunes.end() ? nullptr : &*p);
        if (t != trace.channels.end() && !trace.fitOctaves) {
            report.back().octaveHint = t->octaves;
            report.back().moreInRange = t->moreInRange;
        }
        ChannelReport(bars, division, report.back())
            .run(t == trace.channels.end() ? nullptr : &*t, w == written.end() ? nullptr : &w->text,
                 p == played.tunes.end() ? nullptr : &*p);
    }
    // A second block of a channel has nothing of the file to match.
    for (std::size_t i = 0; i < played.tunes.size(); ++i) {
        if (used[i])
            continue;
        report.emplace_back();
        report.back().channel = played.tunes[i].channel;
        report.back().split = trace.splitParts > 0;
        measureMacros(report.back(), nullptr, &played.tunes[i]);
        ChannelReport(bars, division, report.back()).run(nullptr, nullptr, &played.tunes[i]);
    }
    return report;
}

std::string formatSummary(const ChannelDepartures& c)
{
    std::string text = "channel " + std::to_string(c.channel) + ": " + std::to_string(c.notesIn) + " notes in, " +
                       std::to_string(c.notesPlayed) + " played;";
    for (std::size_t k = 0; k < departureKinds; ++k)
        text += std::string(k == 0 ? " " : ", ") + kindName(static_cast<DepartureKind>(k)) + " " + std::to_string(c.counts[k]);
    text += "; largest drift " + sixteenths(c.largestDrift * 6) + "; ends " + c.tuneEnd + ", MIDI " + c.midiEnd +
            " (" + c.endDifference + ")";
    if (c.driftsABar && !c.keptInStep)
        text += "; drifts by a bar or more: -k keeps channels in step";
    // Octaves mean nothing to drums.
    if (c.octaveHint != 0 && c.fidelity.notes > 0) {
        const int size = std::abs(c.octaveHint);
        text += "; -o moves this channel " + std::to_string(size) + (size == 1 ? " octave " : " octaves ") +
                (c.octaveHint > 0 ? "up: " : "down: ") + std::to_string(c.moreInRange) +
                (c.moreInRange == 1 ? " more note in range" : " more notes in range");
    }
    // Kept last, so that what reads the fields before it reads them still;
    // drums played as pitches come after it.
    text += "; " + asWrittenShare(c.fidelity) + " as written, " + playedShare(c.fidelity) + " played";
    if (c.fidelity.drums > 0)
        text += "; " + drumWords(c.fidelity.drums) + "; drums: the game plays them as pitched notes, -d " +
                std::to_string(drumChannel) + " leaves them out";
    return text;
}

std::string formatDepartures(const std::vector<ChannelDepartures>& report)
{
    std::string text;
    for (const ChannelDepartures& c : report) {
        text += formatSummary(c) + "\n";
        for (const Departure& d : c.departures)
            text += "  " + formatDeparture(c, d) + "\n";
    }
    return text + formatSongLine(songFidelity(report)) + "\n";
}
