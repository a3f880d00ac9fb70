#include "arrange/Song.h"

#include "arrange/ChannelPolyphony.h"
#include "arrange/ChannelQuantisation.h"
#include "core/LargeMemory.h"
#include "core/Message.h"
#include "core/OrderedTasks.h"
#include "core/Wrap.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <thread>
#include <utility>

Song::Song(const Settings& settings, MidiFile file)
    : settings(settings), division(file.division), tracks(std::move(file.tracks)), transpose(settings.transpose)
{
    sortToChannels();
}

namespace {

// Elements of a list of many megabytes, which is sorted beside another.
constexpr std::size_t hugeList = (std::size_t{8} << 20) / sizeof(Element);

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

    Distribution distribution{targets, getsTempos, {}, {}, {}, {}};
    distribution.lowest.fill(127);
    const std::vector<int> wholeTargets = planChannels(distribution);
    // The tracks' elements now live in the channels; their lists are freed
    // here. A track taken whole is the only source of its channel: those
    // are made side by side.
    std::vector<std::size_t> whole;
    std::vector<std::vector<Element>> shared;
    for (std::size_t t = 0; t < tracks.size(); ++t) {
        if (wholeTargets[t] >= 0)
            whole.push_back(t);
        else
            shared.push_back(tracks[t].takeElements());
    }
    distribute(shared, distribution);
    std::vector<std::size_t> sizes;
    for (const std::size_t t : whole)
        sizes.push_back(tracks[t].elements().size());
    std::array<bool, channelCount> sorted{};
    runLargestFirst(sizes, [&](std::size_t k) {
        std::vector<Element> elements = tracks[whole[k]].takeElements();
        const int target = wholeTargets[whole[k]];
        takeWhole(elements, target, distribution);
        // The channel is complete: it is sorted now, while its list is in
        // the caches, unless the room its sort may take would be a large
        // share held twice over.
        if (getsTempos[target])
            addLastTempos(target, distribution);
        Channel& channel = channels[target];
        const std::size_t size = channel.elements.size();
        if (channel.used && (size <= Channel::sortedInPlace || size >= hugeList)) {
            channel.sort();
            sorted[target] = true;
        }
    });
    for (int ch = 0; ch < channelCount; ++ch)
        if (getsTempos[ch])
            addLastTempos(ch, distribution);

    for (int ch = 0; ch < channelCount; ++ch)
        if (channels[ch].used)
            lowestPitch = std::min(lowestPitch, distribution.lowest[ch]);
    sortChannels(sorted);
    if (settings.autoTranspose)
        transpose = subWrap(transpose, subWrap(lowestPitch, lowestNote));
}

void Song::sortChannels(const std::array<bool, channelCount>& sorted)
{
    // A sort that has to reorder the whole list takes its keys, and a list
    // longer than a few megabytes a second list as well. Lists that all sort
    // in place, or lists of many megabytes, are sorted side by side, where
    // that room is a small share of the song; others one after another,
    // where the room held twice over would be a large share.
    std::vector<int> used;
    bool large = false;
    bool inPlace = true;
    for (int ch = 0; ch < channelCount; ++ch) {
        if (!channels[ch].used || sorted[ch])
            continue;
        used.push_back(ch);
        large = large || channels[ch].elements.size() >= hugeList;
        inPlace = inPlace && channels[ch].elements.size() <= Channel::sortedInPlace;
    }
    const auto sortChannel = [&](std::size_t k) { channels[used[k]].sort(); };
    if (large || inPlace)
        runLargestFirst(channelSizes(used), sortChannel);
    else
        for (std::size_t k = 0; k < used.size(); ++k)
            sortChannel(k);
}

std::vector<std::size_t> Song::channelSizes(const std::vector<int>& used) const
{
    std::vector<std::size_t> sizes;
    for (const int ch : used)
        sizes.push_back(channels[ch].elements.size());
    return sizes;
}

