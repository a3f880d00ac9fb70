#include "support/MidiWriter.h"

#include <fstream>

namespace midi {

std::string bytes(std::initializer_list<int> values)
{
    std::string out;
    for (int v : values)
        out.push_back(static_cast<char>(v & 0xFF));
    return out;
}

std::string be16(std::uint32_t value)
{
    return bytes({static_cast<int>(value >> 8), static_cast<int>(value)});
}

std::string be32(std::uint32_t value)
{
    return bytes({static_cast<int>(value >> 24), static_cast<int>(value >> 16),
                  static_cast<int>(value >> 8), static_cast<int>(value)});
}

std::string vlq(std::uint32_t value)
{
    std::string out(1, static_cast<char>(value & 0x7F));
    while ((value >>= 7) != 0)
        out.insert(out.begin(), static_cast<char>(0x80 | (value & 0x7F)));
    return out;
}

std::string header(int type, int trackCount, int division)
{
    return "MThd" + be32(6) + be16(type) + be16(trackCount) + be16(division);
}

std::string chunk(const std::string& body)
{
    return "MTrk" + be32(static_cast<std::uint32_t>(body.size())) + body;
}

TrackBody& TrackBody::noteOn(std::uint32_t delta, int channel, int key, int velocity)
{
    return event(delta, bytes({0x90 | channel, key, velocity}));
}

TrackBody& TrackBody::noteOff(std::uint32_t delta, int channel, int key, int velocity)
{
    return event(delta, bytes({0x80 | channel, key, velocity}));
}

TrackBody& TrackBody::controller(std::uint32_t delta, int channel, int number, int value)
{
    return event(delta, bytes({0xB0 | channel, number, value}));
}

TrackBody& TrackBody::tempo(std::uint32_t delta, std::uint32_t micros)
{
    return event(delta, bytes({0xFF, 0x51, 0x03, static_cast<int>(micros >> 16),
                               static_cast<int>(micros >> 8), static_cast<int>(micros)}));
}

TrackBody& TrackBody::endOfTrack(std::uint32_t delta)
{
    return event(delta, bytes({0xFF, 0x2F, 0x00}));
}

TrackBody& TrackBody::event(std::uint32_t delta, const std::string& rawEvent)
{
    body_ += vlq(delta);
    body_ += rawEvent;
    return *this;
}

TrackBody& TrackBody::raw(const std::string& rawBytes)
{
    body_ += rawBytes;
    return *this;
}

bool writeFile(const std::string& path, const std::string& data)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(data.data(), static_cast<std::streamsize>(data.size()));
    return static_cast<bool>(out);
}

} // namespace midi
