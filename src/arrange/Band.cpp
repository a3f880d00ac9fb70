// Arranging a song's channels for a band of players.
#include "arrange/Band.h"

#include "arrange/BandGroups.h"
#include "core/Element.h"

#include <algorithm>
#include <bit>
#include <functional>
#include <memory>
#include <queue>
#include <tuple>

namespace {

constexpr int keys = midiKeys;
constexpr int moveCount = 2 * maxOctaveShift + 1; // -maxOctaveShift..maxOctaveShift

using Notes = std::array<std::vector<BandNote>, channelCount>;
using Moves = std::array<int, channelCount>;

std::size_t idx(int i) { return static_cast<std::size_t>(i); }
int clampKey(int pitch) { return std::clamp(pitch, 0, keys - 1); }
int sign(int v) { return (v > 0) - (v < 0); }

// How often two keys of two channels sound together.
struct PairCount {
    int first;  // key of the lower-numbered channel
    int second; // key of the other
    std::uint64_t times;
};

// How often each pair of keys of two channels sounded together: a count
// per pair, the table made on first use, and the pairs in use.
class KeyPairs {
public:
    void add(int first, int second, std::uint64_t times)
    {
        if (!cells_)
            cells_ = std::make_unique<std::uint64_t[]>(keys * keys);
        const auto cell = static_cast<std::size_t>(first * keys + second);
        if (cells_[cell] == 0)
            used_.push_back(cell);
        cells_[cell] += times;
    }
    // The pairs in use, in key order.
    std::vector<PairCount> counts()
    {
        std::sort(used_.begin(), used_.end());
        std::vector<PairCount> pairs;
        for (const std::size_t cell : used_)
            pairs.push_back(PairCount{static_cast<int>(cell / keys), static_cast<int>(cell % keys), cells_[cell]});
        return pairs;
    }

private:
    std::unique_ptr<std::uint64_t[]> cells_;
    std::vector<std::size_t> used_;
};

// What the search weighs, gathered once from the notes: per channel and
// move the notes in range, and per pair of channels the keys sounding
// together (at different keys).
class Weights {
public:
    Weights(const Notes& notes, int transpose, bool upperC) : transpose_(transpose), upperC_(upperC)
    {
        for (int k = -maxOctaveShift; k <= maxOctaveShift; ++k)
            for (int key = 0; key < keys; ++key)
                played_[idx(k + maxOctaveShift)][idx(key)] =
                    playedPitch(static_cast<int>(std::clamp<std::int64_t>(key + std::int64_t{transpose} + 12 * k,
                                                                          -1000000, 1000000)),
                                upperC);
        for (int c = 0; c < channelCount; ++c)
            countInside(c, notes[idx(c)]);
        countTogether(notes);
    }

    std::uint64_t notes() const { return notes_; }
    std::uint64_t pairs() const { return pairs_; }
    std::uint64_t inside(int c, int k) const { return inside_[idx(c)][idx(k + maxOctaveShift)]; }
    bool hasNotes(int c) const { return channelNotes_[idx(c)] != 0; }

    // Pairs of channels `a` and `b` (a < b) kept in order under their moves.
    std::uint64_t inOrder(int a, int ka, int b, int kb) const
    {
        std::uint64_t kept = 0;
        const auto& playedA = played_[idx(ka + maxOctaveShift)];
        const auto& playedB = played_[idx(kb + maxOctaveShift)];
        for (const PairCount& pair : together_[idx(a)][idx(b)]) {
            const int before = sign(pair.first - pair.second);
            const int after = sign(playedA[idx(pair.first)] - playedB[idx(pair.second)]);
            if (before == after)
                kept += pair.times;
        }
        return kept;
    }

    // The move of channel `c` that puts the most of its notes in range; of
    // equal moves the smallest, then the upward.
    int fit(int c) const { return bestOf([&](int k) { return inside(c, k); }); }

private:
    template <typename Count>
    static int bestOf(Count count)
    {
        int best = 0;
        for (int size = 1; size <= maxOctaveShift; ++size)
            for (const int k : {size, -size})
                if (count(k) > count(best))
                    best = k;
        return best;
    }

