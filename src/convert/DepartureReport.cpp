// The departure report: each traced note compared with the note its letter
// plays when the tune is read back, placed at its bar and beat.
#include "convert/DepartureReport.h"

#include "convert/Amounts.h"
#include "convert/Bars.h"
#include "convert/Conversion.h"
#include "convert/Fidelity.h"
#include "convert/LetterMap.h"

#include <algorithm>
#include <cstdlib>
#include <numeric>
#include <optional>

namespace {

constexpr const char* kindWords[departureKinds] = {"dropped", "start", "length", "pitch",
                                                   "held-late", "stuck", "tempo", "added"};

// Sixteenths of a tune far beyond any real one are held there, so that
// positions stay inside the 64-bit range.
constexpr std::int64_t maxSixteenths = std::int64_t{1} << 40;

// A start this close to its place (in 24ths of a quarter) counts as written.
constexpr std::int64_t halfSixteenth = 3;

// The bar of a place: "12" of "12:3+1/2".
std::string barOf(const std::string& place)
{
    return place.substr(0, place.find(':'));
}

// One channel: its trace, its written text and its played tune, each of
// which may be missing.
class ChannelReport {
public:
    ChannelReport(const Bars& bars, int division, ChannelDepartures& out)
        : bars_(bars), division_(division), out_(out)
    {
    }

    void run(const ChannelTrace* trace, const std::string* written, const PlayedTune* played);

private:
    const Bars& bars_;
    std::int64_t division_;
    ChannelDepartures& out_;
    std::vector<Departure> placed_;
    std::vector<bool> matched_;
    int polyphony_ = 0;
    bool outerVoices_ = false;
    // The run of notes drifting the same way: its sign and where it began.
    int driftSign_ = 0;
    std::int64_t driftSince_ = 0;

