// Order and clean-up of a channel: the element order, the lowest pitch, the
// per-channel tempo copies, the removal of identical notes and the element
// dump. The polyphony limit is in ChannelPolyphony.cpp.
#include "arrange/Channel.h"

#include "core/ElementCast.h"
#include "core/Message.h"
#include "core/Note.h"
#include "core/Tempo.h"
#include "core/Volume.h"
#include "core/Wrap.h"
#include "tune/VARN.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

namespace {

// Rank of an element's kind at equal time: tempo changes first, then volume
// changes, then notes. Any other kind (none exists in the converter) comes
// after the notes so that the ordering stays consistent.
int kindRank(const Element* e)
{
    if (elementCast<Note>(e) != nullptr)
        return 2;
    if (elementCast<Tempo>(e) != nullptr)
        return 0;
    if (elementCast<Volume>(e) != nullptr)
        return 1;
    return 3;
}

// A pitch folded by whole octaves into VARN::lowestNote .. lowestNote + 35:
// add 12 while below 48, subtract 12 while 84 or more. Computed in closed form
// (64-bit, so that no int pitch overflows) instead of a loop of octave steps.
int foldPitch(int pitch)
{
    const std::int64_t low = VARN::lowestNote;     // 48
    const std::int64_t high = VARN::lowestNote + 36; // 84, first pitch folded down
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

} // namespace

int Channel::compare(const void* a, const void* b)
{
    const Element* const* pa = static_cast<const Element* const*>(a);
    const Element* const* pb = static_cast<const Element* const*>(b);
    const Element* A = pa != nullptr ? *pa : nullptr;
    const Element* B = pb != nullptr ? *pb : nullptr;

    // Defensive: a missing entry goes after every element; two compare equal.
    if (A == nullptr || B == nullptr) {
        if (A == nullptr && B == nullptr)
            return 0;
        return A == nullptr ? 1 : -1;
    }

    // 1. By exact tick time.
    if (A->time < B->time)
        return -1;
    if (A->time > B->time)
        return 1;

    // 2. Tempo before volume before notes; two tempos (or two volumes) on the
    //    same tick compare equal, so the order stays consistent.
    const int rankA = kindRank(A);
    const int rankB = kindRank(B);
    if (rankA != rankB)
        return rankA < rankB ? -1 : 1;

    const Note* noteA = elementCast<Note>(A);
    const Note* noteB = elementCast<Note>(B);
    if (noteA == nullptr || noteB == nullptr)
        return 0;

    // 3. The longer duration first.
    if (noteA->duration > noteB->duration)
        return -1;
    if (noteA->duration < noteB->duration)
        return 1;

    // 4. The lower pitch first; equal pitch compares equal.
    if (noteA->pitch < noteB->pitch)
        return -1;
    if (noteA->pitch > noteB->pitch)
        return 1;
    return 0;
}

void Channel::sort()
{
    const std::size_t n = elements.size();
    if (n > keyIndexMask) {
        // Too long for the packed keys below (never in practice).
        std::stable_sort(elements.begin(), elements.end(),
                         [](const std::unique_ptr<Element>& x, const std::unique_ptr<Element>& y) {
                             const Element* ex = x.get();
                             const Element* ey = y.get();
                             return compare(&ex, &ey) < 0;
                         });
        return;
    }

    // The order of compare, made stable: one 64-bit key per element holds
    // the tick time, the kind's rank and the list index, so that keys are
    // distinct and ordered as compare orders, ties by list position. Notes
    // on the same tick are ordered by duration and pitch afterwards, run by
    // run. Missing entries go last, as compare puts them.
    std::vector<std::uint64_t> keys;
    keys.reserve(n);
    std::size_t missing = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const Element* e = elements[i].get();
        if (e == nullptr) {
            ++missing;
            continue;
        }
        const auto time = static_cast<std::uint32_t>(e->time) ^ 0x80000000u; // order-preserving
        const auto rank = static_cast<std::uint64_t>(kindRank(e));
        keys.push_back((std::uint64_t{time} << 32) | (rank << keyIndexBits) | i);
    }
    sortKeys(keys);

