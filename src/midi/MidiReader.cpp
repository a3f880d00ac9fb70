#include "midi/MidiReader.h"

#include "midi/EventDecoder.h"

#include "core/Message.h"
#include "core/WrappingArithmetic.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {

// The ticks per quarter note that the header's division word gives, with
// what it tells of them; 0 when the word gives none.
int divisionOf(unsigned short word)
{
    if ((word & 0x8000) != 0) {
        // SMPTE timing: negative frame rate in the upper byte, ticks per frame below.
        const int fps = 256 - (word >> 8);
        const int tpf = word & 0xFF;
        const int division = fps * tpf;
        report(Code::SmpteDivision, noChannel, fps, tpf, division);
        return division;
    }
    if (word % 24 == 0)
        tell(Code::TimeDivision, int{word});
    else
        report(Code::UnsupportedDivision, noChannel, int{word});
    return word;
}

} // namespace

bool MidiReader::loadSong(std::span<const unsigned char> bytes, const std::string& fileName, MidiFile& file)
{
    tell(Code::Parsing, fileName.c_str());
    ByteReader in(bytes);

    unsigned char id[4];
    std::uint32_t length = 0;
    unsigned char data[6];
    if (bytes.empty()) {
        report(Code::Empty, noChannel);
        return false;
    }
    const bool named = in.read(id, 4) && std::memcmp(id, "MThd", 4) == 0;
    const bool lengthRead = named && in.readBE32(length);
    if (!named || (lengthRead && length != 6)) {
        report(Code::NotMidi, noChannel);
        return false;
    }
    if (!lengthRead || !in.read(data, 6)) {
        report(Code::HeaderCutShort, noChannel);
        return false;
    }
    const auto type = static_cast<unsigned short>((data[0] << 8) | data[1]);
    const auto trackCount = static_cast<unsigned short>((data[2] << 8) | data[3]);
    const auto word = static_cast<unsigned short>((data[4] << 8) | data[5]);

    tell(Code::MidiType, int{type});
    if (type > 2)
        report(Code::InvalidMidiType, noChannel, int{type});
    if (type == 2)
        report(Code::MidiType2, noChannel);
    tell(Code::TrackCount, int{trackCount}, trackCount == 1 ? "" : "s");

    const int division = divisionOf(word);
    if (division == 0) {
        // Every later stage divides by the division.
        report(Code::InvalidDivision, noChannel, 0);
        return false;
    }
    file.division = division;

    for (unsigned i = 0; i < trackCount; ++i) {
        if (auto track = loadTrack(in, division))
            file.tracks.push_back(std::move(*track));
    }
    return true;
}

std::optional<Track> MidiReader::loadTrack(ByteReader& in, int division)
{
    unsigned char id[4];
    if (!in.read(id, 4) || std::memcmp(id, "MTrk", 4) != 0) {
        report(Code::NotTrack, noChannel);
        return std::nullopt;
    }
    Track track;
    std::uint32_t length = 0;
    if (!in.readBE32(length))
        length = 0; // a length field cut short: an empty track
    // Every element takes at least three bytes of the chunk. Reserving for
    // that many spares the copies of a growing list; room never written
    // costs the system no memory.
    track.reserve(std::min<std::size_t>(length, in.remaining()) / 3);

    // The file reader never hands over a division below 1; guard the
    // time strings against a caller that does.
    EventDecoder decoder(in, division > 0 ? division : 1, track);
    ChunkReader& reader = decoder.reader;
    if (length != 0 && !reader.atEnd())
        decoder.readEvents(length);

    if (reader.consumed != length)
        report(Code::TrackTooShort, noChannel, static_cast<int>(length - reader.consumed));

    bool anyChannel = false;
    for (int use : decoder.channelUse)
        anyChannel = anyChannel || use > 0;
    if (!anyChannel) {
        tell(Code::TrackUsesNoChannels);
    } else {
        tell(Code::TrackUsesChannels);
        for (std::size_t c = 0; c < decoder.channelUse.size(); ++c)
            if (decoder.channelUse[c] > 0)
                tell(Code::TrackChannel, static_cast<int>(c) + 1);
        tell(Code::TrackChannelsEnd);
    }
    return track;
}
