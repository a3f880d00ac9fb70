// Splitting a song into macros the game plays whole: where to cut (the
// same places for every channel), and each channel's pieces written as
// tunes of their own.
#include "convert/Split.h"

#include "convert/Bars.h"
#include "convert/DepartureTracer.h"
#include "core/Message.h"
#include "tune/MacroWriter.h"
#include "tune/TuneParser.h"
#include "tune/TuneWriter.h"

#include <algorithm>
#include <limits>
#include <tuple>
#include <utility>

namespace {

// A sixteenth in grid units (24ths of a quarter): cuts fall on sixteenths,
// so that the rests that pad a piece are exact.
constexpr std::int64_t sixteenth = 6;
// Characters of a piece beyond its notes: the restated tempo, volume and
// octave and the padding rest; a restarted note costs a few more.
constexpr std::int64_t pieceOverhead = 16;
constexpr std::int64_t restartCost = 6;
// Cut places looked at, at most (a huge rest in a hostile file).
constexpr std::size_t maxPlaces = std::size_t{1} << 20;
// Steps the choice of cuts may take before it goes the greedy way.
constexpr std::int64_t maxSteps = 400000;
constexpr std::size_t noLetter = std::numeric_limits<std::size_t>::max();

// A channel's written notes on the grid, with the characters the whole
// tune spent up to each of them.
struct Lane {
    int channel = 0;
    std::vector<std::int64_t> at;     // per element: grid position
    std::vector<std::int64_t> starts; // per written note, in element order
    std::vector<std::size_t> letters; // per written note: letter offset in the whole tune
    std::vector<std::int64_t> spanStarts; // written notes: starts, sorted
    std::vector<std::int64_t> spanEnds;   // and where they stop sounding as written, sorted
    std::size_t textSize = 0;
    std::int64_t end = 0; // where its last written note ends

    // Notes sounding across `place`.
    std::int64_t across(std::int64_t place) const
    {
        const auto begun = std::lower_bound(spanStarts.begin(), spanStarts.end(), place) - spanStarts.begin();
        const auto ended = std::upper_bound(spanEnds.begin(), spanEnds.end(), place) - spanEnds.begin();
        return begun - ended;
    }
    // Characters the whole tune spent before its first note at or after `place`.
    std::int64_t charsBefore(std::int64_t place) const
    {
        const auto i = std::lower_bound(starts.begin(), starts.end(), place) - starts.begin();
        return static_cast<std::int64_t>(static_cast<std::size_t>(i) < letters.size() ? letters[i] : textSize);
    }
    // The characters a piece [a, b) of this channel is guessed to take.
    std::int64_t estimate(std::int64_t a, std::int64_t b) const
    {
        if (end <= a)
            return 0;
        const std::int64_t rests = (b - a) / sixteenth / 8 * 2 + 3;
        return std::max(charsBefore(b) - charsBefore(a), rests) + pieceOverhead + restartCost * across(a);
    }
};

// A place a cut may fall: a bar line or a beat, and the notes across it.
struct Place {
    std::int64_t at;
    bool bar;
    std::int64_t across;
};

// The whole tune of a channel, written silently, as the measure of its pieces.
Lane makeLane(const std::vector<Element>& elements, int channel, const TuneOptions& options)
{
    Lane lane;
    lane.channel = channel;
    std::vector<WrittenNote> written;
    TuneWriter writer(elements, options);
    writer.record(&written);
    writer.write();
    lane.textSize = writer.text().str().size();
    std::int64_t at = 0;
    std::size_t note = 0;
    lane.at.reserve(elements.size());
    for (const Element& element : elements) {
        at += element.delta;
        lane.at.push_back(at);
        if (!element.isNote())
            continue;
        const std::size_t k = note++;
        if (k >= written.size() || written[k].letter == noLetter)
            continue;
        lane.starts.push_back(at);
        lane.letters.push_back(written[k].letter);
        const std::int64_t end = at + TuneWriter::soundingLength(element.length, options.longChords);
        lane.end = std::max(lane.end, end);
        lane.spanStarts.push_back(at);
        lane.spanEnds.push_back(end);
    }
    std::sort(lane.spanStarts.begin(), lane.spanStarts.end());
    std::sort(lane.spanEnds.begin(), lane.spanEnds.end());
    return lane;
}

// `scaled` / `scale` 24ths of a tick, on the grid to the nearest sixteenth.
std::int64_t onGrid(std::int64_t scaled, std::int64_t scale, int division)
{
    const std::int64_t unit = scale * division * sixteenth;
    return (scaled + unit / 2) / unit * sixteenth;
}

// Calls `visit(at, bar)` for the bar lines and beats before `end`, from
// the time signatures, in order (several on one sixteenth count as one).
template <typename Visit>
void forEachBeat(const Bars& bars, int division, std::int64_t end, Visit visit)
{
    const auto& metres = bars.metres();
    std::int64_t last = 0;
    for (std::size_t m = 0; m < metres.size(); ++m) {
        const Bars::Metre& metre = metres[m];
        const std::int64_t den = metre.denominator;
        const std::int64_t beat = 96 * std::int64_t{division};
        const std::int64_t stop =
            m + 1 < metres.size() ? metres[m + 1].start * den : std::numeric_limits<std::int64_t>::max();
        for (std::int64_t k = 0;; ++k) {
            const std::int64_t scaled = metre.start * den + k * beat;
            const std::int64_t at = onGrid(scaled, den, division);
            if (scaled >= stop || at >= end)
                break;
            if (at > last || (k % metre.numerator == 0 && at == last && at > 0))
                visit(at, k % metre.numerator == 0);
            last = std::max(last, at);
        }
    }
}

// The places a cut may fall before `end`. A song too long to look at every
// beat (a huge rest) is looked at every so many beats.
std::vector<Place> places(const Bars& bars, int division, std::int64_t end)
{
    std::size_t count = 0;
    forEachBeat(bars, division, end, [&](std::int64_t, bool) { ++count; });
    const std::size_t stride = count / maxPlaces + 1;
    std::vector<Place> result;
    result.reserve(count / stride + 1);
    std::size_t index = 0;
    forEachBeat(bars, division, end, [&](std::int64_t at, bool bar) {
        if (!result.empty() && result.back().at == at) {
            result.back().bar = result.back().bar || bar; // a bar line on the beat before it
            return;
        }
        if (index++ % stride == 0)
            result.push_back(Place{at, bar, 0});
    });
    return result;
}

// The choice of cuts among the places: at bar lines wherever a bar fits,
// then fewest pieces, then fewest notes across, then the most even pieces.
class CutChooser {
public:
    CutChooser(const std::vector<Lane>& lanes, std::vector<Place> nodes, std::int64_t budget)
        : lanes_(lanes), nodes_(std::move(nodes)), budget_(budget)
    {
    }

