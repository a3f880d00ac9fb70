// Order and clean-up of a channel: the element order, the lowest pitch, the
// per-channel tempo copies, the removal of identical notes and the element
// dump.
#include "arrange/Channel.h"

#include "core/LargeMemory.h"
#include "core/Message.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace {

// Rank of an element's kind at equal time: tempo changes first, then volume
// changes, then notes (the order of ElementKind).
int kindRank(const Element& e)
{
    return static_cast<int>(e.kind);
}

// A pitch folded by whole octaves into lowestNote .. lowestNote + 35:
// add 12 while below 48, subtract 12 while 84 or more. Computed in closed form
// (64-bit, so that no int pitch overflows) instead of a loop of octave steps.
int foldPitch(int pitch)
{
    const std::int64_t low = lowestNote;     // 48
    const std::int64_t high = lowestNote + 36; // 84, first pitch folded down
    const std::int64_t p = pitch;
    if (p < low) {
        // Smallest p + 12n >= 48: lands in 48..59.
        std::int64_t r = (p - low) % 12;
        if (r < 0)
            r += 12;
        return static_cast<int>(low + r);
    }
    if (p >= high) {
        // Largest p - 12n below 84: lands in 72..83.
        return static_cast<int>(high - 12 + (p - high) % 12);
    }
    return pitch;
}

// Sort keys: tick time in the upper 32 bits, the kind's rank in the next 2,
// the list index in the lower 30.
constexpr int keyIndexBits = 30;
constexpr std::uint64_t keyIndexMask = (std::uint64_t{1} << keyIndexBits) - 1;

// Sorts the keys by merging the ascending runs already in them: a channel
// is filled track by track, so it consists of few runs, each mostly in
// order. A list in random order costs no more than an ordinary sort.
void sortKeys(std::vector<std::uint64_t>& keys)
{
    std::vector<std::size_t> bounds{0};
    for (std::size_t i = 1; i < keys.size(); ++i)
        if (keys[i] < keys[i - 1])
            bounds.push_back(i);
    bounds.push_back(keys.size());
    while (bounds.size() > 2) {
        std::vector<std::size_t> merged{0};
        std::size_t r = 0;
        for (; r + 2 < bounds.size(); r += 2) {
            const auto first = keys.begin();
            std::inplace_merge(first + static_cast<std::ptrdiff_t>(bounds[r]),
                               first + static_cast<std::ptrdiff_t>(bounds[r + 1]),
                               first + static_cast<std::ptrdiff_t>(bounds[r + 2]));
            merged.push_back(bounds[r + 2]);
        }
        if (r + 1 < bounds.size())
            merged.push_back(bounds.back());
        bounds.swap(merged);
    }
}

void sortNoteRuns(const std::vector<Element>& elements, std::vector<std::uint64_t>& keys)
{
    // Runs of notes on the same tick: the longer duration first, then the
    // lower pitch, then list position.
    const auto noteOf = [&elements](std::uint64_t key) -> const Element& { return elements[key & keyIndexMask]; };
    for (std::size_t a = 0; a < keys.size();) {
        const std::uint64_t head = keys[a] >> keyIndexBits;
        std::size_t b = a + 1;
        while (b < keys.size() && (keys[b] >> keyIndexBits) == head)
            ++b;
        if (b - a > 1 && (head & 3u) == static_cast<unsigned>(ElementKind::Note)) {
            std::sort(keys.begin() + static_cast<std::ptrdiff_t>(a), keys.begin() + static_cast<std::ptrdiff_t>(b),
                      [&](std::uint64_t x, std::uint64_t y) {
                          const Element& nx = noteOf(x);
                          const Element& ny = noteOf(y);
                          if (nx.duration != ny.duration)
                              return nx.duration > ny.duration;
                          if (nx.pitch != ny.pitch)
                              return nx.pitch < ny.pitch;
                          return x < y;
                      });
        }
        a = b;
    }
}

// Puts the elements into the order of the sorted keys: the p-th key names
// the element for place p. A list of a few megabytes stays in the caches:
// its elements move in place, along the cycles of the order, with no second
// list to fetch from the system. A longer one is gathered into a new list:
// the keys of a channel filled from several tracks come from a few runs,
// read front to back, where moving the elements in place would jump
// through the whole list (the list here is one that sorting by insertion
// gave up on). The keys are used up.
void applyOrder(std::vector<Element>& elements, std::vector<std::uint64_t>& keys)
{
    if (elements.size() > Channel::sortedInPlace) {
        std::vector<Element> sorted;
        reserveLarge(sorted, elements.size());
        for (const std::uint64_t key : keys)
            sorted.push_back(elements[key & keyIndexMask]);
        elements.swap(sorted);
        return;
    }
    // A place done has its own index as its key's.
    for (std::size_t start = 0; start < keys.size(); ++start) {
        if ((keys[start] & keyIndexMask) == start)
            continue;
        const Element first = elements[start];
        std::size_t place = start;
        while (true) {
            const auto from = static_cast<std::size_t>(keys[place] & keyIndexMask);
            keys[place] = place;
            if (from == start) {
                elements[place] = first;
                break;
            }
            elements[place] = elements[from];
            place = from;
        }
    }
}

