// Order, clean-up and polyphony of a channel: the element order,
// the lowest pitch, the per-channel tempo copies, the removal of identical
// notes, the polyphony limit and the element dump.
#include "arrange/Channel.h"

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
#include <utility>
#include <vector>

namespace {

// Rank of an element's kind at equal time: tempo changes first, then volume
// changes, then notes. Any other kind (none exists in the converter) comes
// after the notes so that the ordering stays consistent.
int kindRank(const Element* e)
{
    if (dynamic_cast<const Tempo*>(e) != nullptr)
        return 0;
    if (dynamic_cast<const Volume*>(e) != nullptr)
        return 1;
    if (dynamic_cast<const Note*>(e) != nullptr)
        return 2;
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

    const Note* noteA = dynamic_cast<const Note*>(A);
    const Note* noteB = dynamic_cast<const Note*>(B);
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
    // Stable, so elements that compare equal keep the order of appending.
    std::stable_sort(elements.begin(), elements.end(),
                     [](const std::unique_ptr<Element>& x, const std::unique_ptr<Element>& y) {
                         const Element* ex = x.get();
                         const Element* ey = y.get();
                         return compare(&ex, &ey) < 0;
                     });
}

int Channel::findLowest() const
{
    int lowest = 127;
    for (const auto& entry : elements) {
        if (const auto* note = dynamic_cast<const Note*>(entry.get())) {
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
        auto* note = dynamic_cast<Note*>(e);
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

int Channel::fixPolyphony(int limit)
{
    if (!used)
        return 0;

    int now = 0;
    int groupStart = 0;
    int count = 0;
    int peak = 0;

    // The list's length is re-read at every step: notes may be removed.
    for (std::size_t i = 0; i < elements.size(); ++i) {
        Element* current = elements[i].get();
        if (current == nullptr)
            continue;
        now = addWrap(now, current->delta);
        if (dynamic_cast<Note*>(current) == nullptr)
            continue;

        if (now != groupStart) {
            // A. The note begins a new group: count it and the earlier notes
            //    that still sound; cut those beyond the limit to end at now.
            count = 1;
            int pos = 0;
            for (std::size_t k = 0; k < i; ++k) {
                Element* earlier = elements[k].get();
                if (earlier == nullptr)
                    continue;
                pos = addWrap(pos, earlier->delta);
                auto* x = dynamic_cast<Note*>(earlier);
                if (x == nullptr || !(addWrap(pos, x->length) > now))
                    continue;
                if (limit != 0 && count + 1 > limit)
                    x->length = correctLength(subWrap(now, pos));
                else
                    ++count;
                if (count > peak) {
                    peak = count;
                    Msg(7, "polyphonyA %d @ %g\n", count, (pos / 24) / 3.0 + 1.0);
                }
            }
            groupStart = now;
        } else {
            // B. The note joins the current group.
            ++count;
            if (limit != 0 && count > limit) {
                // The first-listed earlier note that still sounds gives way:
                // dropped if it starts now, else cut to end now.
                int pos = 0;
                for (std::size_t k = 0; k < i; ++k) {
                    Element* earlier = elements[k].get();
                    if (earlier == nullptr)
                        continue;
                    pos = addWrap(pos, earlier->delta);
                    auto* x = dynamic_cast<Note*>(earlier);
                    if (x == nullptr || !(addWrap(pos, x->length) > now))
                        continue;
                    if (pos == now) {
                        // Its delta passes to the next element, so that no
                        // grid position changes. As k < i, that element
                        // exists (at the latest the current note itself); the
                        // guard only keeps a missing successor from being
                        // touched, in which case the delta would be lost.
                        for (std::size_t s = k + 1; s < elements.size(); ++s) {
                            if (elements[s]) {
                                elements[s]->delta = addWrap(elements[s]->delta, x->delta);
                                break;
                            }
                        }
                        elements.erase(elements.begin() + static_cast<std::ptrdiff_t>(k));
                        --i; // designates the current note again
                    } else {
                        x->length = correctLength(subWrap(now, pos));
                    }
                    break;
                }
                --count;
            }
            if (count > peak) {
                peak = count;
                Msg(7, "polyphonyB %d @ %g\n", count, (now / 24) / 3.0 + 1.0);
            }
        }
    }
    return peak;
}

void Channel::print(int division) const
{
    for (const auto& entry : elements) {
        if (entry)
            entry->print(division);
    }
}
