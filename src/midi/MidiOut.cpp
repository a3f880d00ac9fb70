// Standard MIDI File output: variable-length delta times and chunk framing.
#include "midi/MidiOut.h"

namespace {

// Largest delta time one variable-length quantity holds.
constexpr std::int64_t maxDelta = 0x0FFFFFFF;

void putVlq(std::string& out, std::uint32_t value)
{
    char bytes[5];
    int n = 0;
    bytes[n++] = static_cast<char>(value & 0x7F);
    while ((value >>= 7) != 0)
        bytes[n++] = static_cast<char>(0x80 | (value & 0x7F));
    while (n > 0)
        out.push_back(bytes[--n]);
}

void putBE(std::string& out, std::uint32_t value, int bytes)
{
    for (int shift = 8 * (bytes - 1); shift >= 0; shift -= 8)
        out.push_back(static_cast<char>((value >> shift) & 0xFF));
}

} // namespace

std::string midiHeader(int type, int trackCount, int division)
{
    std::string out = "MThd";
    putBE(out, 6, 4);
    putBE(out, static_cast<std::uint32_t>(type), 2);
    putBE(out, static_cast<std::uint32_t>(trackCount), 2);
    putBE(out, static_cast<std::uint32_t>(division), 2);
    return out;
}

// A wait longer than one delta time holds is bridged by empty text events.
void TrackOut::delta(std::int64_t ticks)
{
    while (ticks > maxDelta) {
        putVlq(body_, static_cast<std::uint32_t>(maxDelta));
        body_.append("\xFF\x01\x00", 3);
        ticks -= maxDelta;
    }
    putVlq(body_, static_cast<std::uint32_t>(ticks));
}

void TrackOut::event(std::int64_t tick, std::string_view bytes)
{
    if (tick < last_)
        tick = last_;
    delta(tick - last_);
    body_.append(bytes);
    last_ = tick;
}

void TrackOut::meta(std::int64_t tick, int type, std::string_view data)
{
    std::string bytes = {'\xFF', static_cast<char>(type)};
    putVlq(bytes, static_cast<std::uint32_t>(data.size()));
    bytes.append(data);
    event(tick, bytes);
}

std::string TrackOut::chunk() const
{
    const std::string end("\x00\xFF\x2F\x00", 4);
    if (body_.size() + end.size() > 0xFFFFFFFFu)
        return "";
    std::string out = "MTrk";
    putBE(out, static_cast<std::uint32_t>(body_.size() + end.size()), 4);
    out += body_;
    out += end;
    return out;
}