    // Indices of the nodes where pieces start (the first is 0).
    std::vector<std::size_t> choose();

private:
    // A way to a node: cuts at beats (a fallback where a bar cannot fit),
    // then pieces, then notes across the cuts, then unevenness, fewest first.
    struct Best {
        std::int64_t beats = std::numeric_limits<std::int64_t>::max();
        std::int64_t pieces = 0;
        std::int64_t across = 0;
        std::int64_t unevenness = 0;
        std::size_t from = 0;
        bool operator<(const Best& o) const
        {
            return std::tie(beats, pieces, across, unevenness) < std::tie(o.beats, o.pieces, o.across, o.unevenness);
        }
    };

    const std::vector<Lane>& lanes_;
    std::vector<Place> nodes_;
    std::int64_t budget_;

    std::int64_t largest(std::size_t i, std::size_t j) const
    {
        std::int64_t most = 0;
        for (const Lane& lane : lanes_)
            most = std::max(most, lane.estimate(nodes_[i].at, nodes_[j].at));
        return most;
    }
    bool atBeat(std::size_t j) const { return j + 1 < nodes_.size() && !nodes_[j].bar; }
    std::vector<std::size_t> farthest() const;
};

// Per node, the farthest node a piece from it may reach and still fit (the
// next one when none fits).
std::vector<std::size_t> CutChooser::farthest() const
{
    std::vector<std::size_t> far(nodes_.size(), 0);
    std::size_t j = 1;
    for (std::size_t i = 0; i + 1 < nodes_.size(); ++i) {
        j = std::max(j, i + 1);
        while (j + 1 < nodes_.size() && largest(i, j + 1) <= budget_)
            ++j;
        far[i] = j;
    }
    return far;
}

std::vector<std::size_t> CutChooser::choose()
{
    const std::vector<std::size_t> far = farthest();
    const std::size_t last = nodes_.size() - 1;
    std::int64_t steps = 0;
    for (std::size_t i = 0; i < last; ++i)
        steps += static_cast<std::int64_t>(far[i] - i);
    std::vector<std::size_t> starts;
    if (steps > maxSteps) {
        // Too many choices to weigh: each piece as long as fits.
        for (std::size_t i = 0; i < last; i = far[i])
            starts.push_back(i);
        return starts;
    }
    std::vector<Best> best(nodes_.size());
    best[0].beats = 0;
    for (std::size_t i = 0; i < last; ++i) {
        if (best[i].beats == std::numeric_limits<std::int64_t>::max())
            continue;
        for (std::size_t j = i + 1; j <= far[i]; ++j) {
            const std::int64_t size = largest(i, j);
            const Best next{best[i].beats + (atBeat(j) ? 1 : 0), best[i].pieces + 1, best[i].across + nodes_[j].across,
                            best[i].unevenness + size * size, i};
            if (next < best[j])
                best[j] = next;
        }
    }
    for (std::size_t j = last; j != 0; j = best[j].from)
        starts.push_back(best[j].from);
    std::reverse(starts.begin(), starts.end());
    return starts;
}

// A discarding console: the trial runs print nothing.
void discard(const ConsoleText&) {}

// Writes one channel's pieces, walking its elements once with the state in
// force at each cut (tempo, volumes, notes sounding across).
class ChannelCutter {
public:
    ChannelCutter(const std::vector<Element>& elements, const Lane& lane, const TuneOptions& options,
                  std::vector<WrittenNote>* written)
        : elements_(elements), lane_(lane), options_(options), written_(written)
    {
        options_.restate = true;
    }

