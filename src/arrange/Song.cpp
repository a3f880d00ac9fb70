#include "arrange/Song.h"

#include "arrange/ChannelPolyphony.h"
#include "arrange/ChannelQuantisation.h"
#include "core/Message.h"
#include "core/WrappingArithmetic.h"

#include <algorithm>
#include <cstdlib>
#include <string>
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

void Song::arrangeBand(std::array<bool, channelCount>& inBand, std::array<int, channelCount>& targets)
{
    std::array<std::vector<BandNote>, channelCount> notes;
    int lowest = 127;
    for (const Track& track : tracks) {
        for (const Element& e : track.elements()) {
            if (!e.isNote() || e.channel < 0 || e.channel >= channelCount)
                continue;
            hasNotes[e.channel] = true;
            if (!settings.active[e.channel] || e.channel == drumChannel - 1)
                continue;
            notes[e.channel].push_back(BandNote{e.time, std::int64_t{e.time} + e.duration, e.pitch});
            lowest = std::min(lowest, e.pitch);
        }
    }
    // -a brings the band's lowest note as written to the lowest of the range;
    // the moves follow from there.
    if (settings.autoTranspose)
        transpose = subWrap(transpose, subWrap(lowest, lowestNote));
    band = ::arrangeBand(notes, settings.players, transpose, settings.upperC);
    for (int ch = 0; ch < channelCount; ++ch) {
        const int player = band.playerOf[ch];
        inBand[ch] = player >= 0;
        targets[ch] = inBand[ch] ? band.players[static_cast<std::size_t>(player)].channels.front() : ch;
    }
}

Song::Routes Song::routes()
{
    Routes r;
    r.active = settings.active;
    if (settings.players != 0) {
        arrangeBand(r.active, r.targets);
        r.getsTempos = r.active;
        return r;
    }
    for (int ch = 0; ch < channelCount; ++ch) {
        r.targets[ch] = mergeTarget(settings.mergeList, ch);
        // An inactive merge target still gets its sources' notes, so it
        // needs the tempo changes as well.
        r.getsTempos[ch] = r.active[ch] || !settings.mergeList[ch].empty();
    }
    return r;
}

void Song::sortToChannels()
{
    const auto [active, targets, getsTempos] = routes();
    // Each channel's list is sized once, to what it will receive.
    std::array<std::size_t, channelCount> sizes{};
    for (const Track& track : tracks) {
        for (int ch = 0; ch < channelCount; ++ch) {
            if (active[ch])
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
            } else if (ch >= 0 && ch < channelCount && active[ch]) {
                Channel& channel = channels[targets[ch]];
                channel.elements.push_back(element);
                if (element.isNote()) {
                    // With -P the channel's notes move by its octaves.
                    Element& note = channel.elements.back();
                    note.pitch = addWrap(note.pitch, 12 * band.octaves[ch]);
                    channel.used = true;
                    lowest[targets[ch]] = std::min(lowest[targets[ch]], note.pitch);
                }
            }
        }
    }
    for (int ch = 0; ch < channelCount; ++ch) {
        if (!channels[ch].used)
            continue;
        channels[ch].sort();
        lowestPitch = std::min(lowestPitch, lowest[ch]);
    }
    if (settings.autoTranspose && settings.players == 0)
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
    tell(Code::PolyphonyPeak, ch + 1, peak);
    if (limit != 0 && limit < peak)
        report(Code::InternalPolyphony, ch + 1);
}

void Song::print() const
{
    tell(Code::BlankLine);
    tell(Code::Song);
    tell(Code::SongTempo, tempo);

    int usedTracks = 0;
    for (const Track& track : tracks)
        if (track.used)
            ++usedTracks;
    tell(Code::SongTracks, usedTracks, static_cast<int>(tracks.size()));

    int usedChannels = 0;
    for (const Channel& channel : channels)
        if (channel.used)
            ++usedChannels;
    tell(Code::SongChannels, usedChannels);
    if (settings.players != 0)
        printBand();

    for (int ch = 0; ch < channelCount; ++ch) {
        if (!channels[ch].used)
            continue;
        tell(Code::SongChannel, ch + 1);
        channels[ch].print(division);
    }
}


namespace {

// "channel 3" or "channels 1, 4", the 0-based `channels` shown from 1; the
// drum channel marked.
std::string channelList(const std::vector<int>& channels)
{
    std::string text = channels.size() == 1 ? "channel " : "channels ";
    for (std::size_t i = 0; i < channels.size(); ++i) {
        if (i)
            text += ", ";
        text += std::to_string(channels[i] + 1);
        if (channels[i] == drumChannel - 1)
            text += " (drums)";
    }
    return text;
}

} // namespace

void Song::printBand() const
{
    for (std::size_t p = 0; p < band.players.size(); ++p) {
        const std::vector<int>& members = band.players[p].channels;
        std::string moves;
        for (int ch : members) {
            const int octaves = band.octaves[static_cast<std::size_t>(ch)];
            if (octaves == 0)
                continue;
            moves += moves.empty() ? " (" : ", ";
            moves += std::to_string(ch + 1) + (octaves > 0 ? " up " : " down ") + std::to_string(12 * std::abs(octaves));
        }
        if (!moves.empty())
            moves += ")";
        tell(Code::Player, static_cast<int>(p) + 1, channelList(members).c_str(), moves.c_str());
    }
    std::vector<int> leftOut;
    for (int ch = 0; ch < channelCount; ++ch)
        if (hasNotes[ch] && band.playerOf[static_cast<std::size_t>(ch)] < 0)
            leftOut.push_back(ch);
    if (!leftOut.empty())
        tell(Code::LeftOut, channelList(leftOut).c_str());
}

void Song::releaseChannels()
{
    for (Channel& channel : channels)
        channel.elements = std::vector<Element>();
}
