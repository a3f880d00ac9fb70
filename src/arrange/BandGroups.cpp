// Grouping a band's channels into players by register.
#include "arrange/BandGroups.h"

#include <algorithm>
#include <functional>
#include <utility>

std::vector<Voice> registerOrder(const std::array<std::vector<BandNote>, channelCount>& notes,
                                 const std::array<int, channelCount>& moves)
{
    std::vector<Voice> voices;
    for (int c = 0; c < channelCount; ++c) {
        const std::vector<BandNote>& list = notes[static_cast<std::size_t>(c)];
        if (list.empty())
            continue;
        std::vector<int> pitches;
        for (const BandNote& note : list)
            pitches.push_back(std::clamp(note.pitch, 0, midiKeys - 1));
        const auto middle = pitches.begin() + static_cast<std::ptrdiff_t>(pitches.size() / 2);
        std::nth_element(pitches.begin(), middle, pitches.end());
        voices.push_back(Voice{c, *middle + 12 * std::int64_t{moves[static_cast<std::size_t>(c)]}, list.size()});
    }
    std::stable_sort(voices.begin(), voices.end(), [](const Voice& x, const Voice& y) { return x.median < y.median; });
    return voices;
}

std::vector<std::size_t> bestCut(const std::vector<Voice>& voices, std::size_t groups)
{
    std::vector<std::size_t> ends(groups), best;
    std::pair<std::int64_t, std::uint64_t> bestCost{0, 0};
    const auto weigh = [&] {
        std::int64_t span = 0;
        std::uint64_t largest = 0;
        std::size_t begin = 0;
        for (std::size_t end : ends) {
            span += voices[end - 1].median - voices[begin].median;
            std::uint64_t size = 0;
            for (std::size_t v = begin; v < end; ++v)
                size += voices[v].notes;
            largest = std::max(largest, size);
            begin = end;
        }
        if (best.empty() || std::make_pair(span, largest) < bestCost) {
            best = ends;
            bestCost = {span, largest};
        }
    };
    const std::function<void(std::size_t, std::size_t)> cut = [&](std::size_t run, std::size_t from) {
        if (run + 1 == groups) {
            ends[run] = voices.size();
            weigh();
            return;
        }
        // Leave at least one voice for each run still to come.
        for (std::size_t end = from + 1; end + (groups - run - 1) <= voices.size(); ++end) {
            ends[run] = end;
            cut(run + 1, end);
        }
    };
    if (groups > 0)
        cut(0, 0);
    return best;
}

std::vector<Player> groupByRegister(const std::array<std::vector<BandNote>, channelCount>& notes,
                                    const std::array<int, channelCount>& moves, int players)
{
    const std::vector<Voice> voices = registerOrder(notes, moves);
    const std::size_t groups = std::min(voices.size(), static_cast<std::size_t>(std::max(players, 1)));
    std::vector<Player> band;
    std::size_t begin = 0;
    for (std::size_t end : bestCut(voices, groups)) {
        Player player;
        for (std::size_t v = begin; v < end; ++v)
            player.channels.push_back(voices[v].channel);
        std::sort(player.channels.begin(), player.channels.end());
        band.push_back(std::move(player));
        begin = end;
    }
    std::sort(band.begin(), band.end(),
              [](const Player& x, const Player& y) { return x.channels.front() < y.channels.front(); });
    return band;
}
