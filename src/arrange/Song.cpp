#include "arrange/Song.h"

#include "core/ElementCast.h"
#include "core/Message.h"
#include "core/Note.h"
#include "core/Tempo.h"
#include "core/Wrap.h"

Song::Song() : Song(120, 240) {}

Song::Song(int division) : Song(120, division) {}

Song::Song(int tempo, int division) : tempo(tempo), division(division)
{
    active.fill(true);
    polyphony.fill(0);
    for (auto& channel : channels)
        channel = std::make_unique<Channel>();
}

Song::~Song()
{
    for (auto& channel : channels)
        channel.reset();
}

namespace {

// The channel whose list receives an element of the active channel `ch`: a
// merge target keeps its own events, a source goes to the lowest target
// that lists it.
int mergeTarget(const std::array<std::vector<int>, Song::channelCount>& mergeList, int ch)
{
    if (!mergeList[ch].empty())
        return ch;
    for (int t = 0; t < Song::channelCount; ++t)
        for (int source : mergeList[t])
            if (source == ch)
                return t;
    return ch;
}

} // namespace

void Song::sortToChannels()
{
    std::array<int, channelCount> targets;
    for (int ch = 0; ch < channelCount; ++ch)
        targets[ch] = mergeTarget(mergeList, ch);

    for (auto& track : tracks) {
        for (auto& entry : track->elements) {
            if (!entry)
                continue;
            if (const auto* tempoChange = elementCast<Tempo>(entry.get())) {
                // An inactive merge target still gets its sources' notes, so it
                // needs the tempo changes as well.
                for (int ch = 0; ch < channelCount; ++ch)
                    if (active[ch] || !mergeList[ch].empty())
                        channels[ch]->copyTempo(tempoChange, ch);
                continue;
            }
            const int ch = entry->channel;
            if (ch < 0 || ch >= channelCount || !active[ch]) {
                entry.reset();
                continue;
            }
            Channel& target = *channels[targets[ch]];
            if (elementCast<Note>(entry.get()) != nullptr)
                target.used = true;
            target.elements.push_back(std::move(entry));
        }
    }

    for (auto& channel : channels) {
        if (!channel->used)
            continue;
        channel->sort();
        const int lowest = channel->findLowest();
        if (lowest < lowestPitch)
            lowestPitch = lowest;
    }

    if (autoTranspose)
        transpose = subWrap(transpose, subWrap(lowestPitch, VARN::lowestNote));
}

void Song::smoothChannels()
{
    for (int ch = 0; ch < channelCount; ++ch) {
        Channel& channel = *channels[ch];
        if (!channel.used)
            continue;
        channel.smooth(division, triplets);
        if (eliminateIdentical)
            channel.eliminateIdentical();
        const int peak = channel.fixPolyphony(polyphony[ch]);
        Msg(4, "Current polyphony on channel %d: %d\n", ch + 1, peak);
        if (polyphony[ch] != 0 && polyphony[ch] < peak)
            Msg(0, "BUG! Wrong polyphony after pass 1!\n");
    }
}

void Song::print() const
{
    Msg(5, "\n");
    Msg(5, "Song!\n");
    Msg(4, "Tempo %d\n", tempo);

    int usedTracks = 0;
    for (const auto& track : tracks)
        if (track->used)
            ++usedTracks;
    Msg(4, "%d/%d tracks:\n", usedTracks, static_cast<int>(tracks.size()));

    int usedChannels = 0;
    for (const auto& channel : channels)
        if (channel->used)
            ++usedChannels;
    Msg(4, "%d channels.\n", usedChannels);

    for (int ch = 0; ch < channelCount; ++ch) {
        if (!channels[ch]->used)
            continue;
        Msg(5, "Channel %d:\n", ch + 1);
        channels[ch]->print(division);
    }
}

void Song::createVARN()
{
    for (int ch = 0; ch < channelCount; ++ch)
        if (channels[ch]->used)
            tunes[ch].create(channels[ch].get(), transpose, triplets, longChords, upperC);
}

void Song::printVARN(FILE* out)
{
    for (int ch = 0; ch < channelCount; ++ch) {
        VARN& tune = tunes[ch];
        if (tune.text.empty())
            continue;
        Msg(4, "VARN channel %d:\n", ch + 1);
        tune.print();
        Msg(4, "Macro version:\n");
        tune.printMacro(out, ch);
        tune.showStatus();
    }
}