    // Writes the piece [a, b) as macro `k`; `pad` fills it to its length.
    // False once the channel's text would pass the cap.
    bool piece(std::size_t k, std::int64_t a, std::int64_t b, bool pad, const Bars& bars, int division);
    // The macros of the channel.
    SplitTune tune;
    // Parts of each macro, in order.
    std::vector<int> parts;

private:
    const std::vector<Element>& elements_;
    const Lane& lane_;
    TuneOptions options_;
    std::vector<WrittenNote>* written_;
    std::size_t next_ = 0;
    int tempo_ = 120;
    std::array<int, channelCount> volumes_{};
    std::array<bool, channelCount> volumeSet_{};
    std::vector<std::size_t> open_; // notes sounding past the last cut

    void keep(const Element& element);
    // Where note `i` stops sounding as the tune writes it.
    std::int64_t soundingEnd(std::size_t i) const
    {
        return lane_.at[i] + TuneWriter::soundingLength(elements_[i].length, options_.longChords);
    }
    std::size_t gather(std::int64_t a, std::int64_t b, std::vector<Element>& list);
    void take(std::size_t i, std::int64_t b, std::int64_t previous, std::vector<Element>& list);
    bool append(std::string text, const std::vector<WrittenNote>& records, std::size_t restarted);
};

// The piece's elements: the tempo and volumes in force, the notes sounding
// across the cut (restarted), then its own. Returns the restarted count.
std::size_t ChannelCutter::gather(std::int64_t a, std::int64_t b, std::vector<Element>& list)
{
    // Changes at the cut itself are part of the state restated.
    for (; next_ < elements_.size() && lane_.at[next_] <= a && !elements_[next_].isNote(); ++next_)
        keep(elements_[next_]);
    list.push_back(Element::makeTempo(0, lane_.channel, tempo_));
    for (int ch = 0; ch < channelCount; ++ch)
        if (volumeSet_[static_cast<std::size_t>(ch)])
            list.push_back(Element::makeVolume(0, ch, volumes_[static_cast<std::size_t>(ch)]));
    for (Element& element : list)
        element.delta = 0;
    std::vector<std::size_t> still;
    for (const std::size_t i : open_) {
        const std::int64_t end = soundingEnd(i);
        Element note = elements_[i];
        note.delta = 0;
        note.length = static_cast<int>(std::min(end, b) - a);
        // A tail shorter than a sixteenth is not worth a letter.
        if (note.length >= sixteenth)
            list.push_back(note);
        if (end > b)
            still.push_back(i);
    }
    const auto restarted = static_cast<std::size_t>(
        std::count_if(list.begin(), list.end(), [](const Element& element) { return element.isNote(); }));
    open_ = std::move(still);
    for (std::int64_t previous = a; next_ < elements_.size() && lane_.at[next_] < b; ++next_) {
        take(next_, b, previous, list);
        previous = lane_.at[next_];
    }
    return restarted;
}

// A tempo or volume change, kept as the state in force.
void ChannelCutter::keep(const Element& element)
{
    if (element.kind == ElementKind::Tempo) {
        tempo_ = element.bpm;
    } else if (element.kind == ElementKind::Volume && element.channel >= 0 && element.channel < channelCount) {
        volumes_[static_cast<std::size_t>(element.channel)] = element.volume;
        volumeSet_[static_cast<std::size_t>(element.channel)] = true;
    }
}

// One element of the piece ending at `b`; its delta counts from `previous`.
void ChannelCutter::take(std::size_t i, std::int64_t b, std::int64_t previous, std::vector<Element>& list)
{
    Element element = elements_[i];
    const std::int64_t at = lane_.at[i];
    element.delta = static_cast<int>(at - previous);
    keep(element);
    if (element.isNote() && soundingEnd(i) > b) {
        element.length = static_cast<int>(b - at);
        open_.push_back(i);
    }
    list.push_back(element);
}

} // namespace

