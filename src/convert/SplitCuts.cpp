#include "convert/SplitCuts.h"

#include "tune/TuneText.h"
#include "tune/TuneWriter.h"

#include <limits>
#include <tuple>
#include <utility>

namespace {

// Cut places looked at, at most (a huge rest in a hostile file).
constexpr std::size_t maxPlaces = std::size_t{1} << 20;
// Steps the choice of cuts may take before it goes the greedy way.
constexpr std::int64_t maxSteps = 400000;

} // namespace

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
        if (k >= written.size() || written[k].letter == WrittenNote::noLetter)
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

namespace {

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
        tabulate();
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
    // Per node, then per lane: the characters the lane's tune spent before
    // its first note at or after the node, and the notes sounding across it.
    // The pieces weighed reach each node many times. A tune's text is
    // capped far below 2^32 characters, and its notes with it.
    struct AtNode {
        std::uint32_t chars;
        std::int32_t across;
    };
    std::vector<AtNode> table_;

    void tabulate();
    const AtNode& atNode(std::size_t node, std::size_t lane) const { return table_[node * lanes_.size() + lane]; }

    // What the estimate of a piece from a node needs, worked out once for
    // the many ends it is weighed with. A lane's piece is guessed to take
    // the characters its tune spent in between, or its rests when more,
    // plus the overhead and the restarts of the notes sounding across the
    // start; a lane whose notes are over takes nothing.
    struct From {
        std::int64_t at = 0;
        std::vector<std::size_t> lanes;    // the lanes with notes at or after `at`
        std::vector<std::int64_t> offsets; // per such lane: overhead and restarts, less the characters spent
        std::int64_t restMost = 0;         // overhead and the most restarts among them
    };
    // Sets `from` to node `i` (reusing its lists).
    void setFrom(std::size_t i, From& from) const
    {
        from.at = nodes_[i].at;
        from.lanes.clear();
        from.offsets.clear();
        from.restMost = 0;
        for (std::size_t k = 0; k < lanes_.size(); ++k) {
            if (lanes_[k].end <= from.at)
                continue;
            const AtNode& here = atNode(i, k);
            const std::int64_t extra = pieceOverhead + restartCost * std::int64_t{here.across};
            from.lanes.push_back(k);
            from.offsets.push_back(extra - std::int64_t{here.chars});
            from.restMost = std::max(from.restMost, extra);
        }
    }
    // The largest guess among the lanes for a piece from `from` to node `j`.
    std::int64_t largest(const From& from, std::size_t j) const
    {
        if (from.lanes.empty())
            return 0;
        const std::int64_t rests = (nodes_[j].at - from.at) / sixteenth / 8 * 2 + 3;
        std::int64_t most = rests + from.restMost;
        for (std::size_t n = 0; n < from.lanes.size(); ++n)
            most = std::max(most, std::int64_t{atNode(j, from.lanes[n]).chars} + from.offsets[n]);
        return most;
    }
    bool atBeat(std::size_t j) const { return j + 1 < nodes_.size() && !nodes_[j].bar; }
    std::vector<std::size_t> farthest() const;
};

void CutChooser::tabulate()
{
    static_assert(TuneText::maxText < std::numeric_limits<std::uint32_t>::max());
    const std::size_t count = lanes_.size();
    table_.resize(nodes_.size() * count);
    for (std::size_t k = 0; k < count; ++k) {
        Lane::Cursor cursor(lanes_[k]);
        for (std::size_t j = 0; j < nodes_.size(); ++j) {
            cursor.moveTo(nodes_[j].at);
            table_[j * count + k] = AtNode{static_cast<std::uint32_t>(cursor.chars()), static_cast<std::int32_t>(cursor.across())};
        }
    }
}

// Per node, the farthest node a piece from it may reach and still fit (the
// next one when none fits).
std::vector<std::size_t> CutChooser::farthest() const
{
    std::vector<std::size_t> far(nodes_.size(), 0);
    std::size_t j = 1;
    From start;
    for (std::size_t i = 0; i + 1 < nodes_.size(); ++i) {
        j = std::max(j, i + 1);
        setFrom(i, start);
        while (j + 1 < nodes_.size() && largest(start, j + 1) <= budget_)
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
    From start;
    for (std::size_t i = 0; i < last; ++i) {
        if (best[i].beats == std::numeric_limits<std::int64_t>::max())
            continue;
        setFrom(i, start);
        for (std::size_t j = i + 1; j <= far[i]; ++j) {
            Best next{best[i].beats + (atBeat(j) ? 1 : 0), best[i].pieces + 1, best[i].across + nodes_[j].across, 0, i};
            // The piece's size only decides between ways equal before it.
            if (std::tie(best[j].beats, best[j].pieces, best[j].across) < std::tie(next.beats, next.pieces, next.across))
                continue;
            const std::int64_t size = largest(start, j);
            next.unevenness = best[i].unevenness + size * size;
            if (next < best[j])
                best[j] = next;
        }
    }
    for (std::size_t j = last; j != 0; j = best[j].from)
        starts.push_back(best[j].from);
    std::reverse(starts.begin(), starts.end());
    return starts;
}

} // namespace

std::vector<Place> cutPlaces(const std::vector<Lane>& lanes, const Bars& bars, int division, std::int64_t end)
{
    std::vector<Place> nodes{Place{0, true, 0}};
    for (const Place& place : places(bars, division, end))
        nodes.push_back(place);
    for (const Lane& lane : lanes) {
        Lane::Cursor cursor(lane);
        for (std::size_t j = 1; j < nodes.size(); ++j) {
            cursor.moveTo(nodes[j].at);
            nodes[j].across += cursor.across();
        }
    }
    nodes.push_back(Place{end, true, 0});
    return nodes;
}

std::vector<std::size_t> chooseCuts(const std::vector<Lane>& lanes, std::vector<Place> nodes, std::int64_t budget)
{
    return CutChooser(lanes, std::move(nodes), budget).choose();
}
