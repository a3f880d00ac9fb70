// Order and clean-up of a channel: the element order, the lowest pitch, the
// per-channel tempo copies, the removal of identical notes and the element
// dump.
#include "arrange/Channel.h"

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
    std::stable_sort(elements.begin(), elements.end(), before);
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
    if (!shown(Code::ElementTime))
        return;
    for (const Element& e : elements)
        e.print(division);
}
