// The polyphony limit that keeps a chord's outer voices (-c). At each grid
// position where notes start, the notes that would sound there (those that
// start there and those still sounding from before) are ranked, and the
// first `limit` of them stay: the highest, the lowest, then notes that double
// no kept note in another octave, notes already sounding, the louder, the
// longer, the higher. A note that gives way is dropped if it starts there
// (its delta passes on, so no grid position changes) or cut to end there.
// A note from before gives way first when it sounds on only because its
// length was rounded up to the grid (the MIDI file has ended it by the time
// the last note of the group starts), or when a note of the group strikes
// its key again: otherwise a melody note's rounded tail would push out the
// next one.
//
// Transposition moves every note of a channel alike, so the file's pitches
// rank and double as the transposed ones do; folding into the game's range
// comes later and is not looked at.
#include "arrange/ChannelChords.h"

#include "arrange/ChannelQuantisation.h"
#include "core/Message.h"
#include "core/WrappingArithmetic.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace {

class OuterVoices {
public:
    OuterVoices(std::vector<Element>& elements, std::size_t limit) : elements_(elements), limit_(limit) {}

    // The pass; returns the highest count of notes kept sounding together.
    int run();

private:
    struct Candidate {
        std::size_t id; // index in the list
        bool held;      // listed before the group: already sounding
        bool tail;      // held, but ended in the MIDI file or struck again: gives way first
    };

    std::vector<Element>& elements_;
    std::size_t limit_;
    // Grid positions as 64-bit sums, so that no list makes them wrap.
    std::vector<std::int64_t> posOf_;
    std::vector<unsigned char> dropped_;
    // Kept notes listed before the current group that may still sound.
    std::vector<std::size_t> sounding_;
    std::vector<Candidate> candidates_;
    std::vector<Candidate> doublings_;
    std::vector<int> groupPitches_;
    int peak_ = 0;
    bool anyDropped_ = false;

    std::int64_t endOf(std::size_t id) const { return posOf_[id] + elements_[id].length; }
    bool better(const Candidate& a, const Candidate& b) const;
    void gather(std::size_t first, std::size_t last, std::int64_t now);
    void pickExtreme(std::size_t slot, std::size_t end, bool highest);
    void rank();
    void settle(std::int64_t now);
    void removeDropped();
};

// Rules 4 to 7 of the ranking, then the list order: held before new, then
// louder, longer, higher.
bool OuterVoices::better(const Candidate& a, const Candidate& b) const
{
    const Element& x = elements_[a.id];
    const Element& y = elements_[b.id];
    if (a.held != b.held)
        return a.held;
    if (x.velocity != y.velocity)
        return x.velocity > y.velocity;
    if (x.length != y.length)
        return x.length > y.length;
    if (x.pitch != y.pitch)
        return x.pitch > y.pitch;
    return a.id < b.id;
}

// The candidates at `now`: the kept notes still sounding there, then the
// notes of the group (list indices first..last, non-notes skipped).
void OuterVoices::gather(std::size_t first, std::size_t last, std::int64_t now)
{
    candidates_.clear();
    groupPitches_.clear();
    int latest = elements_[first].time;
    for (std::size_t id = first; id <= last; ++id) {
        if (elements_[id].isNote()) {
            latest = std::max(latest, elements_[id].time);
            groupPitches_.push_back(elements_[id].pitch);
        }
    }
    std::sort(groupPitches_.begin(), groupPitches_.end());
    std::erase_if(sounding_, [&](std::size_t id) { return posOf_[id] > now || endOf(id) <= now; });
    for (const std::size_t id : sounding_) {
        const Element& e = elements_[id];
        const bool tail = std::int64_t{e.time} + e.duration <= latest ||
                          std::binary_search(groupPitches_.begin(), groupPitches_.end(), e.pitch);
        candidates_.push_back(Candidate{id, true, tail});
    }
    for (std::size_t id = first; id <= last; ++id)
        if (elements_[id].isNote())
            candidates_.push_back(Candidate{id, false, false});
}

// Moves the best of the highest (or lowest) candidates from `slot` to
// before `end` into `slot`.
void OuterVoices::pickExtreme(std::size_t slot, std::size_t end, bool highest)
{
    std::size_t best = slot;
    for (std::size_t j = slot + 1; j < end; ++j) {
        const int p = elements_[candidates_[j].id].pitch;
        const int q = elements_[candidates_[best].id].pitch;
        if (p == q ? better(candidates_[j], candidates_[best]) : (highest ? p > q : p < q))
            best = j;
    }
    std::swap(candidates_[slot], candidates_[best]);
}