    std::int64_t ofTick(std::int64_t tick) const { return tick * 24; }
    std::int64_t ofSixteenths(std::int64_t s) const
    {
        return std::clamp(s, -maxSixteenths, maxSixteenths) * 6 * division_;
    }
    void add(std::int64_t position, DepartureKind kind, std::string detail, std::string words,
             std::size_t note = noNote, std::size_t played = noNote);
    void traced(std::size_t index, const TracedNote& note, const std::optional<LetterMap>& map,
                const PlayedTune* played);
    void compare(std::size_t index, const TracedNote& note, std::size_t playedIndex, const PlayedNote& p);
    std::string startWords(std::int64_t rounding, std::int64_t drift) const;
    std::string polyphonyWords() const;
    void count(bool inPitch, bool onTime, bool inLength);
    void ends(const ChannelTrace* trace, const PlayedTune* played);
};

void ChannelReport::add(std::int64_t position, DepartureKind kind, std::string detail, std::string words,
                        std::size_t note, std::size_t played)
{
    ++out_.counts[static_cast<std::size_t>(kind)];
    placed_.push_back(Departure{bars_.place(position), kind, std::move(detail), position, note, played, std::move(words)});
}

void ChannelReport::run(const ChannelTrace* trace, const std::string* written, const PlayedTune* played)
{
    out_.notesIn = trace ? trace->notes.size() : 0;
    out_.fidelity.notes = out_.notesIn;
    out_.notesPlayed = played ? played->notes.size() : 0;
    matched_.assign(out_.notesPlayed, false);
    if (trace) {
        polyphony_ = trace->polyphony;
        outerVoices_ = trace->outerVoices;
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
                add(ofTick(t.tick), DepartureKind::Tempo, std::to_string(t.bpm) + " played " + std::to_string(bpm),
                    "tempo " + std::to_string(t.bpm) + " is played at " + std::to_string(bpm) +
                        ": the game plays 60 to 180");
        }
    }
    // Notes no note of the file was written for: added by an edit, or
    // started by a letter written to end a held note.
    for (std::size_t i = 0; i < out_.notesPlayed; ++i) {
        const PlayedNote& p = played->notes[i];
        if (matched_[i])
            continue;
        if (p.stuck)
            add(ofSixteenths(p.start), DepartureKind::Stuck, noteName(p.pitch),
                "held and never ended: stuck, it sounds to the end of the tune", noNote, i);
        else
            add(ofSixteenths(p.start), DepartureKind::Added, noteName(p.pitch),
                "played, but written for no note of the MIDI file", noNote, i);
    }
    ends(trace, played);
    // In the order of their places; the departures are moved, not sorted.
    std::vector<std::size_t> order(placed_.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::stable_sort(order.begin(), order.end(),
                     [this](std::size_t a, std::size_t b) { return placed_[a].position < placed_[b].position; });
    out_.departures.reserve(placed_.size());
    for (const std::size_t i : order)
        out_.departures.push_back(std::move(placed_[i]));
}

// A note of the file: dropped on the way, or compared with what its letter plays.
void ChannelReport::traced(std::size_t index, const TracedNote& note, const std::optional<LetterMap>& map,
                           const PlayedTune* played)
{
    const std::int64_t at = ofTick(note.tick);
    const std::string name = noteName(note.pitch);
    const auto dropped = [&](const std::string& why, std::string words) {
        add(at, DepartureKind::Dropped, name + " (" + why + ")", std::move(words), index);
    };
    switch (note.fate) {
    case Fate::Identical:
        dropped("identical", "dropped: a note of the same pitch starts with it (-e)");
        return;
    case Fate::Polyphony:
        dropped("polyphony", polyphonyWords());
        return;
    case Fate::Cut: dropped("cut: the tune passed the text cap", "dropped: the tune passed the text cap"); return;
    case Fate::Written: break;
    }
    std::size_t letter = 0;
    if (played && map && map->map(note.letter, letter)) {
        const auto& notes = played->notes;
        const auto it = std::lower_bound(notes.begin(), notes.end(), letter,
                                         [](const PlayedNote& n, std::size_t l) { return n.letter < l; });
        if (it != notes.end() && it->letter == letter) {
            const auto i = static_cast<std::size_t>(it - notes.begin());
            matched_[i] = true;
            compare(index, note, i, *it);
            return;
        }
        const auto& ends = played->heldEnds;
        const auto end = std::lower_bound(ends.begin(), ends.end(), letter,
                                          [](const HeldEnd& e, std::size_t l) { return e.letter < l; });
        if (end != ends.end() && end->letter == letter) {
            dropped("held again: read as the end of the held note before it",
                    "dropped: a held note of its pitch still sounds, and its letter ends that one");
            return;
        }
    }
    dropped("edited: not in the text", "dropped: not in the text");
}

// Why the polyphony limit dropped a note, with the limit when there is one.
std::string ChannelReport::polyphonyWords() const
{
    if (polyphony_ <= 0)
        return "dropped by the polyphony limit";
    const std::string limit = std::to_string(polyphony_);
    return outerVoices_ ? "dropped: inner voice of a chord over the limit of " + limit
                        : "dropped by the polyphony limit of " + limit;
}

// "starts 1/32 late: drift from bar 12", from the note's rounding down to a
// sixteenth and the drift carried to it (both in 24ths of a quarter).
std::string ChannelReport::startWords(std::int64_t rounding, std::int64_t drift) const
{
    const std::int64_t total = rounding + drift;
    const auto way = [](std::int64_t amount) { return amount > 0 ? " late" : " early"; };
    std::string words = "starts " + noteValue(total) + way(total) + ": ";
    const std::string since = "from bar " + barOf(bars_.place(driftSince_));
    if (drift == 0)
        return words + "rounded down to the sixteenth grid";
    if (rounding == 0)
        return words + "drift " + since;
    return words + "rounded down " + noteValue(rounding) + ", drift of " + noteValue(drift) + way(drift) + " " + since;
}

void ChannelReport::compare(std::size_t index, const TracedNote& note, std::size_t playedIndex, const PlayedNote& p)
{
    const std::int64_t at = ofTick(note.tick);
    const std::string name = noteName(note.pitch);
    const auto depart = [&](DepartureKind kind, std::string detail, std::string words) {
        add(at, kind, std::move(detail), std::move(words), index, playedIndex);
    };
    if (p.pitch != note.pitch) {
        std::string why = ": the text was edited";
        if (note.writtenPitch != note.pitch)
            why = note.writtenPitch > note.pitch ? ": too low for the game" : ": too high for the game";
        depart(DepartureKind::Pitch, name + " played " + noteName(p.pitch),
               "played as " + noteName(p.pitch) + " instead of " + name + why);
    }

    // From the note's own place on the grid: its rounding down to a
    // sixteenth, then the drift carried from the distances before it.
    const std::int64_t sixteenth = floorDivide(note.snapped, 6);
    const std::int64_t rounding = sixteenth * 6 - note.snapped;
    const std::int64_t drift = p.start - sixteenth;
    // A drift of one sign is told from the note where that sign began.
    const int sign = drift > 0 ? 1 : drift < 0 ? -1 : 0;
    if (sign != driftSign_)
        driftSince_ = at;
    driftSign_ = sign;
    const std::int64_t offset = rounding + drift * 6;
    if (offset != 0) {
        depart(DepartureKind::Start,
               name + " " + sixteenths(offset) + " (rounding " + sixteenths(rounding) + ", drift " +
                   sixteenths(drift * 6) + ")",
               startWords(rounding, drift * 6));
        placed_.back().offset = offset;
    }
    if (std::llabs(drift) > std::llabs(out_.largestDrift))
        out_.largestDrift = drift;
    if (drift != 0 && bars_.barOrMore(at, drift))
        out_.driftsABar = true;

    bool inLength = true;
    if (p.stuck) {
        inLength = false;
        depart(DepartureKind::Stuck, name, "held and never ended: stuck, it sounds to the end of the tune");
    } else if (p.held && p.length > note.sixteenths) {
        const std::int64_t late = (p.length - note.sixteenths) * 6;
        depart(DepartureKind::HeldLate, name + " " + sixteenths(late),
               "held " + noteValue(late) + " longer: a held note ends only where no note sounds alone");
    } else {
        // The file's length in 24ths, rounded.
        const std::int64_t file = (std::int64_t{note.ticks} * 24 + division_ / 2) / division_;
        inLength = std::llabs(p.length * 6 - file) < 6;
        if (!inLength)
            depart(DepartureKind::Length, name + " " + sixteenths(file, false) + " played " +
                                              sixteenths(p.length * 6, false),
                   "lasts " + noteValue(p.length * 6) + " instead of " + noteValue(file));
    }
    count(p.pitch == note.pitch, std::llabs(offset) <= halfSixteenth, inLength);
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
    const Bars bars(trace.division, trace.signatures);
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
        text += std::string(k == 0 ? " " : ", ") + kindWords[k] + " " + std::to_string(c.counts[k]);
    text += "; largest drift " + sixteenths(c.largestDrift * 6) + "; ends " + c.tuneEnd + ", MIDI " + c.midiEnd +
            " (" + c.endDifference + ")";
    if (c.driftsABar && !c.keptInStep)
        text += "; drifts by a bar or more: -k keeps channels in step";
    if (c.octaveHint != 0) {
        const int size = std::abs(c.octaveHint);
        text += "; -o moves this channel " + std::to_string(size) + (size == 1 ? " octave " : " octaves ") +
                (c.octaveHint > 0 ? "up: " : "down: ") + std::to_string(c.moreInRange) +
                (c.moreInRange == 1 ? " more note in range" : " more notes in range");
    }
    // Kept last, so that what reads the fields before it reads them still.
    text += "; " + percent(c.fidelity.asWritten, c.fidelity.notes) + " as written, " +
            percent(c.fidelity.played, c.fidelity.notes) + " played";
    return text;
}

std::string formatDeparture(const Departure& d)
{
    return d.place + " " + kindWords[static_cast<std::size_t>(d.kind)] + " " + d.detail;
}

std::string formatDepartures(const std::vector<ChannelDepartures>& report)
{
    std::string text;
    for (const ChannelDepartures& c : report) {
        text += formatSummary(c) + "\n";
        for (const Departure& d : c.departures)
            text += "  " + formatDeparture(d) + "\n";
    }
    return text + formatSongLine(songFidelity(report)) + "\n";
}
