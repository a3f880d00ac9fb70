// Standard MIDI File output: variable-length delta times and chunk framing.
#include "midi/MidiOut.h"

namespace {

// Largest delta time one variable-length quantity holds.
constexpr std::int64_t maxDelta = 0x0FFFFFFF;

} // namespace

void appendVlq(std::string& out, std::uint32_t value)
{
    char bytes[5];
    int n = 0;
    bytes[n++] = static_cast<char>(value & 0x7F);
    while ((value >>= 7) != 0)
        bytes[n++] = static_cast<char>(0x80 | (value & 0x7F));
    while (n > 0)
        out.push_back(bytes[--n]);
}

void appendBigEndian(std::string& out, std::uint32_t value, int bytes)
{
    for (int shift = 8 * (bytes - 1); shift >= 0; shift -= 8)
        out.push_back(static_cast<char>((value >> shift) & 0xFF));
}

std::string midiHeader(int type, int trackCount, int division)
{
    std::string out = "MThd";
    appendBigEndian(out, 6, 4);
    appendBigEndian(out, static_cast<std::uint32_t>(type), 2);
    appendBigEndian(out, static_cast<std::uint32_t>(trackCount), 2);
    appendBigEndian(out, static_cast<std::uint32_t>(division), 2);
    return out;
}

std::string midiChunk(std::string_view body)
{
    std::string out = "MTrk";
    appendBigEndian(out, static_cast<std::uint32_t>(body.size()), 4);
    out += body;
    return out;
}

// A wait longer than one delta time holds is bridged by empty text events.
void TrackOut::delta(std::int64_t ticks)
{
    while (ticks > maxDelta) {
        appendVlq(body_, static_cast<std::uint32_t>(maxDelta));
        body_.append("\xFF\x01\x00", 3);
        ticks -= maxDelta;
    }
    appendVlq(body_, static_cast<std::uint32_t>(ticks));
}

void TrackOut::event(std::int64_t tick, std::string_view bytes)
{
    if (tick < last_)
        tick = last_;
    delta(tick - last_);
    last_ = tick;
    if (bytes.empty())
        return;
    const int status = static_cast<unsigned char>(bytes.front());
    if (status >= 0xF0) {
        status_ = -1;
    } else if (runningStatus_ && status == status_) {
        bytes.remove_prefix(1);
    } else {
        status_ = status;
    }
    body_.append(bytes);
}

void TrackOut::meta(std::int64_t tick, int type, std::string_view data)
{
    std::string bytes = {'\xFF', static_cast<char>(type)};
    appendVlq(bytes, static_cast<std::uint32_t>(data.size()));
    bytes.append(data);
    event(tick, bytes);
}

std::string TrackOut::chunk() const
{
    const std::string end("\x00\xFF\x2F\x00", 4);
    if (body_.size() + end.size() > 0xFFFFFFFFu)
        return "";
    std::string out = "MTrk";
    appendBigEndian(out, static_cast<std::uint32_t>(body_.size() + end.size()), 4);
    out.reserve(out.size() + body_.size() + end.size());
    out += body_;
    out += end;
    return out;
}
