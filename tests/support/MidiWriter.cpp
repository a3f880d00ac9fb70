#include "support/MidiWriter.h"

#include "midi/MidiOut.h"

#include <algorithm>
#include <fstream>
#include <tuple>

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

std::string song(const std::vector<SongNote>& notes, const std::string& meta)
{
    std::vector<std::tuple<int, int, std::string>> events; // tick, note-offs first, bytes
    for (const SongNote& n : notes) {
        events.emplace_back(n.tick, 1, bytes({0x90 + n.channel, n.pitch, 100}));
        events.emplace_back(n.tick + n.ticks, 0, bytes({0x80 + n.channel, n.pitch, 64}));
    }
    std::stable_sort(events.begin(), events.end(), [](const auto& a, const auto& b) {
        return std::tie(std::get<0>(a), std::get<1>(a)) < std::tie(std::get<0>(b), std::get<1>(b));
    });
    std::string body = meta;
    int last = 0;
    for (const auto& [tick, kind, raw] : events) {
        body += vlq(static_cast<std::uint32_t>(tick - last)) + raw;
        last = tick;
    }
    body += bytes({0x00, 0xFF, 0x2F, 0x00});
    return header(0, 1, 96) + chunk(body);
}

} // namespace midi