namespace {

bool ChannelCutter::piece(std::size_t k, std::int64_t a, std::int64_t b, bool pad, const Bars& bars, int division)
{
    std::vector<Element> list;
    const std::size_t restarted = gather(a, b, list);
    TuneWriter writer(list, options_);
    std::vector<WrittenNote> records;
    writer.record(&records);
    writer.write();
    tune.status |= writer.status();
    std::string text = writer.text().take();
    PlayedTune played;
    parseTune(text, played, [](bool, std::size_t, std::string) {});
    const std::int64_t length = (b - a) / sixteenth;
    const int channel = lane_.channel + 1;
    const int macro = static_cast<int>(k) + 1;
    if (pad && played.end < length) {
        TuneText rest;
        TuneEncoder::addPause(rest, static_cast<int>(std::min<std::int64_t>(length - played.end, TuneText::maxText)));
        text += rest.take();
    } else if (pad && played.end > length) {
        report(Code::MacroOverrun, channel, channel, macro,
            static_cast<int>(std::min<std::int64_t>(played.end - length, TuneText::maxText)));
    }
    if (restarted > 0) {
        const std::string place = bars.place(a * division);
        report(Code::NotesAcrossEnd, channel, channel, static_cast<int>(restarted), restarted == 1 ? "" : "s",
               place.c_str(), restarted == 1 ? "s" : "", restarted == 1 ? "s" : "", macro);
    }
    return append(std::move(text), records, restarted);
}

// Adds a piece's text and the records of its own notes (not the restarted
// ones); false once the channel's text would pass the cap.
bool ChannelCutter::append(std::string text, const std::vector<WrittenNote>& records, std::size_t restarted)
{
    if (static_cast<std::int64_t>(tune.text.size() + text.size()) > TuneText::maxText) {
        report(Code::CutAtCap, lane_.channel + 1, static_cast<int>(TuneText::maxText));
        tune.status |= TuneStatus::MacroTooLong;
        return false;
    }
    const std::size_t offset = tune.text.size();
    tune.starts.push_back(offset);
    tune.text += text;
    parts.push_back(partsOf(text));
    if (written_) {
        for (std::size_t r = restarted; r < records.size(); ++r) {
            WrittenNote note = records[r];
            if (note.letter != noLetter)
                note.letter += offset;
            written_->push_back(note);
        }
    }
    return true;
}

// Everything the pieces are written from.
struct Plan {
    const Song& song;
    const std::vector<Lane>& lanes;
    const ChannelTuneOptions& options;
    const Bars& bars;
    int parts;
};

// The tunes of all channels for the pieces starting at `cuts` and ending at
// `end`; `over` marks the pieces that passed the parts in some channel.
SplitSong writePieces(const Plan& plan, const std::vector<std::int64_t>& cuts, std::int64_t end,
                      DepartureTracer* tracer, std::vector<bool>& over)
{
    SplitSong result;
    result.cuts = cuts;
    const std::size_t pieces = cuts.size();
    over.assign(pieces, false);
    for (const Lane& lane : plan.lanes) {
        if (lane.starts.empty())
            continue;
        const std::vector<Element>& elements = plan.song.channels[static_cast<std::size_t>(lane.channel)].elements;
        ChannelCutter cutter(elements, lane, plan.options[static_cast<std::size_t>(lane.channel)], tracer ? tracer->written(lane.channel) : nullptr);
        // Pieces up to the last one in which a note of the channel sounds.
        const auto last = static_cast<std::size_t>(
            std::upper_bound(cuts.begin(), cuts.end(), std::max(lane.end - 1, lane.starts.back())) - cuts.begin());
        for (std::size_t k = 0; k < last; ++k) {
            const std::int64_t b = k + 1 < pieces ? cuts[k + 1] : end;
            if (!cutter.piece(k, cuts[k], b, k + 1 < pieces, plan.bars, plan.song.division))
                break;
            if (cutter.parts[k] <= plan.parts)
                continue;
            over[k] = true;
            const std::string place = plan.bars.place(cuts[k] * plan.song.division);
            report(Code::BarDoesNotFit, lane.channel + 1, lane.channel + 1, static_cast<int>(k) + 1,
                   static_cast<int>(pieces), cutter.parts[k], place.c_str(), plan.parts);
            cutter.tune.status |= TuneStatus::MacroTooLong;
        }
        result.tunes[static_cast<std::size_t>(lane.channel)] = std::move(cutter.tune);
    }
    return result;
}

} // namespace

