#include "midi/Track.h"

#include "core/Message.h"
#include "core/WrappingArithmetic.h"

#include <utility>

namespace {

// A note ends at `time`: its duration is the distance from its start.
void endNote(Element& note, int time)
{
    note.duration = subWrap(time, note.time);
}

// Whether a channel and pitch have their slot in the flat table (every
// pair a file can give).
bool inTable(int channel, int pitch)
{
    return channel >= 0 && channel < 16 && pitch >= 0 && pitch < 256;
}

} // namespace

Track::Slot& Track::slotFor(int channel, int key)
{
    if (table_.empty())
        table_.resize(static_cast<std::size_t>(tableChannels * tableKeys));
    return table_[static_cast<std::size_t>(channel * tableKeys + key)];
}

Element* Track::soundingIn(Slot& slot, int time, std::size_t*& held)
{
    // Every index a slot keeps is a sounding note of its channel and key.
    if (slot.latest == 0)
        return nullptr;
    Element& note = elements_[slot.latest - 1];
    if (note.time <= time) {
        held = &slot.latest;
        return &note;
    }
    if (slot.spill == 0)
        return nullptr;
    Spill& spill = spills_[slot.spill - 1];
    for (std::size_t j = spill.size(); j-- > 0;) {
        Element& older = elements_[spill[j] - 1];
        if (older.time <= time) {
            held = &spill[j];
            return &older;
        }
    }
    return nullptr;
}

void Track::dropLatest(Slot& slot)
{
    Spill* spill = slot.spill == 0 ? nullptr : &spills_[slot.spill - 1];
    if (spill == nullptr || spill->empty()) {
        slot.latest = 0;
    } else {
        slot.latest = spill->back();
        spill->pop_back();
    }
}

void Track::endIn(Slot& slot, std::size_t* held, Element& note, int time)
{
    endNote(note, time);
    // A note ended on its own start tick keeps duration 0 and still sounds.
    if (note.duration == 0)
        return;
    if (held == &slot.latest) {
        dropLatest(slot);
    } else {
        Spill& spill = spills_[slot.spill - 1];
        spill.erase(spill.begin() + (held - spill.data()));
    }
}

void Track::endSlot(Slot& slot, int time)
{
    if (slot.latest == 0)
        return;
    if (slot.spill != 0) {
        Spill& spill = spills_[slot.spill - 1];
        std::size_t kept = 0;
        for (const std::size_t held : spill) {
            Element& note = elements_[held - 1];
            endNote(note, time);
            if (note.duration == 0)
                spill[kept++] = held;
        }
        spill.resize(kept);
    }
    Element& note = elements_[slot.latest - 1];
    endNote(note, time);
    if (note.duration != 0)
        dropLatest(slot);
}

void Track::addSlotNote(int time, int channel, int key, int velocity)
{
    Slot& slot = slotFor(channel, key);
    std::size_t* held = nullptr;
    Element* active = soundingIn(slot, time, held);
    // A pitch struck again while it still sounds cuts the earlier note here.
    if (active != nullptr) {
        endIn(slot, held, *active, time);
        ::report(Code::NoteNotReleased, channel + 1, key);
    }
    if (slot.latest != 0) {
        if (slot.spill == 0) {
            spills_.emplace_back();
            slot.spill = static_cast<std::uint32_t>(spills_.size());
        }
        spills_[slot.spill - 1].push_back(slot.latest);
    }
    slot.latest = elements_.size() + 1;
    elements_.emplace_back(ElementKind::Note, time, channel, key, velocity);
    ++channelCounts_[static_cast<std::size_t>(channel)];
    used = true;
}

void Track::endSlotNote(int time, int channel, int key, bool report)
{
    Slot& slot = slotFor(channel, key);
    std::size_t* held = nullptr;
    if (Element* active = soundingIn(slot, time, held)) {
        endIn(slot, held, *active, time);
        if (!report)
            ::report(Code::NoteNotReleased, channel + 1, key);
    } else if (report) {
        ::report(Code::NoActiveNote, channel + 1, time, channel, key);
    }
}

std::uint64_t Track::key(int channel, int pitch)
{
    return (std::uint64_t{static_cast<std::uint32_t>(channel)} << 32) | static_cast<std::uint32_t>(pitch);
}

Track::Bucket& Track::bucketFor(int channel, int pitch)
{
    return others_[key(channel, pitch)];
}

Track::Bucket* Track::findBucket(int channel, int pitch)
{
    const auto found = others_.find(key(channel, pitch));
    return found == others_.end() ? nullptr : &found->second;
}

std::vector<Element> Track::takeElements()
{
    table_ = std::vector<Slot>();
    spills_ = std::vector<Spill>();
    others_.clear();
    tempoCount_ = 0;
    channelCounts_.fill(0);
    return std::exchange(elements_, {});
}

Element* Track::slotNote(std::size_t index)
{
    if (index >= elements_.size() || !elements_[index].isNote())
        return nullptr;
    return &elements_[index];
}

Element* Track::latestIn(Bucket& slots, int time, int channel, int pitch, std::size_t& place)
{
    // The latest sounding note of this channel and pitch that began by `time`.
    for (std::size_t j = slots.size(); j-- > 0;) {
        Element* note = slotNote(slots[j]);
        if (note != nullptr && note->duration == 0 && note->channel == channel && note->time <= time &&
            note->pitch == pitch) {
            place = j;
            return note;
        }
    }
    return nullptr;
}

