#include "midi/ParserMID.h"

#include "arrange/Song.h"
#include "core/Message.h"
#include "core/TimeString.h"
#include "core/Wrap.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <fstream>

namespace {

// Key names by number of sharps (positive) or flats (negative) plus 7.
const char* const majorKeys[15] = {"Cb", "Gb", "Db", "Ab", "Eb", "Bb", "F", "C",
                                   "G",  "D",  "A",  "E",  "B",  "F#", "C#"};
const char* const minorKeys[15] = {"Ab", "Eb", "Bb", "F", "C",  "G",  "D", "A",
                                   "E",  "B",  "F#", "C#", "G#", "D#", "A#"};

const char* const textKinds[8] = {"", "Text ", "Copyright ", "Track ", "Inst ", "Lyrics ", "Marker ", "Cue "};

// Largest piece of a text or skip handled at once, so that a declared length
// is never allocated up front.
const std::streamsize blockSize = 4096;

// Reads fixed-size big-endian fields; false when the input ends first.
bool readBytes(std::istream& in, unsigned char* out, std::streamsize count)
{
    in.read(reinterpret_cast<char*>(out), count);
    return in.gcount() == count;
}

bool readBE32(std::istream& in, std::uint32_t& value)
{
    unsigned char b[4];
    if (!readBytes(in, b, 4))
        return false;
    value = (std::uint32_t{b[0]} << 24) | (std::uint32_t{b[1]} << 16) | (std::uint32_t{b[2]} << 8) | b[3];
    return true;
}

// Whether Msg prints at `level`: lines of the event trace are only built
// (time string and all) when they will be shown.
bool shown(int level)
{
    return level >= 0 && level <= 9 && Message::instance()->msgLevel >= level;
}

// The body of one track chunk, read byte by byte with the count of the
// body bytes consumed so far. Single bytes come straight from the stream's
// buffer; the stream's state flags are set as its own get and peek would.
class ChunkReader {
public:
    explicit ChunkReader(std::istream& in) : in_(in), buf_(in.rdbuf()) {}

    std::uint32_t consumed = 0;

    // True when no further byte can be read.
    bool atEnd()
    {
        if (!in_.good() || buf_ == nullptr) {
            in_.setstate(std::ios::failbit);
            return true;
        }
        if (buf_->sgetc() == traits::eof()) {
            in_.setstate(std::ios::eofbit);
            return true;
        }
        return false;
    }

    // One byte (0..255), or false at the end of input.
    bool byte(int& value)
    {
        if (!in_.good() || buf_ == nullptr) {
            in_.setstate(std::ios::failbit);
            return false;
        }
        const auto c = buf_->sbumpc();
        if (c == traits::eof()) {
            in_.setstate(std::ios::eofbit | std::ios::failbit);
            return false;
        }
        ++consumed;
        value = static_cast<int>(traits::to_char_type(c)) & 0xFF;
        return true;
    }

    // Puts the byte just read back, to be read again.
    void stepBack()
    {
        in_.unget();
        --consumed;
    }

    // Variable-length quantity, accumulated modulo 2^32.
    bool vlq(std::uint32_t& value)
    {
        value = 0;
        int b = 0;
        do {
            if (!byte(b))
                return false;
            value = (value << 7) | static_cast<std::uint32_t>(b & 0x7F);
        } while ((b & 0x80) != 0);
        return true;
    }

    // Passes over `count` bytes, or as many as the input still holds;
    // true when all of them were there.
    bool skip(std::uint32_t count)
    {
        in_.ignore(static_cast<std::streamsize>(count));
        const auto skipped = in_.gcount();
        consumed += static_cast<std::uint32_t>(skipped);
        return skipped == static_cast<std::streamsize>(count);
    }

    // Reads `count` bytes of text, in blocks, keeping what stands before the
    // first zero byte; true when all of them were there.
    bool text(std::uint32_t count, std::string& out)
    {
        out.clear();
        bool zeroSeen = false;
        std::array<char, blockSize> block;
        std::uint64_t left = count;
        while (left > 0) {
            const auto want = static_cast<std::streamsize>(std::min<std::uint64_t>(left, blockSize));
            in_.read(block.data(), want);
            const auto got = in_.gcount();
            consumed += static_cast<std::uint32_t>(got);
            if (!zeroSeen) {
                const char* begin = block.data();
                const char* end = std::find(begin, begin + got, '\0');
                out.append(begin, end);
                zeroSeen = end != begin + got;
            }
            if (got != want)
                return false;
            left -= static_cast<std::uint64_t>(got);
        }
        return true;
    }

private:
    using traits = std::istream::traits_type;
    std::istream& in_;
    std::streambuf* buf_;
};

// Decodes the events of one chunk into a track.
class EventDecoder {
public:
    EventDecoder(std::istream& in, int division, Track& track) : reader(in), division_(division), track_(track) {}

