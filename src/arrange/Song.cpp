#include "arrange/Song.h"

#include "core/LargeMemory.h"
#include "core/Message.h"
#include "core/Wrap.h"

#include <algorithm>
#include <utility>

Song::Song(const Settings& settings, MidiFile file)
    : settings(settings), division(file.division), tracks(std::move(file.tracks)), transpose(settings.transpose)
{
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
    const auto& mergeList = settings.mergeList;
    std::array<int, channelCount> targets;
    for (int ch = 0; ch < channelCount; ++ch)
        targets[ch] = mergeTarget(mergeList, ch);

    reserveChannels(targets);
    std::array<int, channelCount> lowest;
    lowest.fill(127);
    std::vector<Element> tempos;
    for (Track& track : tracks) {
        distribute(track.elements, targets, lowest, tempos);
        // The track's elements now live in the channels.
        track.elements = std::vector<Element>();
    }
    // An inactive merge target still gets its sources' notes, so it needs
    // the tempo changes as well.
    for (int ch = 0; ch < channelCount; ++ch)
        if (!tempos.empty() && (settings.active[ch] || !mergeList[ch].empty()))
            channels[ch].mergeTempos(tempos, ch);

    for (int ch = 0; ch < channelCount; ++ch) {
        Channel& channel = channels[ch];
        if (!channel.used)
            continue;
        channel.sort();
        if (lowest[ch] < lowestPitch)
            lowestPitch = lowest[ch];
    }

    if (settings.autoTranspose)
        transpose = subWrap(transpose, subWrap(lowestPitch, lowestNote));
}

void Song::distribute(std::vector<Element>& elements, const std::array<int, channelCount>& targets,
                      std::array<int, channelCount>& lowest, std::vector<Element>& tempos)
{
    const auto& active = settings.active;
    // The track's memory goes back block by block as it is copied, so that
    // it and the channels are not both held whole.
    constexpr std::size_t block = std::size_t{1} << 16;
    for (std::size_t start = 0; start < elements.size(); start += block) {
        const std::size_t end = std::min(elements.size(), start + block);
        for (std::size_t i = start; i < end; ++i) {
            const Element& element = elements[i];
            if (element.kind == ElementKind::Tempo) {
                tempos.push_back(element);
                continue;
            }
            const int ch = element.channel;
            if (ch < 0 || ch >= channelCount || !active[ch])
                continue;
            const int target = targets[ch];
            if (element.isNote()) {
                channels[target].used = true;
                lowest[target] = std::min(lowest[target], element.pitch);
            }
            channels[target].elements.push_back(element);
        }
        if (end - start == block)
            discardPages(&elements[start], block * sizeof(Element));
    }
}

void Song::reserveChannels(const std::array<int, channelCount>& targets)
{
    // Each channel's list is sized once, to what it will receive, instead of
    // growing (and copying) as the elements arrive.
    const auto& active = settings.active;
    std::array<std::size_t, channelCount> counts{};
    std::size_t tempos = 0;
    for (const Track& track : tracks) {
        for (const Element& element : track.elements) {
            if (element.kind == ElementKind::Tempo)
                ++tempos;
            else if (element.channel >= 0 && element.channel < channelCount && active[element.channel])
                ++counts[targets[element.channel]];
        }
    }
    for (int ch = 0; ch < channelCount; ++ch) {
        const bool getsTempos = active[ch] || !settings.mergeList[ch].empty();
        if (counts[ch] > 0)
            reserveLarge(channels[ch].elements, counts[ch] + (getsTempos ? tempos : 0));
    }
}

void Song::smoothChannels(StageObserver* observer)
{
    for (int ch = 0; ch < channelCount; ++ch) {
        Channel& channel = channels[ch];
        if (!channel.used)
            continue;
        channel.smooth(division, settings.triplets);
        if (observer)
            observer->quantised(ch, channel.elements);
        if (settings.eliminateIdentical) {
            channel.eliminateIdentical();
            if (observer)
                observer->identicalRemoved(ch, channel.elements);
        }
        const int limit = settings.polyphony[ch];
        const int peak = channel.fixPolyphony(limit);
        if (observer)
            observer->polyphonyLimited(ch, channel.elements);
        Msg(Level::Output, "Current polyphony on channel %d: %d\n", ch + 1, peak);
        if (limit != 0 && limit < peak)
            Msg(Level::Fatal, "BUG! Wrong polyphony after pass 1!\n");
    }
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
