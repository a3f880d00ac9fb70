// Tune encoder: one channel's quantised elements as Varnholt tune text.
#include "tune/TuneWriter.h"

#include "core/Message.h"
#include "core/WrappingArithmetic.h"

#include <algorithm>
#include <climits>
#include <string_view>

namespace {

// A note name: one or two characters.
struct NoteName {
    char text[2];
    std::size_t size;
};
constexpr NoteName lowerNoteNames[13] = {{{'c', 0}, 1},   {{'c', '#'}, 2}, {{'d', 0}, 1},   {{'e', '.'}, 2},
                                         {{'e', 0}, 1},   {{'f', 0}, 1},   {{'f', '#'}, 2}, {{'g', 0}, 1},
                                         {{'a', '.'}, 2}, {{'a', 0}, 1},   {{'b', '.'}, 2}, {{'b', 0}, 1},
                                         {{'b', '#'}, 2}};
constexpr NoteName upperNoteNames[13] = {{{'C', 0}, 1},   {{'C', '#'}, 2}, {{'D', 0}, 1},   {{'E', '.'}, 2},
                                         {{'E', 0}, 1},   {{'F', 0}, 1},   {{'F', '#'}, 2}, {{'G', 0}, 1},
                                         {{'A', '.'}, 2}, {{'A', 0}, 1},   {{'B', '.'}, 2}, {{'B', 0}, 1},
                                         {{'B', '#'}, 2}};

void putName(TuneText& out, const NoteName& name)
{
    out.putShort(name.text, name.size);
}
constexpr char octaveMarks[3] = {'\\', '=', '/'};
// Note lengths in 24ths: the shortest and longest notes the notation
// writes, and the shortest held under long chords.
constexpr int shortestNote = 6;
constexpr int longestNote = longestSixteenths * 6;
constexpr int heldFrom = 60;
// A state no mark leads to: the next mark of its kind is written in full.
constexpr int unknownState = -1;

// A count of sixteenths as the int that addPause takes. Anything beyond the
// int range is far longer than the cap allows, so the text is the same.
int clampToInt(std::int64_t value)
{
    return static_cast<int>(std::clamp<std::int64_t>(value, INT_MIN, INT_MAX));
}

// Volume 1..10 of a note from its channel volume and velocity: their
// product in thousandths, rounded half up. Exact in integers (the product
// of an int and a 16-bit velocity fits in 64 bits).
int noteVolume(int channelVolume, int velocity)
{
    const std::int64_t h = std::int64_t{channelVolume} * velocity + 500;
    if (h >= 10000)
        return 10;
    if (h < 1000) // 0, and nonsense negative values, are the softest volume
        return 1;
    return static_cast<int>(h / 1000);
}

} // namespace

TuneWriter::TuneWriter(std::span<const Element> elements, const TuneOptions& options)
    : elements_(elements), options_(options)
{
    // A note takes four or five characters on average.
    out_.reserve(8 * elements.size());
    channelVolumes_.fill(100);
    if (options.restate) {
        // No state is known: the first mark of each kind is written in full.
        tempoState_ = unknownState;
        octaveState_ = unknownState;
        groupVolume_ = unknownState;
        noteVolumeState_ = unknownState;
    }
}

void TuneWriter::write()
{
    for (std::size_t i = 0; i < elements_.size() && !out_.cut(); ++i) {
        const Element& element = elements_[i];
        if (element.isNote()) {
            writeNote(i);
            continue;
        }
        startTime_ += element.delta;
        if (element.kind == ElementKind::Tempo) {
            writeTempo(element);
        } else if (element.channel >= 0 && element.channel < 16) {
            // A volume change; a channel outside 0..15 has no volume to keep.
            channelVolumes_[static_cast<std::size_t>(element.channel)] = element.volume;
        }
    }
    finish();
}

