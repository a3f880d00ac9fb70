#include "midi/Track.h"

#include "core/ElementCast.h"
#include "core/Message.h"
#include "core/Tempo.h"
#include "core/Volume.h"
#include "core/Wrap.h"


namespace {

// A note ends at `time`: its duration is the distance from its start.
void endNote(Note& note, int time)
{
    note.duration = subWrap(time, note.time);
}

} // namespace

Track::~Track()
{
    // Destroy the remaining elements from the last to the first.
    while (!elements.empty()) {
        elements.back().reset();
        elements.pop_back();
    }
}

std::uint64_t Track::key(int channel, int pitch)
{
    return (std::uint64_t{static_cast<std::uint32_t>(channel)} << 32) | static_cast<std::uint32_t>(pitch);
}

void Track::syncIndex() const
{
    if (indexed_ == elements.size())
        return;
    // The list was changed from outside: index it again from the start.
    sounding_.clear();
    for (std::size_t i = 0; i < elements.size(); ++i) {
        const auto* note = elementCast<Note>(elements[i].get());
        if (note != nullptr && note->duration == 0)
            sounding_[key(note->channel, note->pitch)].push_back(Slot{i, note});
    }
    indexed_ = elements.size();
}

Note* Track::slotNote(const Slot& slot) const
{
    if (slot.index >= elements.size())
        return nullptr;
    Element* element = elements[slot.index].get();
    if (element == nullptr || element != slot.element)
        return nullptr;
    return elementCast<Note>(element);
}

Note* Track::latestIn(Bucket& slots, int time, int channel, int pitch, std::size_t& place) const
{
    // The latest sounding note of this channel and pitch that began by `time`.
    for (std::size_t j = slots.size(); j-- > 0;) {
        Note* note = slotNote(slots[j]);
        if (note != nullptr && note->duration == 0 && note->channel == channel && note->time <= time &&
            note->pitch == pitch) {
            place = j;
            return note;
        }
    }
    return nullptr;
}

Note* Track::findSounding(int time, int channel, int pitch, Bucket*& bucket, std::size_t& place) const
{
    syncIndex();
    const auto found = sounding_.find(key(channel, pitch));
    if (found == sounding_.end())
        return nullptr;
    bucket = &found->second;
    return latestIn(found->second, time, channel, pitch, place);
}

void Track::endSounding(Bucket& bucket, std::size_t place, Note& note, int time)
{
    endNote(note, time);
    // A note ended on its own start tick keeps duration 0 and still sounds.
    if (note.duration != 0)
        bucket.erase(bucket.begin() + static_cast<std::ptrdiff_t>(place));
}

void Track::addNote(int time, int channel, int pitch, int velocity)
{
    if (velocity == 0) {
        // A note-on with velocity 0 is the usual form of a note-off.
        Bucket* bucket = nullptr;
        std::size_t place = 0;
        if (Note* active = findSounding(time, channel, pitch, bucket, place))
            endSounding(*bucket, place, *active, time);
        else
            Msg(2, "Warning, did not find an active note for %d ch %d note %d.\n", time, channel, pitch);
        return;
    }
    auto note = std::make_unique<Note>(time, channel, pitch, velocity);
    // A pitch struck again while it still sounds cuts the earlier note here
    // (setNoteOff without report, on the bucket the new note goes into).
    syncIndex();
    Bucket& bucket = sounding_[key(channel, pitch)];
    std::size_t place = 0;
    if (Note* active = latestIn(bucket, time, channel, pitch, place)) {
        endSounding(bucket, place, *active, time);
        Msg(2, "Warning, note %d hasn't been released yet!\n", pitch);
    }
    bucket.push_back(Slot{elements.size(), note.get()});
    elements.push_back(std::move(note));
    indexed_ = elements.size();
    used = true;
}

void Track::setNoteOff(int time, int channel, int pitch, bool report)
{
    Bucket* bucket = nullptr;
    std::size_t place = 0;
    if (Note* active = findSounding(time, channel, pitch, bucket, place)) {
        endSounding(*bucket, place, *active, time);
        if (!report)
            Msg(2, "Warning, note %d hasn't been released yet!\n", pitch);
    } else if (report) {
        Msg(2, "Warning, did not find an active note for %d ch %d note %d.\n", time, channel, pitch);
    }
}

Note* Track::findActiveNote(int time, int channel, int pitch) const
{
    Bucket* bucket = nullptr;
    std::size_t place = 0;
    return findSounding(time, channel, pitch, bucket, place);
}

bool Track::endAll(Bucket& bucket, int time, const int* channel)
{
    std::size_t kept = 0;
    for (const Slot& slot : bucket) {
        Note* note = slotNote(slot);
        if (note == nullptr || note->duration != 0)
            continue; // no longer a sounding note of this list
        if (channel == nullptr || note->channel == *channel)
            endNote(*note, time);
        if (note->duration == 0)
            bucket[kept++] = slot;
    }
    bucket.resize(kept);
    return bucket.empty();
}

void Track::allNotesOff(int time, int channel)
{
    syncIndex();
    const auto channelKey = static_cast<std::uint32_t>(channel);
    for (auto it = sounding_.begin(); it != sounding_.end();) {
        if (static_cast<std::uint32_t>(it->first >> 32) != channelKey) {
            ++it;
            continue;
        }
        if (endAll(it->second, time, &channel))
            it = sounding_.erase(it);
        else
            ++it;
    }
}

void Track::allNotesOff(int time)
{
    syncIndex();
    for (auto it = sounding_.begin(); it != sounding_.end();) {
        if (endAll(it->second, time, nullptr))
            it = sounding_.erase(it);
        else
            ++it;
    }
}

void Track::addTempo(int time, int channel, int bpm)
{
    const bool indexed = indexed_ == elements.size();
    elements.push_back(std::make_unique<Tempo>(time, channel, bpm));
    if (indexed)
        indexed_ = elements.size(); // the index has no entries for other kinds
}

void Track::addVolume(int time, int channel, int volume)
{
    const bool indexed = indexed_ == elements.size();
    elements.push_back(std::make_unique<Volume>(time, channel, volume));
    if (indexed)
        indexed_ = elements.size();
}

void Track::print(int division) const
{
    for (const auto& element : elements)
        if (element)
            element->print(division);
}
