#include "support/MidiWriter.h"

#include "midi/MidiOut.h"

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
    std::string out;
    appendBigEndian(out, value, 2);
    return out;
}

std::string be32(std::uint32_t value)
{
    std::string out;
    appendBigEndian(out, value, 4);
    return out;
}

std::string vlq(std::uint32_t value)
{
    std::string out;
    appendVlq(out, value);
    return out;
}

std::string header(int type, int trackCount, int division)
{
    return midiHeader(type, trackCount, division);
}

std::string chunk(const std::string& body)
{
    return midiChunk(body);
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
    appendVlq(body_, delta);
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