    ChunkReader reader;
    std::array<int, 16> channelUse{};

    // Reads one event; an event cut short by the end of input has no effect.
    void readEvent()
    {
        std::uint32_t delta = 0;
        if (!reader.vlq(delta))
            return;
        time_ = addWrap(time_, static_cast<int>(delta));
        tsValid_ = false;

        int status = 0;
        if (!reader.byte(status))
            return;
        if (status < 0x80) {
            // A data byte: running status applies, the byte is read again.
            reader.stepBack();
            status = runningStatus_;
        }
        if (status >= 0xF0) {
            if (status != 0xFF)
                runningStatus_ = 0;
        } else {
            runningStatus_ = status;
        }

        const int channel = status & 0x0F;
        switch (status >> 4) {
        case 0x8: noteOff(channel); break;
        case 0x9: noteOn(channel); break;
        case 0xA: {
            int key = 0, value = 0;
            if (reader.byte(key) && reader.byte(value) && shown(8))
                Msg(8, "Time %s: Note aftertouch on channel %d ignored.\n", ts(), channel + 1);
            break;
        }
        case 0xB: controller(channel); break;
        case 0xC: {
            int program = 0;
            if (reader.byte(program) && shown(8))
                Msg(8, "Time %s: Program change %d on channel %d ignored.\n", ts(), program, channel + 1);
            break;
        }
        case 0xD: {
            int value = 0;
            if (reader.byte(value) && shown(8))
                Msg(8, "Time %s: Channel aftertouch on channel %d ignored.\n", ts(), channel + 1);
            break;
        }
        case 0xE: {
            int low = 0, high = 0;
            if (reader.byte(low) && reader.byte(high) && shown(8))
                Msg(8, "Time %s: Pitch bend %d on channel %d ignored.\n", ts(), low + 128 * high - 8192,
                    channel + 1);
            break;
        }
        case 0xF: system(status); break;
        default:
            // A data byte with no running status: it stays in the stream and
            // is read next as the start of a delta time.
            Msg(3, "Time %s: Unknown track token %02x ignored.\n", ts(), 0);
            break;
        }
    }

private:
    int division_;
    Track& track_;
    int time_ = 0;
    int runningStatus_ = 0;
    std::string ts_;
    bool tsValid_ = false;

    // The event's time as a time string, made on first use.
    const char* ts()
    {
        if (!tsValid_) {
            ts_ = timeString(time_, division_);
            tsValid_ = true;
        }
        return ts_.c_str();
    }

    void noteOff(int channel)
    {
        int key = 0, velocity = 0;
        if (!reader.byte(key) || !reader.byte(velocity))
            return;
        if (shown(7))
            Msg(7, "Time %s: Note %d(%d) off on channel %d.\n", ts(), key, velocity, channel + 1);
        track_.setNoteOff(time_, channel, key, true);
    }

    void noteOn(int channel)
    {
        int key = 0, velocity = 0;
        if (!reader.byte(key) || !reader.byte(velocity))
            return;
        if (shown(6))
            Msg(6, "Time %s: Note %d(%d) on on channel %d.\n", ts(), key, velocity, channel + 1);
        track_.addNote(time_, channel, key, velocity);
        ++channelUse[static_cast<std::size_t>(channel)];
    }

