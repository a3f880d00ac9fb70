#include "midi/Track.h"

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

void Track::addNote(int time, int channel, int pitch, int velocity)
{
    if (velocity == 0) {
        // A note-on with velocity 0 is the usual form of a note-off.
        if (Note* active = findActiveNote(time, channel, pitch))
            endNote(*active, time);
        else
            Msg(2, "Warning, did not find an active note for %d ch %d note %d.\n", time, channel, pitch);
        return;
    }
    auto note = std::make_unique<Note>(time, channel, pitch, velocity);
    // A pitch struck again while it still sounds cuts the earlier note here.
    setNoteOff(time, channel, pitch, false);
    elements.push_back(std::move(note));
    used = true;
}

void Track::setNoteOff(int time, int channel, int pitch, bool report)
{
    if (Note* active = findActiveNote(time, channel, pitch)) {
        endNote(*active, time);
        if (!report)
            Msg(2, "Warning, note %d hasn't been released yet!\n", pitch);
    } else if (report) {
        Msg(2, "Warning, did not find an active note for %d ch %d note %d.\n", time, channel, pitch);
    }
}

Note* Track::findActiveNote(int time, int channel, int pitch) const
{
    for (auto it = elements.rbegin(); it != elements.rend(); ++it) {
        auto* note = dynamic_cast<Note*>(it->get());
        if (note != nullptr && note->duration == 0 && note->channel == channel && note->time <= time &&
            note->pitch == pitch)
            return note;
    }
    return nullptr;
}

void Track::allNotesOff(int time, int channel)
{
    for (auto it = elements.rbegin(); it != elements.rend(); ++it) {
        auto* note = dynamic_cast<Note*>(it->get());
        if (note != nullptr && note->channel == channel && note->duration == 0)
            endNote(*note, time);
    }
}

void Track::allNotesOff(int time)
{
    for (auto it = elements.rbegin(); it != elements.rend(); ++it) {
        auto* note = dynamic_cast<Note*>(it->get());
        if (note != nullptr && note->duration == 0)
            endNote(*note, time);
    }
}

void Track::addTempo(int time, int channel, int bpm)
{
    elements.push_back(std::make_unique<Tempo>(time, channel, bpm));
}

void Track::addVolume(int time, int channel, int volume)
{
    elements.push_back(std::make_unique<Volume>(time, channel, volume));
}

void Track::print(int division) const
{
    for (const auto& element : elements)
        if (element)
            element->print(division);
}