std::vector<int> Song::planChannels(Distribution& distribution)
{
    // The tempo changes of all tracks, in track order.
    for (const Track& track : tracks)
        if (track.tempoCount() > 0)
            for (const Element& element : track.elements())
                if (element.kind == ElementKind::Tempo)
                    distribution.tempos.push_back(element);

    // What each channel receives, and from how many tracks; a track that
    // alone feeds one channel gives that channel its list itself.
    const auto& active = settings.active;
    std::array<std::size_t, channelCount> counts{};
    std::array<int, channelCount> feeders{};
    std::vector<int> single(tracks.size(), -1);
    for (std::size_t t = 0; t < tracks.size(); ++t) {
        std::array<bool, channelCount> fed{};
        int fedCount = 0;
        for (int ch = 0; ch < channelCount; ++ch) {
            const std::size_t n = tracks[t].channelCounts()[static_cast<std::size_t>(ch)];
            if (n == 0 || !active[ch])
                continue;
            const int target = distribution.targets[ch];
            counts[target] += n;
            if (!fed[target]) {
                fed[target] = true;
                ++feeders[target];
                ++fedCount;
                single[t] = target;
            }
        }
        if (fedCount != 1)
            single[t] = -1;
    }
    std::vector<int> whole(tracks.size(), -1);
    for (std::size_t t = 0; t < tracks.size(); ++t)
        if (single[t] >= 0 && feeders[single[t]] == 1)
            whole[t] = single[t];

    // The other channels' lists are sized once, to what they will receive,
    // instead of growing (and copying) as the elements arrive. (In small
    // pages: a huge page only partly filled would be held whole, and
    // finding huge pages for many lists at once can stall the system.)
    for (int ch = 0; ch < channelCount; ++ch)
        if (counts[ch] > 0 && std::find(whole.begin(), whole.end(), ch) == whole.end())
            distribution.received[ch] = counts[ch];
    for (int ch = 0; ch < channelCount; ++ch)
        if (distribution.received[ch] > 0)
            channels[ch].elements.reserve(counts[ch] +
                                          (distribution.getsTempos[ch] ? distribution.tempos.size() : 0));
    return whole;
}

void Song::addLastTempos(int ch, Distribution& distribution)
{
    std::size_t& next = distribution.nextTempo[ch];
    const std::vector<Element>& tempos = distribution.tempos;
    while (next < tempos.size())
        channels[ch].copyTempo(tempos[next++], ch);
}

bool Song::passes(const Element& element) const
{
    const int ch = element.channel;
    return element.kind != ElementKind::Tempo && ch >= 0 && ch < channelCount && settings.active[ch];
}

namespace {

// A channel's list being filled, apart from the channel itself.
struct ChannelFilling {
    std::vector<Element> elements;
    std::size_t nextTempo = 0; // the first of the tempo changes not added
    int lowest = 127;          // the lowest pitch of its notes so far
    bool used = false;         // it has a note

    // Adds `element` to channel `target`'s list, after the `tempos` due by
    // its time (none when null). Any interleaving of tempo changes sorts
    // alike: the order decides between elements of different kinds by
    // time, and keeps the tempo changes in their own order; by time, a
    // channel in time order needs no moves when sorted.
    void add(const Element& element, int target, const std::vector<Element>* tempos)
    {
        if (tempos != nullptr) {
            for (; nextTempo < tempos->size() && (*tempos)[nextTempo].time <= element.time; ++nextTempo) {
                elements.push_back((*tempos)[nextTempo]);
                elements.back().channel = static_cast<std::int8_t>(target);
            }
        }
        if (element.isNote()) {
            used = true;
            lowest = std::min(lowest, element.pitch);
        }
        elements.push_back(element);
    }
};

// The side (0 or 1) of each channel: two groups of about the same share
// of the elements `received`, or one group where tasks do not run side
// by side.
std::array<std::size_t, channelCount> splitInTwo(const std::array<std::size_t, channelCount>& received)
{
    std::array<int, channelCount> byShare;
    for (int ch = 0; ch < channelCount; ++ch)
        byShare[ch] = ch;
    std::stable_sort(byShare.begin(), byShare.end(), [&](int a, int b) { return received[a] > received[b]; });
    std::array<std::size_t, channelCount> side{};
    std::array<std::size_t, 2> load{};
    for (const int ch : byShare) {
        side[ch] = load[1] < load[0] && tasksRunSideBySide() ? 1 : 0;
        load[side[ch]] += received[ch];
    }
    return side;
}

} // namespace

void Song::distribute(std::vector<std::vector<Element>>& lists, Distribution& distribution)
{
    // Each group of channels is filled by a thread of its own from every
    // list, in the lists' order: a channel's list comes out as one thread
    // would make it.
    const std::array<std::size_t, channelCount> side = splitInTwo(distribution.received);
    const std::size_t sides = std::find(side.begin(), side.end(), 1) != side.end() ? 2 : 1;
    // The lists' memory goes back block by block once every side has
    // copied from it, so that they and the channels are not both held whole.
    Copying copying{lists, {}, sides};
    for (const std::vector<Element>& elements : lists)
        copying.copiedBy.emplace_back(elements.size() / Copying::block);
    runOrdered(sides, [&](std::size_t own) {
        try {
            fillSide(copying, side, own, distribution);
        } catch (...) {
            copying.passed[own] = SIZE_MAX; // the other side waits no more
            throw;
        }
    });
    for (std::vector<Element>& elements : lists)
        releaseLarge(elements);
}

