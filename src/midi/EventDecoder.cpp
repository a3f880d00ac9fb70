// Track event decoder: the events of one track chunk, with running status,
// into the track's notes, tempo and volume changes.
#include "midi/EventDecoder.h"

#include "core/Message.h"
#include "core/TimeString.h"
#include "core/WrappingArithmetic.h"

#include <algorithm>
#include <cstdint>

namespace {

// Key names by number of sharps (positive) or flats (negative) plus 7.
const char* const majorKeys[15] = {"Cb", "Gb", "Db", "Ab", "Eb", "Bb", "F", "C",
                                   "G",  "D",  "A",  "E",  "B",  "F#", "C#"};
const char* const minorKeys[15] = {"Ab", "Eb", "Bb", "F", "C",  "G",  "D", "A",
                                   "E",  "B",  "F#", "C#", "G#", "D#", "A#"};

const char* const textKinds[8] = {"", "Text ", "Copyright ", "Track ", "Inst ", "Lyrics ", "Marker ", "Cue "};

} // namespace

// Reads one event; an event cut short by the end of input has no effect.
void EventDecoder::readEvent()
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

    if ((status >> 4) == 0xF)
        system(status);
    else
        channelEvent(status);
}

void EventDecoder::readEvents(std::uint32_t length)
{
    do {
        // The lines of every note are made by readEvent.
        if (showNotes_ || !readNotes(length))
            readEvent();
    } while (reader.consumed < length && !reader.atEnd());
}

namespace {

// A note-on or note-off as the bytes give it.
struct NoteEvent {
    std::uint32_t delta;
    int status;
    int key;
    int velocity;
};

// The note event at `p` after a delta of at most four bytes (seven bytes
// must be there), with running status `runningStatus`: the byte after it,
// or null for any other event, which is left to readEvent.
const unsigned char* noteAt(const unsigned char* p, int runningStatus, NoteEvent& event)
{
    std::uint32_t delta = *p++;
    if (delta >= 0x80) {
        delta &= 0x7F;
        int more = 3;
        do {
            if (more-- == 0)
                return nullptr;
            delta = (delta << 7) | static_cast<std::uint32_t>(*p & 0x7F);
        } while ((*p++ & 0x80) != 0);
    }
    int status = *p;
    if (status < 0x80)
        status = runningStatus; // the byte is the first data byte
    else
        ++p;
    if ((status >> 4) != 0x8 && (status >> 4) != 0x9)
        return nullptr;
    event = NoteEvent{delta, status, p[0], p[1]};
    return p + 2;
}

} // namespace

// Note-ons and note-offs read straight from the bytes, while the next event
// is one and all of its bytes are there: the bulk of a large file. They
// have the effect readEvent would give them without the lines of verbosity
// 6; it stops where readEvents would. True when it read any.
bool EventDecoder::readNotes(std::uint32_t length)
{
    const std::span<const unsigned char> rest = reader.rest();
    // An event starts only where seven bytes remain, inside the chunk's
    // length.
    std::size_t starts = rest.size() > 6 ? rest.size() - 6 : 0;
    starts = std::min<std::size_t>(starts, reader.consumed < length ? length - reader.consumed : 0);
    const unsigned char* const begin = rest.data();
    const unsigned char* const end = begin + starts;
    const unsigned char* p = begin;
    NoteEvent event{};
    while (p < end) {
        const unsigned char* next = noteAt(p, runningStatus_, event);
        if (next == nullptr)
            break;
        p = next;
        time_ = addWrap(time_, static_cast<int>(event.delta));
        runningStatus_ = event.status;
        const int channel = event.status & 0x0F;
        if ((event.status >> 4) == 0x9) {
            track_.addFileNote(time_, channel, event.key, event.velocity);
            ++channelUse[static_cast<std::size_t>(channel)];
        } else {
            track_.endFileNote(time_, channel, event.key, true);
        }
    }
    if (p == begin)
        return false;
    reader.advance(static_cast<std::size_t>(p - begin));
    tsValid_ = false;
    return true;
}