void TuneWriter::writeTempo(const Element& tempo)
{
    int b = tempo.bpm;
    if (b < slowestTempo) {
        status_ |= TuneStatus::TempoTooSlow;
        b = slowestTempo;
    } else if (b > fastestTempo) {
        status_ |= TuneStatus::TempoTooFast;
        b = fastestTempo;
    }
    if (b != tempoState_) {
        out_.put('@');
        if (b != plainTempo)
            out_.put(b);
        tempoState_ = b;
    }
}

int TuneWriter::noteSixteenths(const Element& note, bool& isHeld)
{
    const int length = note.length;
    if (length % 3 != 0) {
        if (options_.triplets)
            report(Code::TripletsNotWritten, noChannel, length);
        else
            report(Code::InternalTriplet, noChannel, length);
    }
    if (length < shortestNote)
        status_ |= TuneStatus::TooShort;
    else if (length > longestNote && !options_.longChords)
        status_ |= TuneStatus::TooLong;
    // Held only from 10 sixteenths on: a held note is started and ended by
    // "]$" groups, and a 9 would close its start group as "]9".
    isHeld = options_.longChords && length >= heldFrom;
    return soundingLength(length, options_.longChords) / 6;
}

int TuneWriter::soundingLength(int length, bool longChords)
{
    if (length < shortestNote)
        return shortestNote;
    // Under long chords, 55..59 is an ordinary note of 9 sixteenths.
    if (length > longestNote && (!longChords || length < heldFrom))
        return longestNote;
    return length;
}

std::int64_t TuneWriter::gapToNext(std::size_t i, bool& hasNext) const
{
    std::int64_t sum = 0;
    hasNext = false;
    for (std::size_t j = i + 1; j < elements_.size(); ++j) {
        sum += elements_[j].delta;
        if (elements_[j].isNote()) {
            hasNext = true;
            break;
        }
    }
    if (options_.keepInStep) {
        // Both starts rounded down to a sixteenth on their own: the gaps of
        // a channel then add up to its notes' grid positions.
        return (startTime_ + sum) / 6 - startTime_ / 6;
    }
    return sum / 6;
}

void TuneWriter::writeNote(std::size_t i)
{
    const Element& note = elements_[i];
    const int channelVolume =
        (note.channel >= 0 && note.channel < 16) ? channelVolumes_[static_cast<std::size_t>(note.channel)] : 100;
    const int volume = noteVolume(channelVolume, note.velocity);

    // Leading rest before the first note.
    startTime_ += note.delta;
    if (previousLength_ == 0 && startTime_ != 0) {
        TuneEncoder::addPause(out_, clampToInt(startTime_ / 6));
        if (out_.cut())
            return;
    }

    bool isHeld = false;
    const int sixteenths = noteSixteenths(note, isHeld);
    const int pitch = addWrap(note.pitch, options_.transpose);
    if (pitch <= 47)
        status_ |= TuneStatus::TooLow;
    else if (pitch > highestNote + (options_.upperC ? 1 : 0))
        status_ |= TuneStatus::TooHigh;
    const int octave = pitch <= 59 ? 0 : (pitch <= 71 ? 1 : 2);
    int letter = pitch % 12;
    if (letter < 0)
        letter += 12;
    if (options_.upperC && pitch == 84)
        letter = 12;

    bool hasNext = false;
    const std::int64_t gap = gapToNext(i, hasNext);
    if ((hasNext && gap < sixteenths) || isHeld)
        writeGroupNote(sixteenths, volume, octave, letter, isHeld); // the next note starts before this one ends
    else
        writeSingleNote(sixteenths, volume, octave, letter);
    if (hasNext && gap != 0)
        writeGap(gap, sixteenths);
    // A group opened later closes with this length.
    previousLength_ = sixteenths;
}

void TuneWriter::writeGroupNote(int sixteenths, int volume, int octave, int letter, bool isHeld)
{
    if (!inGroup_) {
        out_.put('[');
        inGroup_ = true;
    } else if (sixteenths != previousLength_ || volume != groupVolume_) {
        closeGroup(previousLength_);
        out_.put('[');
    }
    TuneEncoder::putVolume(out_, groupVolume_, volume);
    putOctave(octave);
    const std::size_t letterAt = out_.str().size();
    putName(out_, lowerNoteNames[letter]);
    if (written_)
        noteWritten(letterAt, sixteenths, volume, octave, letter, isHeld);
    if (isHeld)
        held_.emplace(HeldKey{clock_ + sixteenths, heldCount_++}, TuneEncoder::LongNote{sixteenths, octave, letter});
}