Element* Track::findSounding(int time, int channel, int pitch, Bucket*& bucket, std::size_t& place)
{
    bucket = findBucket(channel, pitch);
    if (bucket == nullptr)
        return nullptr;
    return latestIn(*bucket, time, channel, pitch, place);
}

void Track::endSounding(Bucket& bucket, std::size_t place, Element& note, int time)
{
    endNote(note, time);
    // A note ended on its own start tick keeps duration 0 and still sounds.
    if (note.duration != 0)
        bucket.erase(bucket.begin() + static_cast<std::ptrdiff_t>(place));
}

void Track::addNote(int time, int channel, int pitch, int velocity)
{
    if (inTable(channel, pitch))
        addFileNote(time, channel, pitch, velocity);
    else
        addOtherNote(time, channel, pitch, velocity);
}

void Track::addOtherNote(int time, int channel, int pitch, int velocity)
{
    if (velocity == 0) {
        // A note-on with velocity 0 is the usual form of a note-off.
        Bucket* bucket = nullptr;
        std::size_t place = 0;
        if (Element* active = findSounding(time, channel, pitch, bucket, place))
            endSounding(*bucket, place, *active, time);
        else
            ::report(Code::NoActiveNote, channel + 1, time, channel, pitch);
        return;
    }
    // A pitch struck again while it still sounds cuts the earlier note here
    // (setNoteOff without report, on the bucket the new note goes into).
    Bucket& bucket = bucketFor(channel, pitch);
    std::size_t place = 0;
    if (Element* active = latestIn(bucket, time, channel, pitch, place)) {
        endSounding(bucket, place, *active, time);
        ::report(Code::NoteNotReleased, channel + 1, pitch);
    }
    bucket.push_back(elements_.size());
    count(elements_.emplace_back(ElementKind::Note, time, channel, pitch, velocity));
    used = true;
}

void Track::setNoteOff(int time, int channel, int pitch, bool report)
{
    if (inTable(channel, pitch))
        endFileNote(time, channel, pitch, report);
    else
        endOtherNote(time, channel, pitch, report);
}

void Track::endOtherNote(int time, int channel, int pitch, bool report)
{
    Bucket* bucket = nullptr;
    std::size_t place = 0;
    if (Element* active = findSounding(time, channel, pitch, bucket, place)) {
        endSounding(*bucket, place, *active, time);
        if (!report)
            ::report(Code::NoteNotReleased, channel + 1, pitch);
    } else if (report) {
        ::report(Code::NoActiveNote, channel + 1, time, channel, pitch);
    }
}

Element* Track::findActiveNote(int time, int channel, int pitch)
{
    if (inTable(channel, pitch)) {
        std::size_t* held = nullptr;
        return soundingIn(slotFor(channel, pitch), time, held);
    }
    Bucket* bucket = nullptr;
    std::size_t place = 0;
    return findSounding(time, channel, pitch, bucket, place);
}

bool Track::endAll(std::uint64_t bucketKey, Bucket& bucket, int time, const int* channel)
{
    std::size_t kept = 0;
    for (const std::size_t index : bucket) {
        Element* note = slotNote(index);
        if (note == nullptr || note->duration != 0 || key(note->channel, note->pitch) != bucketKey)
            continue; // no longer a sounding note of this list
        if (channel == nullptr || note->channel == *channel)
            endNote(*note, time);
        if (note->duration == 0)
            bucket[kept++] = index;
    }
    bucket.resize(kept);
    return bucket.empty();
}

void Track::allNotesOff(int time, int channel)
{
    if (channel >= 0 && channel < tableChannels && !table_.empty()) {
        const auto first = static_cast<std::size_t>(channel * tableKeys);
        for (std::size_t k = first; k < first + tableKeys; ++k)
            endSlot(table_[k], time);
    }
    const auto channelKey = static_cast<std::uint32_t>(channel);
    for (auto it = others_.begin(); it != others_.end();) {
        if (static_cast<std::uint32_t>(it->first >> 32) == channelKey && endAll(it->first, it->second, time, &channel))
            it = others_.erase(it);
        else
            ++it;
    }
}

void Track::allNotesOff(int time)
{
    bool sounding = false;
    for (Slot& slot : table_) {
        endSlot(slot, time);
        sounding = sounding || slot.latest != 0;
    }
    // With no note left sounding the table goes (it is made again when
    // needed): a file of many short tracks keeps none of them.
    if (!sounding) {
        table_ = std::vector<Slot>();
        spills_ = std::vector<Spill>();
    }
    for (auto it = others_.begin(); it != others_.end();) {
        if (endAll(it->first, it->second, time, nullptr))
            it = others_.erase(it);
        else
            ++it;
    }
}

void Track::append(const Element& element)
{
    elements_.push_back(element);
    count(element);
}

void Track::count(const Element& element)
{
    if (element.kind == ElementKind::Tempo)
        ++tempoCount_;
    else if (element.channel >= 0 && element.channel < tableChannels)
        ++channelCounts_[static_cast<std::size_t>(element.channel)];
}

void Track::addTempo(int time, int channel, int bpm)
{
    append(Element::makeTempo(time, channel, bpm));
}

void Track::addVolume(int time, int channel, int volume)
{
    append(Element::makeVolume(time, channel, volume));
}

void Track::print(int division) const
{
    for (const Element& element : elements_)
        element.print(division);
}
