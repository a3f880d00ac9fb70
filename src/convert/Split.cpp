// Splitting a song into macros the game plays whole: the cuts (the same
// places for every channel) are chosen in SplitCuts; here each channel's
// pieces are written as tunes of their own.
#include "convert/Split.h"

#include "convert/Bars.h"
#include "convert/SplitCuts.h"
#include "convert/DepartureTracer.h"
#include "core/Message.h"
#include "tune/MacroWriter.h"
#include "tune/TuneParser.h"
#include "tune/TuneWriter.h"

#include <algorithm>
#include <utility>

namespace {

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
            if (note.letter != WrittenNote::noLetter)
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


// The time signatures of all tracks.
std::vector<TimeSignature> signatures(const Song& song)
{
    std::vector<TimeSignature> result;
    for (const Track& track : song.tracks)
        result.insert(result.end(), track.timeSignatures.begin(), track.timeSignatures.end());
    return result;
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
    const std::vector<Place> nodes = cutPlaces(lanes, bars, song.division, end);
    const Plan plan{song, lanes, options, bars, parts};
    // The guess of the characters a piece takes is checked by writing the
    // pieces; a piece that came out too long makes the guess stricter.
    std::int64_t budget = partsBudget(parts);
    std::vector<std::size_t> starts;
    std::vector<std::int64_t> cuts;
    std::vector<bool> over;
    for (int trial = 0; trial < 6; ++trial) {
        starts = chooseCuts(lanes, nodes, budget);
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
