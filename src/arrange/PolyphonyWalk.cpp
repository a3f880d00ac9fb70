// The plain polyphony walk. It is the passes' fallback where sums could
// wrap (a negative delta, positions or lengths near the int range) and for
// the negative limits, and the tests compare the one-walk passes with it.
#include "arrange/PolyphonyWalk.h"

#include "arrange/ChannelQuantisation.h"

#include "core/Message.h"
#include "core/WrappingArithmetic.h"

namespace {

// The grid position a debug line shows: whole eighth-note triplets from 1.
double shownPosition(int position)
{
    return (position / 24) / 3.0 + 1.0;
}

struct Rescan {
    std::vector<Element>& elements;
    int limit;
    int count = 0;
    int peak = 0;

    // The first note from `k` on and before `i` that still sounds at `now`
    // (`i` if none), with `pos` carried on to its position.
    std::size_t nextSounding(std::size_t k, std::size_t i, int now, int& pos) const
    {
        for (; k < i; ++k) {
            const Element& x = elements[k];
            pos = addWrap(pos, x.delta);
            if (x.isNote() && addWrap(pos, x.length) > now)
                return k;
        }
        return i;
    }

    // A count above the peak is the new peak, with its debug line.
    void raisePeak(bool joined, int position)
    {
        if (count > peak) {
            peak = count;
            printPeak(joined, count, position);
        }
    }

    // A. The note at `i` begins a new group at `now`: count it and the
    //    earlier notes that still sound; cut those beyond the limit.
    void newGroup(std::size_t i, int now)
    {
        count = 1;
        int pos = 0;
        for (std::size_t k = nextSounding(0, i, now, pos); k < i; k = nextSounding(k + 1, i, now, pos)) {
            Element& x = elements[k];
            if (limit != 0 && count + 1 > limit)
                x.length = correctLength(subWrap(now, pos));
            else
                ++count;
            raisePeak(false, pos);
        }
    }

    // B. The note at `i` joins the group at `now`; beyond the limit the
    //    first-listed earlier note that still sounds gives way: dropped if it
    //    starts now, else cut to end now. Returns the note's index afterwards.
    std::size_t joinGroup(std::size_t i, int now)
    {
        ++count;
        if (limit != 0 && count > limit) {
            int pos = 0;
            const std::size_t k = nextSounding(0, i, now, pos);
            if (k < i && pos == now) {
                // Its delta passes to the next element (there is one, at the
                // latest the current note), so no grid position changes.
                elements[k + 1].delta = addWrap(elements[k + 1].delta, elements[k].delta);
                elements.erase(elements.begin() + static_cast<std::ptrdiff_t>(k));
                --i;
            } else if (k < i) {
                elements[k].length = correctLength(subWrap(now, pos));
            }
            --count;
        }
        raisePeak(true, now);
        return i;
    }

    // Walks from `state` (the notes before it done) to the end.
    int run(const PolyphonyWalkState& state)
    {
        int now = state.position;
        int groupStart = state.groupStart;
        count = state.count;
        peak = state.peak;
        for (std::size_t i = state.next; i < elements.size(); ++i) {
            now = addWrap(now, elements[i].delta);
            if (!elements[i].isNote())
                continue;
            if (now != groupStart) {
                newGroup(i, now);
                groupStart = now;
            } else {
                i = joinGroup(i, now);
            }
        }
        return peak;
    }
};

} // namespace

int walkPolyphony(std::vector<Element>& elements, int limit, const PolyphonyWalkState& state)
{
    return Rescan{elements, limit}.run(state);
}

// Out of line: the one-walk passes keep their registers for the common case.
[[gnu::noinline]] void printPeak(bool joined, int count, int position)
{
    tell(joined ? Code::PolyphonyB : Code::PolyphonyA, count, shownPosition(position));
}