    void countInside(int c, const std::vector<BandNote>& notes)
    {
        for (const BandNote& note : notes) {
            const OctaveMoves fits = movesIntoRange(std::int64_t{clampKey(note.pitch)} + transpose_, upperC_);
            for (int k = fits.first; k <= fits.last; ++k)
                ++inside_[idx(c)][idx(k + maxOctaveShift)];
        }
        channelNotes_[idx(c)] = notes.size();
        notes_ += notes.size();
    }

    // Walks all notes by start time, keeping the keys sounding per channel;
    // each note starting meets the notes of other channels still sounding.
    void countTogether(const Notes& notes)
    {
        struct Start {
            std::int64_t start, end;
            int channel, key;
        };
        std::vector<Start> starts;
        for (int c = 0; c < channelCount; ++c)
            for (const BandNote& note : notes[idx(c)])
                starts.push_back(Start{note.start, note.end, c, clampKey(note.pitch)});
        std::stable_sort(starts.begin(), starts.end(),
                         [](const Start& x, const Start& y) { return x.start < y.start; });

        using Ending = std::tuple<std::int64_t, int, int>; // end, channel, key
        std::priority_queue<Ending, std::vector<Ending>, std::greater<>> sounding;
        std::array<std::array<std::uint32_t, keys>, channelCount> count{};
        std::array<std::array<std::uint64_t, 2>, channelCount> keySet{};
        std::array<std::array<KeyPairs, channelCount>, channelCount> table;
        for (const Start& note : starts) {
            while (!sounding.empty() && std::get<0>(sounding.top()) <= note.start) {
                const auto [end, c, key] = sounding.top();
                sounding.pop();
                if (--count[idx(c)][idx(key)] == 0)
                    keySet[idx(c)][idx(key) / 64] &= ~(std::uint64_t{1} << (key % 64));
            }
            for (int other = 0; other < channelCount; ++other) {
                if (other == note.channel)
                    continue;
                for (int word = 0; word < 2; ++word) {
                    for (std::uint64_t bits = keySet[idx(other)][idx(word)]; bits != 0; bits &= bits - 1) {
                        const int key = word * 64 + std::countr_zero(bits);
                        if (key == note.key)
                            continue;
                        const std::uint64_t times = count[idx(other)][idx(key)];
                        if (note.channel < other)
                            table[idx(note.channel)][idx(other)].add(note.key, key, times);
                        else
                            table[idx(other)][idx(note.channel)].add(key, note.key, times);
                        pairs_ += times;
                    }
                }
            }
            if (note.end > note.start) {
                sounding.emplace(note.end, note.channel, note.key);
                if (count[idx(note.channel)][idx(note.key)]++ == 0)
                    keySet[idx(note.channel)][idx(note.key) / 64] |= std::uint64_t{1} << (note.key % 64);
            }
        }
        for (int a = 0; a < channelCount; ++a)
            for (int b = a + 1; b < channelCount; ++b)
                together_[idx(a)][idx(b)] = table[idx(a)][idx(b)].counts();
    }

