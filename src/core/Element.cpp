#include "core/Element.h"

#include "core/Message.h"
#include "core/TimeString.h"
#include "core/WrappingArithmetic.h"

Element Element::makeNote(int time, int channel, int pitch, int velocity)
{
    return Element(ElementKind::Note, time, channel, pitch, velocity);
}

Element Element::makeTempo(int time, int channel, int bpm)
{
    return Element(ElementKind::Tempo, time, channel, bpm, 0);
}

Element Element::makeVolume(int time, int channel, int volume)
{
    return Element(ElementKind::Volume, time, channel, volume, 0);
}

void Element::print(int division) const
{
    tell(Code::ElementTime, timeString(time, division).c_str());
    // Distances that make no whole tick at this division are not shown.
    if (mulWrap(delta, division) / 24 != 0)
        tell(Code::ElementDelta, timeString(delta, 24).c_str());
    tell(Code::ElementChannel, addWrap(channel, 1));
    switch (kind) {
    case ElementKind::Note:
        tell(Code::ElementNote, pitch, velocity, timeString(duration, division).c_str(),
             timeString(length, 24).c_str());
        break;
    case ElementKind::Tempo:
        tell(Code::ElementTempo, bpm);
        break;
    case ElementKind::Volume:
        tell(Code::ElementVolume, volume);
        break;
    }
}

namespace {

std::int64_t floorDiv(std::int64_t a, std::int64_t b)
{
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)) ? 1 : 0);
}

} // namespace

OctaveMoves movesIntoRange(std::int64_t pitch, bool upperC)
{
    const std::int64_t top = highestNote + (upperC ? 1 : 0);
    const std::int64_t first = std::max<std::int64_t>(-floorDiv(pitch - lowestNote, 12), -maxOctaveShift);
    const std::int64_t last = std::min<std::int64_t>(floorDiv(top - pitch, 12), maxOctaveShift);
    return OctaveMoves{static_cast<int>(std::min<std::int64_t>(first, maxOctaveShift + 1)),
                       static_cast<int>(std::max<std::int64_t>(last, -maxOctaveShift - 1))};
}