    void controller(int channel)
    {
        int number = 0, value = 0;
        if (!reader.byte(number) || !reader.byte(value))
            return;
        if (number >= 0x50 && number <= 0x5F)
            return;
        switch (number) {
        case 0:
        case 32:
            if (shown(8))
                Msg(8, "Time %s: Bank select to %d on channel %d ignored.\n", ts(), value, channel + 1);
            break;
        case 7:
            if (shown(6))
                Msg(6, "Time %s: Channel volume to %d%% on channel %d.\n", ts(), value, channel + 1);
            track_.addVolume(time_, channel, value);
            break;
        case 10:
            if (shown(8))
                Msg(8, "Time %s: Panning to %d on channel %d ignored.\n", ts(), value, channel + 1);
            break;
        case 64:
            if (shown(7))
                Msg(7, "Time %s: Sustain ignored on channel %d ignored.\n", ts(), channel + 1);
            break;
        case 120:
            Msg(5, "Time %s: All sound off on channel %d.\n", ts(), channel + 1);
            track_.allNotesOff(time_, channel);
            break;
        case 121:
            Msg(7, "Time %s: Reset controllers on channel %d ignored.\n", ts(), channel + 1);
            break;
        case 123:
            Msg(5, "Time %s: All notes off on channel %d.\n", ts(), channel + 1);
            track_.allNotesOff(time_, channel);
            break;
        case 127:
            Msg(5, "Time %s: Poly mode on (and all notes off) on channel %d.\n", ts(), channel + 1);
            track_.allNotesOff(time_, channel);
            break;
        default:
            Msg(3, "Time %s: Unknown controller event %02x on channel %d ignored.\n", ts(), number,
                channel + 1);
            break;
        }
    }

    void system(int status)
    {
        if (status == 0xF0 || status == 0xF7) {
            std::uint32_t length = 0;
            if (reader.vlq(length) && reader.skip(length))
                Msg(3, "Time %s: SysEx event ignored.\n", ts());
        } else if (status == 0xFF) {
            meta();
        } else {
            Msg(3, "Time %s: Unknown system token %02x ignored.\n", ts(), status);
        }
    }

    // The single length byte of a fixed-size meta event; a wrong one is
    // reported and the event's usual number of bytes is read all the same.
    bool fixedLength(int expected)
    {
        int length = 0;
        if (!reader.byte(length))
            return false;
        if (length != expected)
            Msg(2, "Time %s: Invalid byte value ignored.\n", ts());
        return true;
    }

    void meta()
    {
        int type = 0;
        if (!reader.byte(type))
            return;
        if (type >= 1 && type <= 7) {
            std::uint32_t length = 0;
            std::string text;
            if (!reader.vlq(length) || !reader.text(length, text))
                return;
            Msg(5, "Time %s: ", ts());
            MsgSilent(5, "%s", textKinds[type]);
            MsgSilent(5, "\"%s\".\n", text.c_str());
            return;
        }
        switch (type) {
        case 0x21: {
            int port = 0;
            if (!fixedLength(1) || !reader.byte(port))
                return;
            Msg(8, "Time %s: Port prefix %02x ignored.\n", ts(), port);
            break;
        }
        case 0x2F: {
            std::uint32_t length = 0;
            if (!reader.vlq(length))
                return;
            if (length != 0)
                Msg(2, "Time %s: Invalid byte value ignored.\n", ts());
            track_.allNotesOff(time_);
            Msg(5, "Time %s: Track complete.\n", ts());
            break;
        }
        case 0x51: {
            int b0 = 0, b1 = 0, b2 = 0;
            if (!fixedLength(3) || !reader.byte(b0) || !reader.byte(b1) || !reader.byte(b2))
                return;
            const int micros = (b0 << 16) | (b1 << 8) | b2;
            if (micros == 0) {
                Msg(2, "Time %s: Invalid tempo 0 ignored.\n", ts());
                return;
            }
            const double bpm = 60000000.0 / micros;
            Msg(6, "Time %s: Tempo is %g.\n", ts(), bpm);
            track_.addTempo(time_, 15, static_cast<int>(bpm + 0.5));
            break;
        }
        case 0x58: {
            int nn = 0, dd = 0, cc = 0, bb = 0;
            if (!fixedLength(4) || !reader.byte(nn) || !reader.byte(dd) || !reader.byte(cc) || !reader.byte(bb))
                return;
            // 2 to the power dd in 32 bits: 1 << 31 is the lowest int, beyond that 0.
            const int denominator = dd < 32 ? static_cast<int>(std::uint32_t{1} << dd) : 0;
            Msg(5, "Time %s: Time signature %d %d %d %d ignored.\n", ts(), nn, denominator, cc, bb);
            break;
        }
        case 0x59: {
            int sfByte = 0, mi = 0;
            if (!fixedLength(2) || !reader.byte(sfByte) || !reader.byte(mi))
                return;
            const int sf = sfByte >= 0x80 ? sfByte - 256 : sfByte;
            if (sf < -7 || sf > 7)
                Msg(2, "Time %s: Warning! Invalid key %d ignored!\n", ts(), sf);
            else if (mi == 0)
                Msg(5, "Time %s: Key is %s %s.\n", ts(), majorKeys[sf + 7], "major");
            else
                Msg(5, "Time %s: Key is %s %s.\n", ts(), minorKeys[sf + 7], "minor");
            break;
        }
        default: {
            Msg(3, "Time %s: Unknown event token %02x ignored.\n", ts(), type);
            std::uint32_t length = 0;
            if (reader.vlq(length))
                reader.skip(length);
            break;
        }
        }
    }
};

} // namespace