void Song::fillSide(Copying& copying, const std::array<std::size_t, channelCount>& side, std::size_t own,
                    Distribution& distribution)
{
    // The side's channels are filled in its own memory (the channels lie
    // side by side, and two threads writing to one cache line would take
    // turns on it), and handed back at the end.
    std::array<ChannelFilling, channelCount> filling;
    for (int ch = 0; ch < channelCount; ++ch) {
        if (side[ch] == own) {
            filling[ch] = {std::move(channels[ch].elements), distribution.nextTempo[ch], distribution.lowest[ch],
                           channels[ch].used};
        }
    }
    const std::vector<Element>& tempos = distribution.tempos;
    constexpr std::size_t block = Copying::block;
    copying.started[own] = true;
    const std::size_t other = 1 - own;
    std::size_t blocks = 0; // blocks begun, over all lists
    for (std::size_t k = 0; k < copying.lists.size(); ++k) {
        const std::vector<Element>& elements = copying.lists[k];
        for (std::size_t start = 0; start < elements.size(); start += block, copying.passed[own] = ++blocks) {
            // A side far ahead of the other waits for it: the blocks between
            // them are held twice, in the lists and in the channels.
            while (copying.sides == 2 && copying.started[other] && blocks >= copying.passed[other] + Copying::lead)
                std::this_thread::yield();
            const std::size_t end = std::min(elements.size(), start + block);
            for (std::size_t i = start; i < end; ++i) {
                const Element& element = elements[i];
                if (!passes(element))
                    continue;
                const int target = distribution.targets[element.channel];
                if (side[target] != own)
                    continue;
                filling[target].add(element, target, distribution.getsTempos[target] ? &tempos : nullptr);
            }
            if (end - start == block && copying.copiedBy[k][start / block].fetch_add(1) + 1 == copying.sides)
                discardPages(&elements[start], block * sizeof(Element));
        }
    }
    for (int ch = 0; ch < channelCount; ++ch) {
        if (side[ch] == own) {
            channels[ch].elements = std::move(filling[ch].elements);
            distribution.nextTempo[ch] = filling[ch].nextTempo;
            distribution.lowest[ch] = filling[ch].lowest;
            channels[ch].used = filling[ch].used;
        }
    }
}

void Song::takeWhole(std::vector<Element>& elements, int target, Distribution& distribution)
{
    // The same list distribute would build, made in the track's own memory:
    // the elements that stay close up, then the tempo changes due before
    // each go into the gaps opened from the back.
    const std::vector<Element>& due = distribution.tempos;
    std::size_t& next = distribution.nextTempo[target];
    std::size_t placed = distribution.getsTempos[target] ? next : due.size();
    std::vector<std::size_t> places; // where each tempo change goes, among the kept elements
    int lowest = distribution.lowest[target];
    bool anyNote = false;
    std::size_t kept = 0;
    for (std::size_t i = 0; i < elements.size(); ++i) {
        const Element& element = elements[i];
        if (!passes(element))
            continue;
        for (; placed < due.size() && due[placed].time <= element.time; ++placed)
            places.push_back(kept);
        if (element.isNote()) {
            anyNote = true;
            lowest = std::min(lowest, element.pitch);
        }
        if (kept != i)
            elements[kept] = element;
        ++kept;
    }
    distribution.lowest[target] = lowest;
    channels[target].used = channels[target].used || anyNote;
    elements.resize(kept + places.size());
    auto from = elements.begin() + static_cast<std::ptrdiff_t>(kept);
    auto to = elements.end();
    for (std::size_t k = places.size(); k-- > 0;) {
        const auto place = elements.begin() + static_cast<std::ptrdiff_t>(places[k]);
        to = std::move_backward(place, from, to);
        from = place;
        Element tempo = due[next + k];
        tempo.channel = static_cast<std::int8_t>(target);
        *--to = tempo;
    }
    next += places.size();
    channels[target].elements = std::move(elements);
}

namespace {

// Channel `ch` quantised, cleaned up and limited, with its polyphony line.
void quantiseChannel(Song& song, int ch, StageObserver* observer)
{
    const Settings& settings = song.settings;
    Channel& channel = song.channels[ch];
    quantise(channel, song.division, settings.triplets, settings.keepInStep);
    if (observer)
        observer->quantised(ch, channel.elements);
    if (settings.eliminateIdentical) {
        channel.eliminateIdentical();
        if (observer)
            observer->identicalRemoved(ch, channel.elements);
    }
    const int limit = settings.polyphony[ch];
    const int peak = fixPolyphony(channel, limit, settings.keepOuterVoices);
    if (observer)
        observer->polyphonyLimited(ch, channel.elements);
    Msg(Level::Output, "Current polyphony on channel %d: %d\n", ch + 1, peak);
    if (limit != 0 && limit < peak)
        report(Code::InternalPolyphony, ch + 1);
}

} // namespace

Song quantiseChannels(Song song, StageObserver* observer)
{
    std::vector<int> used;
    for (int ch = 0; ch < channelCount; ++ch)
        if (song.channels[ch].used)
            used.push_back(ch);
    // The channels are independent: side by side, unless an observer
    // follows them stage by stage.
    if (observer) {
        for (const int ch : used)
            quantiseChannel(song, ch, observer);
    } else {
        runLargestFirst(song.channelSizes(used),
                        [&song, &used](std::size_t k) { quantiseChannel(song, used[k], nullptr); });
    }
    return song;
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
