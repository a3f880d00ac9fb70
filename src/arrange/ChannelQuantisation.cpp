// Quantisation of a channel's elements to the grid of 24ths.
#include "arrange/ChannelQuantisation.h"

#include "arrange/GridSpan.h"
#include "core/Message.h"
#include "core/WrappingArithmetic.h"

#include <algorithm>
#include <array>
#include <cstdint>

int quantiseTicks(int ticks, int division, bool triplets)
{
    return gridFraction(ticks, division, triplets);
}

int correctLength(int m)
{
    if (m == 0) {
        report(Code::ZeroLength, noChannel);
        m = 6;
    }
    if (m % 6 == 0)
        return m;
    if (m % 3 == 0) {
        report(Code::ThirtySecondRaised, noChannel);
        return addWrap(m, 3);
    }
    if (m % 4 != 0) {
        // A length cut between two grid positions (a 32nd next to a triplet
        // position) is neither: it plays the nearest sixteenth, at least one.
        // m + 3 is a multiple of 6 only when m is one of 3, so there is no tie.
        report(Code::LengthOffGrid, noChannel, m);
        if (m < 0)
            return 6;
        const std::int64_t sixths = (static_cast<std::int64_t>(m) + 3) / 6;
        return static_cast<int>(6 * std::max<std::int64_t>(1, sixths));
    }
    // A triplet length (a multiple of 4 that is not one of 3) is 2 away from
    // exactly one multiple of 6: the nearest sixteenth, never a tie. Widened,
    // so that the lengths at either end of int's range round without overflow.
    report(Code::TripletsClamped, noChannel);
    const std::int64_t wide = m;
    const std::int64_t shifted = wide + 3;
    const std::int64_t sixths = shifted >= 0 ? shifted / 6 : -((-shifted + 5) / 6);
    return static_cast<int>(6 * sixths);
}

namespace {

// The grid values of the spans met so far. Real files repeat a handful of
// spans many times over, and the exact computation costs a few divisions of
// 128-bit numbers; a small direct-mapped table answers most spans at once.
class SpanMemo {
public:
    SpanMemo(int division, bool triplets) : division_(division), triplets_(triplets) {}

    int fraction(int ticks)
    {
        Entry& entry = entries_[static_cast<std::uint32_t>(ticks) % entries_.size()];
        if (!entry.known || entry.ticks != ticks)
            entry = Entry{ticks, quantiseTicks(ticks, division_, triplets_), true};
        return entry.fraction;
    }

private:
    struct Entry {
        int ticks = 0;
        int fraction = 0;
        bool known = false;
    };
    int division_;
    bool triplets_;
    std::array<Entry, 1024> entries_{};
};

} // namespace

void quantise(Channel& channel, int division, bool triplets, bool keepInStep)
{
    SpanMemo memo(division, triplets);
    int previous = 0;
    std::int64_t previousPosition = 0;
    for (Element& element : channel.elements) {
        if (keepInStep) {
            // Each element's own grid position from tick 0: rounding is never
            // carried from one distance to the next.
            const std::int64_t position = gridPosition(element.time, division, triplets);
            element.delta = static_cast<int>(static_cast<std::uint32_t>(position - previousPosition));
            previousPosition = position;
        } else {
            element.delta = memo.fraction(subWrap(element.time, previous));
        }
        if (element.isNote())
            element.length = correctLength(memo.fraction(element.duration));
        previous = element.time;
    }
}