// Sorts a list that is in order but for a few elements, by insertion, and
// tells whether it got through: a channel filled from one track in time
// order is out of order only among notes on the same tick, a move for every
// few notes. It gives up at an element far from its place, or after a move
// for every other element (a channel filled from several tracks is several
// runs, which a merge sorts far better), leaving a list whose equal
// elements are still in their first order (only elements strictly out of
// order trade places), so that the sort taking over gives the same result.
bool sortNearlySorted(std::vector<Element>& elements)
{
    // A chord's notes move a few places; an element far from its place
    // starts another run.
    constexpr std::size_t farthest = 64;
    std::size_t budget = elements.size() / 2 + farthest;
    for (std::size_t i = 1; i < elements.size(); ++i) {
        if (!Channel::before(elements[i], elements[i - 1]))
            continue;
        const Element moving = elements[i];
        std::size_t j = i;
        do {
            if (budget-- == 0 || i - j == farthest) {
                elements[j] = moving;
                return false;
            }
            elements[j] = elements[j - 1];
            --j;
        } while (j > 0 && Channel::before(moving, elements[j - 1]));
        elements[j] = moving;
    }
    return true;
}

} // namespace

bool Channel::before(const Element& a, const Element& b)
{
    if (a.time != b.time)
        return a.time < b.time;
    if (a.kind != b.kind)
        return kindRank(a) < kindRank(b);
    // Two tempos (or two volumes) on the same tick are equal in the order.
    if (!a.isNote())
        return false;
    if (a.duration != b.duration)
        return a.duration > b.duration;
    return a.pitch < b.pitch;
}

void Channel::sort()
{
    const std::size_t n = elements.size();
    if (n > keyIndexMask) {
        // Too long for the packed keys below (never in practice).
        std::stable_sort(elements.begin(), elements.end(), before);
        return;
    }

    if (sortNearlySorted(elements))
        return;

    // The element order, made stable, in near-linear time for the usual
    // channel: one 64-bit key per element holds the tick time, the kind's
    // rank and the list index, so that keys are distinct and ordered as the
    // order has them, ties by list position. Notes on the same tick are
    // ordered by duration and pitch afterwards, run by run.
    std::vector<std::uint64_t> keys;
    reserveLarge(keys, n);
    for (std::size_t i = 0; i < n; ++i) {
        const Element& e = elements[i];
        const auto time = static_cast<std::uint32_t>(e.time) ^ 0x80000000u; // order-preserving
        const auto rank = static_cast<std::uint64_t>(kindRank(e));
        keys.push_back((std::uint64_t{time} << 32) | (rank << keyIndexBits) | i);
    }
    sortKeys(keys);
    sortNoteRuns(elements, keys);
    applyOrder(elements, keys);
}

void Channel::copyTempo(const Element& tempo, int channel)
{
    Element copy = tempo;
    copy.channel = channel;
    elements.push_back(copy);
}

void Channel::eliminateIdentical()
{
    // The removal rule: for each note i, the notes j after it that start at the
    // same grid position (delta 0, non-notes passed over) are removed when
    // their folded pitch equals that of i. Removed notes have delta 0, so the
    // runs of elements that start together never change; within one run a note
    // is removed exactly when an earlier note of the run has the same folded
    // pitch. This pass computes just that, remembering per folded pitch the
    // last run that had it, and closes the gaps as it goes (the walk would
    // rescan the run after each removal and shift the list each time).
    std::array<std::size_t, 36> lastRun{}; // runs count from 1: 0 is none yet
    std::size_t run = 1;
    std::size_t out = 0;
    for (std::size_t i = 0; i < elements.size(); ++i) {
        const Element& e = elements[i];
        if (e.delta != 0)
            ++run; // a new run begins at a non-zero delta
        if (e.isNote()) {
            const auto slot = static_cast<std::size_t>(foldPitch(e.pitch) - lowestNote);
            if (lastRun[slot] == run)
                continue;
            lastRun[slot] = run;
        }
        if (out != i)
            elements[out] = e;
        ++out;
    }
    elements.resize(out);
}

void Channel::print(int division) const
{
    // Every element's dump line is printed at level 5; below it the lines
    // (and their time strings) are not built at all.
    if (!shown(Level::Info))
        return;
    for (const Element& e : elements)
        e.print(division);
}