bool ParserMID::loadSong(const std::string& fileName, Song* song)
{
    std::ifstream in(fileName, std::ios::in | std::ios::binary);
    if (!in.is_open()) {
        Msg(0, "Could not open \"%s\".\n", fileName.c_str());
        return false;
    }
    Msg(4, "Parsing \"%s\"...\n", fileName.c_str());

    unsigned char id[4];
    std::uint32_t length = 0;
    unsigned char data[6];
    if (!readBytes(in, id, 4) || !std::equal(id, id + 4, "MThd") || !readBE32(in, length) || length != 6 ||
        !readBytes(in, data, 6)) {
        Msg(0, "Not a MIDI File.\n");
        return false;
    }
    const auto type = static_cast<unsigned short>((data[0] << 8) | data[1]);
    const auto trackCount = static_cast<unsigned short>((data[2] << 8) | data[3]);
    const auto word = static_cast<unsigned short>((data[4] << 8) | data[5]);

    Msg(5, "Found MIDI Type %hu.\n", type);
    if (type > 2)
        Msg(2, "Warning! Found invalid MIDI type %hu!\n", type);
    if (type == 2)
        Msg(3, "Note: MIDI type 2 probably not supported.\n");
    Msg(5, "Found %hu Track%s.\n", trackCount, trackCount == 1 ? "" : "s");

    int division = 0;
    if ((word & 0x8000) != 0) {
        // SMPTE timing: negative frame rate in the upper byte, ticks per frame below.
        const int fps = 256 - (word >> 8);
        const int tpf = word & 0xFF;
        Msg(3, "Warning! SMPTE time division found (%d fps, %d tps), using ", fps, tpf);
        division = fps * tpf;
        MsgSilent(3, "%d.\n", division);
    } else {
        if (word % 24 == 0)
            Msg(5, "Time division is %hu.\n", word);
        else
            Msg(3, "Warning! Time division of %hu not supported!\n", word);
        division = word;
    }
    if (division == 0) {
        // Every later stage divides by the division.
        Msg(0, "Invalid time division %d!\n", 0);
        return false;
    }
    song->division = division;

    for (unsigned i = 0; i < trackCount; ++i) {
        if (auto track = loadTrack(in, song))
            song->tracks.push_back(std::move(track));
    }
    return true;
}

std::unique_ptr<Track> ParserMID::loadTrack(std::istream& in, const Song* song)
{
    unsigned char id[4];
    if (!readBytes(in, id, 4) || !std::equal(id, id + 4, "MTrk")) {
        Msg(2, "Not a MIDI Track.\n");
        return nullptr;
    }
    auto track = std::make_unique<Track>();
    std::uint32_t length = 0;
    if (!readBE32(in, length))
        length = 0; // a length field cut short: an empty track

    // The file reader never hands over a division below 1; guard the
    // time strings against a caller that does.
    const int division = (song != nullptr && song->division > 0) ? song->division : 1;
    EventDecoder decoder(in, division, *track);
    ChunkReader& reader = decoder.reader;
    if (length != 0 && !reader.atEnd()) {
        do {
            decoder.readEvent();
        } while (reader.consumed < length && !reader.atEnd());
    }

    if (reader.consumed != length)
        Msg(1, "Warning! Track is %d bytes too short!\n", static_cast<int>(length - reader.consumed));

    bool anyChannel = false;
    for (int use : decoder.channelUse)
        anyChannel = anyChannel || use > 0;
    if (!anyChannel) {
        Msg(5, "Track uses no channels.\n");
    } else {
        Msg(5, "Track uses channel");
        for (std::size_t c = 0; c < decoder.channelUse.size(); ++c)
            if (decoder.channelUse[c] > 0)
                MsgSilent(5, " %d", static_cast<int>(c) + 1);
        MsgSilent(5, ".\n");
    }
    return track;
}