// A channel message (status 0x80..0xEF), or a data byte with no running status.
void EventDecoder::channelEvent(int status)
{
    const int channel = status & 0x0F;
    switch (status >> 4) {
    case 0x8: noteOff(channel); break;
    case 0x9: noteOn(channel); break;
    case 0xA: {
        int key = 0, value = 0;
        if (reader.byte(key) && reader.byte(value) && shown(Code::NoteAftertouch))
            tell(Code::NoteAftertouch, ts(), channel + 1);
        break;
    }
    case 0xB: controller(channel); break;
    case 0xC: {
        int program = 0;
        if (reader.byte(program) && shown(Code::ProgramChange))
            tell(Code::ProgramChange, ts(), program, channel + 1);
        break;
    }
    case 0xD: {
        int value = 0;
        if (reader.byte(value) && shown(Code::ChannelAftertouch))
            tell(Code::ChannelAftertouch, ts(), channel + 1);
        break;
    }
    case 0xE: {
        int low = 0, high = 0;
        if (reader.byte(low) && reader.byte(high) && shown(Code::PitchBend))
            tell(Code::PitchBend, ts(), low + 128 * high - 8192, channel + 1);
        break;
    }
    default:
        // A data byte with no running status: it stays in the stream and
        // is read next as the start of a delta time.
        report(Code::UnknownTrackToken, noChannel, ts(), 0);
        break;
    }
}

// The event's time as a time string, made on first use.
const char* EventDecoder::ts()
{
    if (!tsValid_) {
        ts_ = timeString(time_, division_);
        tsValid_ = true;
    }
    return ts_.c_str();
}

void EventDecoder::noteOff(int channel)
{
    int key = 0, velocity = 0;
    if (reader.byte(key) && reader.byte(velocity))
        endNote(channel, key, velocity);
}

void EventDecoder::endNote(int channel, int key, int velocity)
{
    if (showNotes_ && shown(Code::NoteOff))
        tell(Code::NoteOff, ts(), key, velocity, channel + 1);
    track_.setNoteOff(time_, channel, key, true);
}

void EventDecoder::noteOn(int channel)
{
    int key = 0, velocity = 0;
    if (reader.byte(key) && reader.byte(velocity))
        startNote(channel, key, velocity);
}

void EventDecoder::startNote(int channel, int key, int velocity)
{
    if (showNotes_)
        tell(Code::NoteOn, ts(), key, velocity, channel + 1);
    track_.addNote(time_, channel, key, velocity);
    ++channelUse[static_cast<std::size_t>(channel)];
}

void EventDecoder::controller(int channel)
{
    int number = 0, value = 0;
    if (!reader.byte(number) || !reader.byte(value))
        return;
    if (number >= 0x50 && number <= 0x5F)
        return;
    switch (number) {
    case 0:
    case 32:
        if (shown(Code::BankSelect))
            tell(Code::BankSelect, ts(), value, channel + 1);
        break;
    case 7:
        if (shown(Code::ChannelVolume))
            tell(Code::ChannelVolume, ts(), value, channel + 1);
        track_.addVolume(time_, channel, value);
        break;
    case 10:
        if (shown(Code::Panning))
            tell(Code::Panning, ts(), value, channel + 1);
        break;
    case 64:
        if (shown(Code::Sustain))
            tell(Code::Sustain, ts(), channel + 1);
        break;
    case 120:
        tell(Code::AllSoundOff, ts(), channel + 1);
        track_.allNotesOff(time_, channel);
        break;
    case 121:
        tell(Code::ResetControllers, ts(), channel + 1);
        break;
    case 123:
        tell(Code::AllNotesOff, ts(), channel + 1);
        track_.allNotesOff(time_, channel);
        break;
    case 127:
        tell(Code::PolyModeOn, ts(), channel + 1);
        track_.allNotesOff(time_, channel);
        break;
    default:
        report(Code::UnknownController, channel + 1, ts(), number, channel + 1);
        break;
    }
}