// Orders the candidates so that the first `limit` are the ones kept.
void OuterVoices::rank()
{
    // Rounded tails last, in the order of rules 4 to 7; the rules below
    // rank the notes that sound.
    const auto tails = std::stable_partition(candidates_.begin(), candidates_.end(),
                                             [](const Candidate& c) { return !c.tail; });
    std::sort(tails, candidates_.end(), [this](const Candidate& a, const Candidate& b) { return better(a, b); });
    const auto sounding = static_cast<std::size_t>(tails - candidates_.begin());
    pickExtreme(0, sounding, true);
    if (limit_ < 2 || sounding < 2)
        return;
    pickExtreme(1, sounding, false);
    if (limit_ < 3)
        return;
    const auto rest = candidates_.begin() + 2;
    std::sort(rest, tails, [this](const Candidate& a, const Candidate& b) { return better(a, b); });
    // In that order, a note that doubles no kept pitch class comes before
    // one that does; keeping it adds its class to the kept ones.
    const auto pitchClass = [this](const Candidate& c) { return ((elements_[c.id].pitch % 12) + 12) % 12; };
    unsigned kept = (1u << pitchClass(candidates_[0])) | (1u << pitchClass(candidates_[1]));
    doublings_.clear();
    auto out = rest;
    for (auto it = rest; it != tails; ++it) {
        const unsigned bit = 1u << pitchClass(*it);
        if (kept & bit) {
            doublings_.push_back(*it);
        } else {
            kept |= bit;
            *out++ = *it;
        }
    }
    std::copy(doublings_.begin(), doublings_.end(), out);
}

// Keeps the first `limit` candidates; the others give way at `now`.
void OuterVoices::settle(std::int64_t now)
{
    if (candidates_.size() > limit_) {
        rank();
        // The notes that give way, in list order (the order of their warnings).
        std::sort(candidates_.begin() + static_cast<std::ptrdiff_t>(limit_), candidates_.end(),
                  [](const Candidate& a, const Candidate& b) { return a.id < b.id; });
        for (std::size_t j = limit_; j < candidates_.size(); ++j) {
            const std::size_t id = candidates_[j].id;
            if (posOf_[id] == now) {
                dropped_[id] = 1;
                anyDropped_ = true;
            } else {
                // A held note sounds at `now`, so the span is within its int length.
                elements_[id].length = correctLength(static_cast<int>(now - posOf_[id]));
            }
        }
        candidates_.resize(limit_);
    }
    const int count = static_cast<int>(candidates_.size());
    for (int c = peak_ + 1; c <= count; ++c)
        tell(Code::PolyphonyA, c, static_cast<double>(now / 24) / 3.0 + 1.0);
    peak_ = std::max(peak_, count);
    sounding_.clear();
    for (const Candidate& c : candidates_)
        if (endOf(c.id) > now)
            sounding_.push_back(c.id);
}

// Dropped notes leave the list together; each one's delta goes to the next
// element still listed.
void OuterVoices::removeDropped()
{
    std::size_t out = 0;
    int carried = 0;
    for (std::size_t i = 0; i < elements_.size(); ++i) {
        if (dropped_[i]) {
            carried = addWrap(carried, elements_[i].delta);
            continue;
        }
        elements_[out] = elements_[i];
        elements_[out].delta = addWrap(elements_[out].delta, carried);
        carried = 0;
        ++out;
    }
    elements_.resize(out);
}

int OuterVoices::run()
{
    const std::size_t n = elements_.size();
    posOf_.resize(n);
    dropped_.assign(n, 0);
    std::int64_t sum = 0;
    for (std::size_t i = 0; i < n; ++i)
        posOf_[i] = sum += elements_[i].delta;
    // A group: the notes in a row (other elements between them aside) that
    // share a grid position.
    std::size_t i = 0;
    while (i < n) {
        if (!elements_[i].isNote()) {
            ++i;
            continue;
        }
        std::size_t last = i;
        for (std::size_t j = i + 1; j < n && posOf_[j] == posOf_[i]; ++j)
            if (elements_[j].isNote())
                last = j;
        gather(i, last, posOf_[i]);
        settle(posOf_[i]);
        i = last + 1;
    }
    if (anyDropped_)
        removeDropped();
    return peak_;
}

} // namespace

int keepOuterVoices(Channel& channel, int limit)
{
    return OuterVoices{channel.elements, static_cast<std::size_t>(limit)}.run();
}