    // Runs of notes on the same tick: the longer duration first, then the
    // lower pitch, then list position.
    const auto noteOf = [this](std::uint64_t key) {
        return static_cast<const Note*>(elements[key & keyIndexMask].get());
    };
    for (std::size_t a = 0; a < keys.size();) {
        const std::uint64_t head = keys[a] >> keyIndexBits;
        std::size_t b = a + 1;
        while (b < keys.size() && (keys[b] >> keyIndexBits) == head)
            ++b;
        if (b - a > 1 && (head & 3u) == 2u) {
            std::sort(keys.begin() + static_cast<std::ptrdiff_t>(a), keys.begin() + static_cast<std::ptrdiff_t>(b),
                      [&](std::uint64_t x, std::uint64_t y) {
                          const Note* nx = noteOf(x);
                          const Note* ny = noteOf(y);
                          if (nx->duration != ny->duration)
                              return nx->duration > ny->duration;
                          if (nx->pitch != ny->pitch)
                              return nx->pitch < ny->pitch;
                          return x < y;
                      });
        }
        a = b;
    }

    std::vector<std::unique_ptr<Element>> sorted;
    sorted.reserve(n);
    for (std::uint64_t key : keys)
        sorted.push_back(std::move(elements[key & keyIndexMask]));
    sorted.resize(sorted.size() + missing);
    elements.swap(sorted);
}

int Channel::findLowest() const
{
    int lowest = 127;
    for (const auto& entry : elements) {
        if (const auto* note = elementCast<Note>(entry.get())) {
            if (note->pitch < lowest)
                lowest = note->pitch;
        }
    }
    return lowest;
}

void Channel::copyTempo(const Tempo* tempo, int channel)
{
    if (tempo == nullptr)
        return;
    elements.push_back(std::make_unique<Tempo>(*tempo, channel));
}

void Channel::eliminateIdentical()
{
    // The removal rule: for each note i, the notes j after it that start at the
    // same grid position (delta 0, non-notes passed over) are removed when
    // their folded pitch equals that of i. Removed notes have delta 0, so the
    // runs of elements that start together never change; within one run a note
    // is removed exactly when an earlier note of the run has the same folded
    // pitch. This pass computes just that, in one pass with a table of the 36
    // folded pitches per run, and closes the gaps once at the end (the walk
    // would rescan the run after each removal and shift the list each time).
    // Missing entries are passed over like non-notes.
    std::array<bool, 36> seen{};
    std::vector<bool> removed;
    for (std::size_t i = 0; i < elements.size(); ++i) {
        Element* e = elements[i].get();
        if (e == nullptr)
            continue;
        if (e->delta != 0)
            seen.fill(false); // a new run begins at a non-zero delta
        auto* note = elementCast<Note>(e);
        if (note == nullptr)
            continue;
        const auto slot = static_cast<std::size_t>(foldPitch(note->pitch) - VARN::lowestNote);
        if (seen[slot]) {
            if (removed.empty())
                removed.resize(elements.size(), false);
            removed[i] = true;
        } else {
            seen[slot] = true;
        }
    }
    if (removed.empty())
        return;
    // Delete the removed notes and close the gaps, keeping the order.
    std::size_t out = 0;
    for (std::size_t i = 0; i < elements.size(); ++i) {
        if (removed[i])
            elements[i].reset();
        else
            elements[out++] = std::move(elements[i]);
    }
    elements.resize(out);
}

void Channel::print(int division) const
{
    // Every element's dump line is printed at level 5; below it the lines
    // (and their time strings) are not built at all.
    if (Message::instance()->msgLevel < 5)
        return;
    for (const auto& entry : elements) {
        if (entry)
            entry->print(division);
    }
}
