#include "midi/MidiReader.h"

#include "midi/EventDecoder.h"

#include "core/Message.h"
#include "core/OrderedTasks.h"
#include "core/Wrap.h"

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
        Msg(Level::Info, "Time division is %hu.\n", word);
    else
        report(Code::UnsupportedDivision, noChannel, int{word});
    return word;
}

} // namespace

bool MidiReader::loadSong(std::span<const unsigned char> bytes, const std::string& fileName, MidiFile& file)
{
    Msg(Level::Output, "Parsing \"%s\"...\n", fileName.c_str());
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

    Msg(Level::Info, "Found MIDI Type %hu.\n", type);
    if (type > 2)
        report(Code::InvalidMidiType, noChannel, int{type});
    if (type == 2)
        report(Code::MidiType2, noChannel);
    Msg(Level::Info, "Found %hu Track%s.\n", trackCount, trackCount == 1 ? "" : "s");

    const int division = divisionOf(word);
    if (division == 0) {
        // Every later stage divides by the division.
        report(Code::InvalidDivision, noChannel, 0);
        return false;
    }
    file.division = division;

    const unsigned read = loadTracksSideBySide(bytes, in, trackCount, division, file);
    for (unsigned i = read; i < trackCount; ++i) {
        if (auto track = loadTrack(in, division))
            file.tracks.push_back(std::move(*track));
    }
    return true;
}

namespace {

// Where the well-formed track chunks from `first` on begin, at most
// `count`: each an "MTrk" chunk whose body lies wholly in the file, the
// next right after it. They are where reading would find them if every
// body is read to its declared end.
std::vector<std::size_t> chunkStarts(std::span<const unsigned char> bytes, std::size_t first, unsigned count)
{
    std::vector<std::size_t> starts;
    std::size_t at = first;
    while (starts.size() < count && bytes.size() - at >= 8 && std::memcmp(bytes.data() + at, "MTrk", 4) == 0) {
        const unsigned char* p = bytes.data() + at + 4;
        const std::size_t length = (std::size_t{p[0]} << 24) | (std::size_t{p[1]} << 16) | (std::size_t{p[2]} << 8) | p[3];
        if (length > bytes.size() - at - 8)
            break;
        starts.push_back(at);
        at += 8 + length;
    }
    return starts;
}

} // namespace

unsigned MidiReader::loadTracksSideBySide(std::span<const unsigned char> bytes, ByteReader& in, unsigned count,
                                          int division, MidiFile& file)
{
    const std::vector<std::size_t> starts = chunkStarts(bytes, in.position(), count);
    if (starts.size() < 2 || !tasksRunSideBySide() || !in.good())
        return 0;
    // Each chunk is read from where it would begin; a chunk whose reading
    // did not end right where the next begins (an event across its end, a
    // file cut short) leaves the rest to reading in turn.
    struct Read {
        std::optional<Track> track;
        std::size_t end = 0;
        bool good = false;
    };
    std::vector<Read> reads(starts.size());
    const auto readChunk = [&](std::size_t k) {
        ByteReader chunk(bytes);
        chunk.skip(starts[k]);
        reads[k].track = loadTrack(chunk, division);
        reads[k].end = chunk.position();
        reads[k].good = chunk.good();
    };
    const auto stands = [&](std::size_t k) {
        if (k == 0)
            return true;
        if (!reads[k - 1].good || reads[k - 1].end != starts[k])
            return false;
        if (passed)
            passed(starts[k]);
        return true;
    };
    const std::size_t done = runOrdered(starts.size(), readChunk, stands);
    for (std::size_t k = 0; k < done; ++k)
        if (reads[k].track)
            file.tracks.push_back(std::move(*reads[k].track));
    // The reader goes on from where the last chunk taken ended.
    in = ByteReader(bytes);
    in.skip(reads[done - 1].end);
    if (!reads[done - 1].good)
        in.skip(bytes.size() + 1);
    return static_cast<unsigned>(done);
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
    // that many spares the copies of a growing list; pages never written
    // cost no memory.
    track.reserve(std::min<std::size_t>(length, in.remaining()) / 3);

    // The file reader never hands over a division below 1; guard the
    // time strings against a caller that does.
    EventDecoder decoder(in, division > 0 ? division : 1, track);
    ChunkReader& reader = decoder.reader;
    // The reader steps back at most one byte; what lies further back is
    // passed for good.
    constexpr std::size_t passStep = std::size_t{1} << 20;
    constexpr std::size_t lookBack = 16;
    // Read side by side, a chunk tells only once its turn has come: before,
    // the chunks ahead of it may yet have to be read again.
    const bool tell = static_cast<bool>(passed);
    std::size_t nextPass = tell ? in.position() + passStep : SIZE_MAX;
    if (length != 0 && !reader.atEnd()) {
        do {
            decoder.readEvents(length, nextPass);
            if (tell && in.position() >= nextPass && taskHasTurn()) {
                passed(in.position() - lookBack);
                nextPass = in.position() + passStep;
            }
        } while (reader.consumed < length && !reader.atEnd());
    }

    track.trim();
    if (reader.consumed != length)
        report(Code::TrackTooShort, noChannel, static_cast<int>(length - reader.consumed));

    bool anyChannel = false;
    for (int use : decoder.channelUse)
        anyChannel = anyChannel || use > 0;
    if (!anyChannel) {
        Msg(Level::Info, "Track uses no channels.\n");
    } else {
        Msg(Level::Info, "Track uses channel");
        for (std::size_t c = 0; c < decoder.channelUse.size(); ++c)
            if (decoder.channelUse[c] > 0)
                MsgContinue(Level::Info, " %d", static_cast<int>(c) + 1);
        MsgContinue(Level::Info, ".\n");
    }
    return track;
}