namespace {

// The time signatures of all tracks.
std::vector<TimeSignature> signatures(const Song& song)
{
    std::vector<TimeSignature> result;
    for (const Track& track : song.tracks)
        result.insert(result.end(), track.timeSignatures.begin(), track.timeSignatures.end());
    return result;
}

// The places a cut may fall, from the start to `end`, with the notes across.
std::vector<Place> nodesOf(const std::vector<Lane>& lanes, const Bars& bars, int division, std::int64_t end)
{
    std::vector<Place> nodes{Place{0, true, 0}};
    for (Place place : places(bars, division, end)) {
        for (const Lane& lane : lanes)
            place.across += lane.across(place.at);
        nodes.push_back(place);
    }
    nodes.push_back(Place{end, true, 0});
    return nodes;
}

// Whether a piece that passed its parts could have been cut shorter.
bool shortenable(const std::vector<bool>& over, const std::vector<std::size_t>& starts, std::size_t nodes)
{
    for (std::size_t k = 0; k < over.size(); ++k) {
        const std::size_t next = k + 1 < starts.size() ? starts[k + 1] : nodes - 1;
        if (over[k] && next - starts[k] > 1)
            return true;
    }
    return false;
}

} // namespace

SplitSong splitSong(const Song& song, const ChannelTuneOptions& options, int parts, DepartureTracer* tracer)
{
    std::vector<Lane> lanes;
    Message quiet(discard, Level::Fatal);
    {
        MessageScope scope(quiet);
        for (int ch = 0; ch < channelCount; ++ch)
            if (song.channels[static_cast<std::size_t>(ch)].used)
                lanes.push_back(makeLane(song.channels[static_cast<std::size_t>(ch)].elements, ch,
                                         options[static_cast<std::size_t>(ch)]));
    }
    std::int64_t end = 0;
    for (const Lane& lane : lanes)
        end = std::max(end, lane.end);
    end = (end + sixteenth - 1) / sixteenth * sixteenth;
    if (end <= 0)
        return SplitSong{};
    const Bars bars(song.division, signatures(song));
    const std::vector<Place> nodes = nodesOf(lanes, bars, song.division, end);
    const Plan plan{song, lanes, options, bars, parts};
    // The guess of the characters a piece takes is checked by writing the
    // pieces; a piece that came out too long makes the guess stricter.
    std::int64_t budget = partsBudget(parts);
    std::vector<std::size_t> starts;
    std::vector<std::int64_t> cuts;
    std::vector<bool> over;
    for (int trial = 0; trial < 6; ++trial) {
        starts = CutChooser(lanes, nodes, budget).choose();
        cuts.clear();
        for (const std::size_t i : starts)
            cuts.push_back(nodes[i].at);
        MessageScope scope(quiet);
        writePieces(plan, cuts, end, nullptr, over);
        if (!shortenable(over, starts, nodes.size()))
            break;
        budget = budget * 4 / 5;
    }
    return writePieces(plan, cuts, end, tracer, over);
}