void TuneWriter::writeSingleNote(int sixteenths, int volume, int octave, int letter)
{
    // A single note advances the tune's clock.
    if (inGroup_) {
        closeGroup(previousLength_);
        inGroup_ = false;
    }
    TuneEncoder::putVolume(out_, noteVolumeState_, volume);
    putOctave(octave);
    const std::size_t letterAt = out_.str().size();
    if (sixteenths == 4) {
        putName(out_, upperNoteNames[letter]);
    } else {
        putName(out_, lowerNoteNames[letter]);
        if (sixteenths != 2)
            out_.put(sixteenths);
    }
    if (written_)
        noteWritten(letterAt, sixteenths, volume, octave, letter, false);
    clock_ += sixteenths; // every held note counts down, to 0 at the least
}

// The gap up to the next note, ending held notes whose time is up.
void TuneWriter::writeGap(std::int64_t gap, int sixteenths)
{
    if (inGroup_) {
        closeGroup(sixteenths);
        inGroup_ = false;
    } else {
        gap -= sixteenths;
    }
    std::int64_t done = 0;
    while (!held_.empty() && !out_.cut()) {
        const int rest = smallestRemaining();
        if (done + rest > gap)
            break;
        endHeld(rest);
        done += rest;
    }
    TuneEncoder::addPause(out_, clampToInt(gap - done));
    // Every held note left outlasts this rest.
    if (gap > done)
        clock_ += gap - done;
}

// The record of a note just written; a note the cap cut has no letter.
void TuneWriter::noteWritten(std::size_t letterAt, int sixteenths, int volume, int octave, int letter, bool isHeld)
{
    const std::size_t at = out_.cut() ? WrittenNote::noLetter : letterAt;
    written_->push_back(WrittenNote{at, sixteenths, lowestNote + 12 * octave + letter, volume, isHeld});
}

void TuneWriter::putOctave(int octave)
{
    if (octave != octaveState_) {
        out_.put(octaveMarks[octave]);
        octaveState_ = octave;
    }
}

// The suffix that closes a group of notes `sixteenths` long.
void TuneWriter::closeGroup(int sixteenths)
{
    out_.put(']');
    if (sixteenths > 9)
        out_.put('$');
    else if (sixteenths != 4)
        out_.put(sixteenths);
}

// Ends the held notes whose time is up after `rest` more sixteenths of
// rest, in one group of their own, in the order they were held; the others
// count down.
void TuneWriter::endHeld(int rest)
{
    TuneEncoder::addPause(out_, rest);
    out_.put('[');
    ending_.clear();
    while (!held_.empty() && held_.begin()->first.end <= clock_ + rest) {
        ending_.emplace_back(held_.begin()->first.order, held_.begin()->second);
        held_.erase(held_.begin());
    }
    std::sort(ending_.begin(), ending_.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    for (const auto& entry : ending_) {
        putOctave(entry.second.octave);
        putName(out_, lowerNoteNames[entry.second.letter]);
    }
    clock_ += rest;
    out_.put("]$");
}

// The smallest remaining time among the held notes (there is one).
int TuneWriter::smallestRemaining() const
{
    return static_cast<int>(std::max<std::int64_t>(held_.begin()->first.end - clock_, 0));
}

// End of the channel: close the group and end every held note.
void TuneWriter::finish()
{
    if (!out_.cut()) {
        if (inGroup_)
            closeGroup(previousLength_);
        while (!held_.empty() && !out_.cut())
            endHeld(smallestRemaining());
    }
    if (out_.cut()) {
        report(Code::CutAtCap, noChannel, static_cast<int>(TuneText::maxText));
        status_ |= TuneStatus::MacroTooLong;
    }
}
