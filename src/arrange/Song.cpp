#include "arrange/Song.h"

#include "arrange/ChannelPolyphony.h"
#include "arrange/ChannelQuantisation.h"
#include "core/Message.h"
#include "core/WrappingArithmetic.h"

#include <algorithm>
#include <utility>

Song::Song(const Settings& settings, MidiFile file)
    : settings(settings), division(file.division), tracks(std::move(file.tracks)), transpose(settings.transpose)
{
    sortToChannels();
}

namespace {

// The channel whose list receives an element of the active channel `ch`: a
// merge target keeps its own events, a source goes to the lowest target
// that lists it.
int mergeTarget(const std::array<std::vector<int>, channelCount>& mergeList, int ch)
{
    if (!mergeList[ch].empty())
        return ch;
    for (int t = 0; t < channelCount; ++t)
        for (int source : mergeList[t])
            if (source == ch)
                return t;
    return ch;
}

} // namespace

void Song::sortToChannels()
{
    std::array<int, channelCount> targets;
    std::array<bool, channelCount> getsTempos;
    for (int ch = 0; ch < channelCount; ++ch) {
        targets[ch] = mergeTarget(settings.mergeList, ch);
        // An inactive merge target still gets its sources' notes, so it
        // needs the tempo changes as well.
        getsTempos[ch] = settings.active[ch] || !settings.mergeList[ch].empty();
    }
    // Each channel's list is sized once, to what it will receive.
    std::array<std::size_t, channelCount> sizes{};
    for (const Track& track : tracks) {
        for (int ch = 0; ch < channelCount; ++ch) {
            if (settings.active[ch])
                sizes[targets[ch]] += track.channelCounts()[static_cast<std::size_t>(ch)];
            if (getsTempos[ch])
                sizes[ch] += track.tempoCount();
        }
    }
    for (int ch = 0; ch < channelCount; ++ch)
        channels[ch].elements.reserve(sizes[ch]);
    // Every track in turn, each element in file order into its channel; a
    // tempo change is copied into every channel that gets them. A track's
    // list is freed once its elements live in the channels.
    std::array<int, channelCount> lowest;
    lowest.fill(127);
    for (Track& track : tracks) {
        const std::vector<Element> elements = track.takeElements();
        for (const Element& element : elements) {
            const int ch = element.channel;
            if (element.kind == ElementKind::Tempo) {
                for (int target = 0; target < channelCount; ++target)
                    if (getsTempos[target])
                        channels[target].copyTempo(element, target);
            } else if (ch >= 0 && ch < channelCount && settings.active[ch]) {
                Channel& channel = channels[targets[ch]];
                if (element.isNote()) {
                    channel.used = true;
                    lowest[targets[ch]] = std::min(lowest[targets[ch]], element.pitch);
                }
                channel.elements.push_back(element);
            }
        }
    }
    for (int ch = 0; ch < channelCount; ++ch) {
        if (!channels[ch].used)
            continue;
        channels[ch].sort();
        lowestPitch = std::min(lowestPitch, lowest[ch]);
    }
    if (settings.autoTranspose)
        transpose = subWrap(transpose, subWrap(lowestPitch, lowestNote));
}

void quantiseChannel(Song& song, int ch, StageObserver* observer)
{
    Channel& channel = song.channels[ch];
    quantise(channel, song.division, song.settings.triplets, song.settings.keepInStep);
    if (observer)
        observer->quantised(ch, channel.elements);
}

void removeIdenticalNotes(Song& song, int ch, StageObserver* observer)
{
    if (!song.settings.eliminateIdentical)
        return;
    Channel& channel = song.channels[ch];
    channel.eliminateIdentical();
    if (observer)
        observer->identicalRemoved(ch, channel.elements);
}

void limitPolyphony(Song& song, int ch, StageObserver* observer)
{
    Channel& channel = song.channels[ch];
    const int limit = song.settings.polyphony[ch];
    const int peak = fixPolyphony(channel, limit, song.settings.keepOuterVoices);
    if (observer)
        observer->polyphonyLimited(ch, channel.elements);
    Msg(Level::Output, "Current polyphony on channel %d: %d\n", ch + 1, peak);
    if (limit != 0 && limit < peak)
        report(Code::InternalPolyphony, ch + 1);
}

void Song::print() const
{
    Msg(Level::Info, "\n");
    Msg(Level::Info, "Song!\n");
    Msg(Level::Output, "Tempo %d\n", tempo);

    int usedTracks = 0;
    for (const Track& track : tracks)
        if (track.used)
            ++usedTracks;
    Msg(Level::Output, "%d/%d tracks:\n", usedTracks, static_cast<int>(tracks.size()));

    int usedChannels = 0;
    for (const Channel& channel : channels)
        if (channel.used)
            ++usedChannels;
    Msg(Level::Output, "%d channels.\n", usedChannels);

    for (int ch = 0; ch < channelCount; ++ch) {
        if (!channels[ch].used)
            continue;
        Msg(Level::Info, "Channel %d:\n", ch + 1);
        channels[ch].print(division);
    }
}


void Song::releaseChannels()
{
    for (Channel& channel : channels)
        channel.elements = std::vector<Element>();
}
