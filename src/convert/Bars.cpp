// Bar and beat of a place in a MIDI file, as a player counts them.
#include "convert/Bars.h"

#include <algorithm>
#include <cstdint>
#include <cmath>
#include <numeric>

namespace {

// Time signatures that make sense: 1..255 beats of a whole to a 64th note.
bool usable(const TimeSignature& s)
{
    return s.tick >= 0 && s.numerator >= 1 && s.numerator <= 255 && s.denominator >= 1 && s.denominator <= 64;
}

} // namespace

Bars::Bars(int division, std::vector<TimeSignature> signatures) : division_(division > 0 ? division : 1)
{
    std::erase_if(signatures, [](const TimeSignature& s) { return !usable(s); });
    std::stable_sort(signatures.begin(), signatures.end(),
                     [](const TimeSignature& a, const TimeSignature& b) { return a.tick < b.tick; });
    segments_.push_back(Segment{0, 0, 4, 4});
    for (const TimeSignature& s : signatures) {
        const std::int64_t start = std::int64_t{s.tick} * 24;
        Segment& last = segments_.back();
        if (start == last.start) {
            // Of several at one tick the last counts.
            last.numerator = s.numerator;
            last.denominator = s.denominator;
            continue;
        }
        // A signature starts a new bar; a bar it cuts short counts whole.
        const std::int64_t perBar = 24 * std::int64_t{last.numerator};
        const std::int64_t bars = (subBeats(last, start) + perBar - 1) / perBar;
        segments_.push_back(Segment{start, last.firstBar + bars, s.numerator, s.denominator});
    }
}

const Bars::Segment& Bars::segmentAt(std::int64_t position) const
{
    const auto after = std::upper_bound(segments_.begin(), segments_.end(), position,
                                        [](std::int64_t p, const Segment& s) { return p < s.start; });
    return after == segments_.begin() ? segments_.front() : *(after - 1);
}

std::int64_t Bars::subBeats(const Segment& s, std::int64_t position) const
{
    // A beat is 4 / denominator quarters: 96 x division / denominator 24ths
    // of a tick. Exact integer arithmetic (the same on every platform): the
    // distance is split by the divisor, so that no product can overflow, and
    // rounded to nearest, halves away from zero.
    const std::int64_t divisor = 96 * std::int64_t{division_};
    if (divisor <= 0)
        return 0;
    const std::int64_t factor = 24 * std::int64_t{s.denominator};
    constexpr std::int64_t limit = 4000000000000000000;
    const std::int64_t distance = position - s.start;
    const std::int64_t whole = distance / divisor;
    if (whole > limit / factor)
        return limit;
    if (whole < -limit / factor)
        return -limit;
    const std::int64_t part = (distance % divisor) * factor; // below 2^38 x 2^11 in size
    std::int64_t rounded = part / divisor;
    const std::int64_t rest = part % divisor;
    if (2 * (rest < 0 ? -rest : rest) >= divisor)
        rounded += rest < 0 ? -1 : 1;
    return std::clamp(whole * factor + rounded, -limit, limit);
}

std::string Bars::place(std::int64_t position) const
{
    const Segment& s = segmentAt(position);
    std::int64_t sub = subBeats(s, position);
    if (sub < 0)
        sub = 0; // before the start: the first beat
    const std::int64_t perBar = 24 * std::int64_t{s.numerator};
    const std::int64_t bar = s.firstBar + sub / perBar + 1;
    const std::int64_t beat = (sub % perBar) / 24 + 1;
    std::string text = std::to_string(bar) + ":" + std::to_string(beat);
    const std::int64_t fraction = sub % 24;
    if (fraction != 0) {
        const std::int64_t common = std::gcd(fraction, std::int64_t{24});
        text += '+';
        text += std::to_string(fraction / common);
        text += '/';
        text += std::to_string(24 / common);
    }
    return text;
}

bool Bars::barOrMore(std::int64_t position, std::int64_t sixteenths) const
{
    const Segment& s = segmentAt(position);
    // A bar lasts numerator x 16 / denominator sixteenths.
    const std::uint64_t size = sixteenths < 0 ? 0 - static_cast<std::uint64_t>(sixteenths)
                                              : static_cast<std::uint64_t>(sixteenths);
    if (size >= (std::uint64_t{1} << 56))
        return true;
    return size * static_cast<std::uint64_t>(s.denominator) >= 16 * static_cast<std::uint64_t>(s.numerator);
}