void EventDecoder::system(int status)
{
    if (status == 0xF0 || status == 0xF7) {
        std::uint32_t length = 0;
        if (reader.vlq(length) && reader.skip(length))
            report(Code::SysExIgnored, noChannel, ts());
    } else if (status == 0xFF) {
        meta();
    } else {
        report(Code::UnknownSystemToken, noChannel, ts(), status);
    }
}

// The single length byte of a fixed-size meta event; a wrong one is
// reported and the event's usual number of bytes is read all the same.
bool EventDecoder::fixedLength(int expected)
{
    int length = 0;
    if (!reader.byte(length))
        return false;
    if (length != expected)
        report(Code::InvalidByte, noChannel, ts());
    return true;
}

void EventDecoder::meta()
{
    int type = 0;
    if (!reader.byte(type))
        return;
    if (type >= 1 && type <= 7) {
        textEvent(type);
        return;
    }
    switch (type) {
    case 0x21: {
        int port = 0;
        if (fixedLength(1) && reader.byte(port))
            tell(Code::PortPrefix, ts(), port);
        break;
    }
    case 0x2F: endOfTrack(); break;
    case 0x51: tempo(); break;
    case 0x58: timeSignature(); break;
    case 0x59: keySignature(); break;
    default: {
        report(Code::UnknownEvent, noChannel, ts(), type);
        std::uint32_t length = 0;
        if (reader.vlq(length))
            reader.skip(length);
        break;
    }
    }
}

void EventDecoder::textEvent(int type)
{
    std::uint32_t length = 0;
    std::string text;
    if (!reader.vlq(length) || !reader.text(length, text))
        return;
    tell(Code::TextEvent, ts(), textKinds[type], text.c_str());
}

void EventDecoder::endOfTrack()
{
    std::uint32_t length = 0;
    if (!reader.vlq(length))
        return;
    if (length != 0)
        report(Code::InvalidByte, noChannel, ts());
    track_.allNotesOff(time_);
    tell(Code::TrackComplete, ts());
}

void EventDecoder::tempo()
{
    int b0 = 0, b1 = 0, b2 = 0;
    if (!fixedLength(3) || !reader.byte(b0) || !reader.byte(b1) || !reader.byte(b2))
        return;
    const int micros = (b0 << 16) | (b1 << 8) | b2;
    if (micros == 0) {
        report(Code::InvalidTempo, noChannel, ts());
        return;
    }
    const double bpm = 60000000.0 / micros;
    tell(Code::Tempo, ts(), bpm);
    track_.addTempo(time_, 15, static_cast<int>(bpm + 0.5));
}

void EventDecoder::timeSignature()
{
    int nn = 0, dd = 0, cc = 0, bb = 0;
    if (!fixedLength(4) || !reader.byte(nn) || !reader.byte(dd) || !reader.byte(cc) || !reader.byte(bb))
        return;
    // 2 to the power dd in 32 bits: 1 << 31 is the lowest int, beyond that 0.
    const int denominator = dd < 32 ? static_cast<int>(std::uint32_t{1} << dd) : 0;
    tell(Code::TimeSignature, ts(), nn, denominator, cc, bb);
    track_.timeSignatures.push_back(TimeSignature{time_, nn, denominator});
}

void EventDecoder::keySignature()
{
    int sfByte = 0, mi = 0;
    if (!fixedLength(2) || !reader.byte(sfByte) || !reader.byte(mi))
        return;
    const int sf = sfByte >= 0x80 ? sfByte - 256 : sfByte;
    if (sf < -7 || sf > 7)
        report(Code::InvalidKey, noChannel, ts(), sf);
    else if (mi == 0)
        tell(Code::Key, ts(), majorKeys[sf + 7], "major");
    else
        tell(Code::Key, ts(), minorKeys[sf + 7], "minor");
}
