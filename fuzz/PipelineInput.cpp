#include "PipelineInput.h"

#include "core/Message.h"
#include "core/Settings.h"
#include "midi/MidiReader.h"

#include <algorithm>
#include <climits>
#include <cstdlib>

namespace {


constexpr std::size_t prefixSize = 8;

// A file this short may still make a long song when the settings ask for it.
constexpr std::size_t shortFile = 96;

std::uint8_t at(const std::uint8_t* data, std::size_t size, std::size_t i)
{
    return i < size ? data[i] : 0;
}

Level verbosityFor(int pick)
{
    // Mostly quiet, but every level is reached.
    static const Level levels[8] = {Level::Fatal, Level::Error, Level::Warn,  Level::Output,
                                    Level::Info,  Level::Debug, Level::Ignore, Level::All};
    return levels[pick & 7];
}

int polyphonyFor(int pick)
{
    static const int limits[8] = {0, 1, 2, 3, 4, 7, 1000, INT_MAX};
    return limits[pick & 7];
}

int transposeFor(std::uint8_t value)
{
    const int t = static_cast<std::int8_t>(value);
    if (t == -128)
        return INT_MIN;
    if (t == 127)
        return INT_MAX;
    return t;
}

// The settings a valid command line could make.
Settings configure(const std::uint8_t* data, std::size_t size)
{
    Settings song;
    const int flags = at(data, size, 0);
    song.autoTranspose = (flags & 1) != 0;
    song.longChords = (flags & 2) != 0;
    song.upperC = (flags & 4) != 0;
    song.eliminateIdentical = (flags & 8) != 0;
    song.triplets = (flags & 16) == 0;
    song.verbosity = verbosityFor(flags >> 5);

    const int poly = at(data, size, 1);
    const int limit = polyphonyFor(poly);
    if ((poly & 8) != 0)
        song.polyphony[poly >> 4] = limit;
    else
        song.polyphony.fill(limit);
    song.keepOuterVoices = (poly & 0x18) == 0x10;

    song.transpose = transposeFor(at(data, size, 2));

    const unsigned disabled = at(data, size, 6) | (at(data, size, 7) << 8);
    for (int ch = 0; ch < channelCount; ++ch)
        if ((disabled >> ch) & 1)
            song.active[ch] = false;

    const int merge = at(data, size, 3);
    song.keepInStep = (merge & 8) != 0;
    if ((merge & 4) != 0) {
        static const int parts[4] = {1, 2, 5, maxSplitParts};
        song.splitParts = parts[(merge >> 4) & 3];
    }
    if ((merge & 3) == 3) {
        // Arranged for 1..16 players instead of merged.
        song.players = 1 + (merge >> 4);
    } else if ((merge & 3) == 1) {
        for (int ch = 1; ch < channelCount; ++ch)
            song.mergeList[0].push_back(ch);
        song.active[0] = true;
    } else if ((merge & 3) == 2) {
        const int target = merge >> 4;
        const unsigned sources = at(data, size, 4) | (at(data, size, 5) << 8);
        for (int ch = 0; ch < channelCount; ++ch)
            if (ch != target && ((sources >> ch) & 1))
                song.mergeList[target].push_back(ch);
        if (!song.mergeList[target].empty())
            song.active[target] = true;
    }

    // Long chords are refused when an active channel may sound one note only.
    if (song.longChords)
        for (int ch = 0; ch < channelCount; ++ch)
            if (song.active[ch] && song.polyphony[ch] == 1)
                song.polyphony[ch] = 2;
    return song;
}

} // namespace

std::int64_t songQuarters(std::span<const unsigned char> midi)
{
    Message silent(nullptr, Level::Fatal);
    MessageScope scope(silent);
    MidiFile file;
    if (!MidiReader().loadSong(midi, "", file) || file.division <= 0)
        return 0;
    std::int64_t last = 0;
    for (const Track& track : file.tracks)
        for (const Element& e : track.elements())
            last = std::max<std::int64_t>(last, std::llabs(e.time) + (e.isNote() ? std::llabs(e.duration) : 0));
    return last / file.division;
}

std::optional<ConversionRequest> pipelineRequest(const std::uint8_t* data, std::size_t size)
{
    const std::size_t skip = size < prefixSize ? size : prefixSize;
    ConversionRequest request;
    request.settings = configure(data, size);
    request.inputName = "fuzz.mid";
    request.outputName = (at(data, size, 3) & 4) != 0 ? "-" : "fuzz.txt";
    request.midi = std::span<const unsigned char>(data + skip, size - skip);
    const bool longAllowed = (at(data, size, 3) & 0x0C) == 0x0C && size - skip <= shortFile;
    if (!longAllowed && songQuarters(request.midi) > longSong)
        return std::nullopt;
    return request;
}