    int transpose_;
    bool upperC_;
    std::uint64_t notes_ = 0;
    std::uint64_t pairs_ = 0;
    std::array<std::uint64_t, channelCount> channelNotes_{};
    std::array<std::array<std::uint64_t, moveCount>, channelCount> inside_{};
    std::array<std::array<std::vector<PairCount>, channelCount>, channelCount> together_;
    std::array<std::array<int, keys>, moveCount> played_{}; // per move, the key each key is played at
};

struct Counts {
    std::uint64_t inPlace = 0;
    std::uint64_t inOrder = 0;
};

Counts countAll(const Weights& weights, const Moves& moves)
{
    Counts counts;
    for (int a = 0; a < channelCount; ++a) {
        counts.inPlace += weights.inside(a, moves[idx(a)]);
        for (int b = a + 1; b < channelCount; ++b)
            counts.inOrder += weights.inOrder(a, moves[idx(a)], b, moves[idx(b)]);
    }
    return counts;
}

double score(const Weights& weights, const Counts& counts)
{
    return bandScore(counts.inPlace, weights.notes(), counts.inOrder, weights.pairs());
}

// Pairs of channel `c` with every other channel kept in order, with `c`
// moved by `k` and the others as `moves` say.
std::uint64_t inOrderWith(const Weights& weights, int c, int k, const Moves& moves)
{
    std::uint64_t kept = 0;
    for (int other = 0; other < channelCount; ++other) {
        const int ko = moves[idx(other)];
        if (other < c)
            kept += weights.inOrder(other, ko, c, k);
        else if (other > c)
            kept += weights.inOrder(c, k, other, ko);
    }
    return kept;
}

// From `moves`, changes one channel's move at a time while that raises the
// score, until none does.
Moves climb(const Weights& weights, Moves moves)
{
    Counts counts = countAll(weights, moves);
    for (int round = 0; round < 64; ++round) {
        bool moved = false;
        for (int c = 0; c < channelCount; ++c) {
            const std::size_t ci = idx(c);
            if (!weights.hasNotes(c))
                continue;
            std::uint64_t ordered = inOrderWith(weights, c, moves[ci], moves);
            for (int k = -maxOctaveShift; k <= maxOctaveShift; ++k) {
                if (k == moves[ci])
                    continue;
                const std::uint64_t orderedAtK = inOrderWith(weights, c, k, moves);
                Counts trial = counts;
                trial.inPlace = trial.inPlace - weights.inside(c, moves[ci]) + weights.inside(c, k);
                trial.inOrder = trial.inOrder - ordered + orderedAtK;
                if (score(weights, trial) > score(weights, counts) + 1e-12) {
                    moves[ci] = k;
                    counts = trial;
                    ordered = orderedAtK;
                    moved = true;
                }
            }
        }
        if (!moved)
            break;
    }
    return moves;
}

BandPlan planOf(const Weights& weights, const Moves& moves)
{
    BandPlan plan;
    for (int c = 0; c < channelCount; ++c)
        if (weights.hasNotes(c))
            plan.octaves[idx(c)] = moves[idx(c)];
    plan.playerOf.fill(-1);
    const Counts counts = countAll(weights, plan.octaves);
    plan.notes = weights.notes();
    plan.inPlace = counts.inPlace;
    plan.pairs = weights.pairs();
    plan.pairsInOrder = counts.inOrder;
    return plan;
}

} // namespace

int playedPitch(int pitch, bool upperC)
{
    if (upperC && pitch == highestNote + 1)
        return pitch;
    const int letter = ((pitch % 12) + 12) % 12;
    const int octave = pitch <= lowestNote + 11 ? 0 : (pitch <= lowestNote + 23 ? 1 : 2);
    return lowestNote + 12 * octave + letter;
}

double bandScore(std::uint64_t inPlace, std::uint64_t notes, std::uint64_t inOrder, std::uint64_t pairs)
{
    const double placed = notes == 0 ? 1.0 : static_cast<double>(inPlace) / static_cast<double>(notes);
    const double ordered = pairs == 0 ? 1.0 : static_cast<double>(inOrder) / static_cast<double>(pairs);
    return placed + ordered;
}

BandPlan countMoves(const Notes& notes, const Moves& octaves, int transpose, bool upperC)
{
    return planOf(Weights(notes, transpose, upperC), octaves);
}

BandPlan arrangeBand(const Notes& notes, int players, int transpose, bool upperC)
{
    const Weights weights(notes, transpose, upperC);
    // Two starts: each channel at its own best move (voices may cross), and
    // all at the one move of the whole song that scores best (voices in
    // order, lines folded).
    Moves own{}, common{};
    double commonScore = -1;
    // Smaller moves first, the upward before the downward: only a strictly
    // better move replaces the one found.
    for (int size = 0; size <= maxOctaveShift; ++size) {
        for (const int k : {size, -size}) {
            Moves all{};
            for (int c = 0; c < channelCount; ++c)
                all[idx(c)] = weights.hasNotes(c) ? k : 0;
            const double tried = score(weights, countAll(weights, all));
            if (tried > commonScore + 1e-12) {
                common = all;
                commonScore = tried;
            }
        }
    }
    for (int c = 0; c < channelCount; ++c)
        own[idx(c)] = weights.hasNotes(c) ? weights.fit(c) : 0;
    const Moves fromOwn = climb(weights, own);
    const Moves fromCommon = climb(weights, common);
    const bool ownBetter =
        score(weights, countAll(weights, fromOwn)) >= score(weights, countAll(weights, fromCommon)) - 1e-12;
    BandPlan plan = planOf(weights, ownBetter ? fromOwn : fromCommon);
    plan.players = groupByRegister(notes, plan.octaves, players);
    for (std::size_t p = 0; p < plan.players.size(); ++p)
        for (int c : plan.players[p].channels)
            plan.playerOf[idx(c)] = static_cast<int>(p);
    return plan;
}
