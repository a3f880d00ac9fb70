#pragma once

#include "core/Element.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

// What the polyphony passes share: the plain walk, the bounds within which
// the passes that go over the list once may stand in for it, and the debug
// line of a new peak. The plain walk goes over the list again from its
// start for every note, so it costs the square of the channel's length, but
// it is right for any values: the one-walk passes hand over to it.

// Where a walk over a channel's list stands: the next element, the position
// of the one before it, the position of the current group, its count and
// the peak.
struct PolyphonyWalkState {
    std::size_t next = 0;
    int position = 0;
    int groupStart = 0;
    int count = 0;
    int peak = 0;
};

// The plain walk from `state` (the notes before it done) to the end: notes
// that would sound beyond `limit` (0: no limit) are cut where a new group
// starts, or dropped when they start with it. Returns the peak.
int walkPolyphony(std::vector<Element>& elements, int limit, const PolyphonyWalkState& state = {});

// Prints the debug line of a new peak of `count`, reached at a new group
// (A) or by a note joining one (B), with the grid position of `position`.
void printPeak(bool joined, int count, int position);

// Positions and lengths the one-walk passes accept: far enough from the int
// range that no sum they form can wrap.
inline constexpr std::uint32_t fastBound = std::uint32_t{1} << 29;

// Whether a note at `position` (the sum of the deltas up to it, each taken
// as unsigned, so that it never falls and a negative delta puts all that
// follows beyond the bound) is one the one-walk passes handle.
inline bool withinBounds(std::uint64_t position, int length)
{
    // A length within -bound..bound is 0..2 * bound once shifted by bound.
    const std::uint32_t shifted = static_cast<std::uint32_t>(length) + fastBound;
    return position <= fastBound && shifted <= 2 * fastBound;
}

// Hands the notes of `elements` in list order to `onNote(index, position)`
// up to the first note out of bounds, and returns where the plain walk takes
// over there (its next element and position set): none when every note was
// within bounds. `onNote` may change the notes before the one it is given.
template <typename OnNote>
std::optional<PolyphonyWalkState> walkInBounds(const std::vector<Element>& elements, OnNote&& onNote)
{
    const Element* const list = elements.data();
    const std::size_t size = elements.size();
    std::uint64_t position = 0;
    for (std::size_t i = 0; i < size; ++i) {
        const Element& e = list[i];
        position += static_cast<std::uint32_t>(e.delta);
        if (!e.isNote())
            continue;
        if (!withinBounds(position, e.length)) {
            const auto before = static_cast<std::uint32_t>(position - static_cast<std::uint32_t>(e.delta));
            PolyphonyWalkState state;
            state.next = i;
            state.position = static_cast<int>(before);
            return state;
        }
        onNote(i, static_cast<int>(position));
    }
    return std::nullopt;
}
