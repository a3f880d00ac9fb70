// How well the song is kept when it is arranged for a band of players,
// measured from outside the arrangement:
//
//   band [--each] FILE|FOLDER...                  the table below
//   band [--each] [SWITCHES...] -- FILE|FOLDER... one row, for the switches
//
// The table's rows convert with "-P N -k -b 5" for N = 1..4 and, to compare,
// with "-d 10 -k -o -b 5" (every channel its own player) and
// "-d 10 -m all -k -o -b 5" (everything in one). Each file is converted as
// midi2varn would (writing nothing), its macro blocks are read back with the
// tune reader, and the MIDI file's own notes are matched against them:
// - a pitched note (not on channel 10, the drums) is played when the tune
//   its channel's block comment names has a note of its pitch class starting
//   within a sixteenth of it;
// - a channel's shift is the octave offset most of its notes could be
//   played at, and a note is in place when it is played at its pitch plus
//   that shift;
// - of two notes of different channels sounding together at different
//   pitches, the pair is in order when the lower still sounds lower;
// - a drum is played as a pitch when a played note of its pitch class at
//   its time belongs to no pitched note.
// Players are the tunes read back, parts the "/use" lines of one block, the
// time the CPU time of the conversions. Shares are over all notes (pairs),
// and in brackets the mean of the songs' shares. Files without notes, or
// that do not convert, are skipped. With -P, the arrangement's own counts
// follow the row; --each adds every file's figures.
#include "convert/Conversion.h"
#include "midi/MidiReader.h"
#include "options/Options.h"
#include "tune/TuneReader.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr int drumChannel = 9; // 0-based: the General MIDI drums

struct SourceNote {
    std::int64_t start = 0, end = 0; // ticks
    int channel = 0;                 // 0-based
    int pitch = 0;
    double clock = 0;  // start in sixteenths
    int played = -1;   // the played pitch matched, or -1
};

struct Row {
    std::string name;
    long long files = 0, skipped = 0;
    long long notes = 0, kept = 0, inPlace = 0, pairs = 0, inOrder = 0;
    long long drums = 0, drumsPlayed = 0;
    // Sums of each song's shares, for the mean over songs (that have pairs).
    double songInPlace = 0, songInOrder = 0;
    long long songsWithPairs = 0;
    // The arrangement's own counts (with -P), beside the measured ones.
    unsigned long long ownNotes = 0, ownInPlace = 0, ownPairs = 0, ownInOrder = 0;
    long long overPlayers = 0, overParts = 0;
    std::vector<std::string> skippedFiles;
    std::vector<int> players;
    int largestMacro = 0;
    double seconds = 0;
};

std::vector<SourceNote> readNotes(const std::vector<unsigned char>& bytes, const std::string& file, int& division)
{
    // The reader's own messages are the conversion's business: not shown.
    Message quiet([](const ConsoleText&) {});
    MessageScope scope(quiet);
    MidiFile song;
    MidiReader reader;
    std::vector<SourceNote> notes;
    if (!reader.loadSong(bytes, file, song))
        return notes;
    division = song.division > 0 ? song.division : 240;
    for (const Track& track : song.tracks)
        for (const Element& e : track.elements())
            if (e.kind == ElementKind::Note && e.channel >= 0 && e.channel < 16) {
                SourceNote n;
                n.start = e.time;
                n.end = std::int64_t{e.time} + e.duration;
                n.channel = e.channel;
                n.pitch = e.pitch;
                n.clock = 4.0 * e.time / division;
                notes.push_back(n);
            }
    return notes;
}

// Calls `visit` with each line of `text`, its leading blanks removed.
template <typename Visit>
void forEachLine(std::string_view text, Visit visit)
{
    for (std::size_t p = 0; p < text.size();) {
        std::size_t e = text.find('\n', p);
        if (e == std::string_view::npos)
            e = text.size();
        std::string_view line = text.substr(p, e - p);
        p = e + 1;
        line.remove_prefix(std::min(line.size(), line.find_first_not_of(" \t")));
        visit(line);
    }
}

// The channels (0-based) of each block comment, by the tune they play on:
// "Player P[, macro K of M]: channels A, B" plays on A's tune; "Channel A"
// on A's own.
std::array<int, 16> tuneOfChannels(std::string_view text)
{
    std::array<int, 16> tuneOf{};
    tuneOf.fill(-1);
    forEachLine(text, [&](std::string_view line) {
        if (line.starts_with("// Player ")) {
            const std::size_t colon = line.find(':');
            if (colon == std::string_view::npos)
                return;
            std::vector<int> channels;
            int value = 0;
            bool digits = false;
            for (char c : line.substr(colon + 1)) {
                if (c >= '0' && c <= '9') {
                    value = value * 10 + (c - '0');
                    digits = true;
                } else if (digits) {
                    channels.push_back(value);
                    value = 0;
                    digits = false;
                }
            }
            if (digits)
                channels.push_back(value);
            if (channels.empty())
                return;
            const int lowest = *std::min_element(channels.begin(), channels.end());
            for (int c : channels)
                if (c >= 1 && c <= 16)
                    tuneOf[c - 1] = lowest;
        } else if (line.starts_with("// Channel ")) {
            const int c = std::atoi(std::string(line.substr(11)).c_str());
            if (c >= 1 && c <= 16 && tuneOf[c - 1] < 0)
                tuneOf[c - 1] = c;
        }
    });
    return tuneOf;
}

// The most "/use" lines of one block.
int largestBlock(std::string_view text)
{
    int largest = 0, parts = 0;
    forEachLine(text, [&](std::string_view line) {
        if (line.starts_with("//"))
            parts = 0;
        else if (line.starts_with("\"/use"))
            largest = std::max(largest, ++parts);
    });
    return largest;
}

// Played notes of one tune by their start.
using Starts = std::multimap<std::int64_t, const PlayedNote*>;

// Calls `visit` with every played note of `n`'s pitch class starting
// within a sixteenth of it.
template <typename Visit>
void forCandidates(const Starts& starts, const SourceNote& n, Visit visit)
{
    const auto lo = static_cast<std::int64_t>(n.clock) - 1;
    for (auto it = starts.lower_bound(lo); it != starts.end() && it->first <= lo + 3; ++it)
        if (std::abs(static_cast<double>(it->first) - n.clock) <= 1.0 && (it->second->pitch - n.pitch) % 12 == 0)
            visit(*it->second);
}

// Of those, the one nearest `want` in pitch, then nearest in time; null
// when there is none.
const PlayedNote* match(const Starts& starts, const SourceNote& n, int want)
{
    const PlayedNote* best = nullptr;
    double bestTime = 0;
    int bestPitch = 0;
    forCandidates(starts, n, [&](const PlayedNote& p) {
        const double dt = std::abs(static_cast<double>(p.start) - n.clock);
        const int dp = std::abs(p.pitch - want);
        if (!best || dp < bestPitch || (dp == bestPitch && dt < bestTime)) {
            best = &p;
            bestTime = dt;
            bestPitch = dp;
        }
    });
    return best;
}

double share(long long part, long long whole)
{
    return whole ? 100.0 * part / whole : 100.0;
}

// With --each, every file's figures follow its row.
bool each = false;

void measure(const std::vector<std::string>& switches, const std::string& file, Row& row)
{
    const Row before = row;
    std::ifstream in(file, std::ios::binary);
    const std::vector<unsigned char> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    std::vector<std::string> args{"midi2varn"};
    args.insert(args.end(), switches.begin(), switches.end());
    args.push_back(file);
    args.push_back("band.varn");
    const CommandLine commandLine = parseOptions(args);
    ConversionRequest request;
    request.settings = commandLine.settings;
    request.inputName = file;
    request.outputName = "band.varn";
    request.midi = bytes;
    const std::clock_t started = std::clock();
    const Conversion result = convert(request, [](const ConsoleText&) {});
    row.seconds += static_cast<double>(std::clock() - started) / CLOCKS_PER_SEC;
    int division = 240;
    std::vector<SourceNote> notes = readNotes(bytes, file, division);
    // Files without notes say nothing of an arrangement.
    if (!commandLine.proceed || result.status != 0 || notes.empty()) {
        ++row.skipped;
        row.skippedFiles.push_back(file);
        return;
    }
    ++row.files;
    const TuneRead read = readTunes(result.macroText);
    row.players.push_back(static_cast<int>(read.tunes.size()));
    const int largest = largestBlock(result.macroText);
    row.largestMacro = std::max(row.largestMacro, largest);
    row.overParts += largest > 5;
    if (commandLine.settings.players > 0)
        row.overPlayers += static_cast<int>(read.tunes.size()) > commandLine.settings.players;

    // Each channel's tune: the one its block comment names, else the only one.
    const std::array<int, 16> tuneOf = tuneOfChannels(result.macroText);
    std::array<Starts, 17> starts; // by the tune's channel; [0]: every tune
    for (const PlayedTune& tune : read.tunes)
        for (const PlayedNote& p : tune.notes) {
            if (tune.channel >= 1 && tune.channel <= 16)
                starts[tune.channel].emplace(p.start, &p);
            starts[0].emplace(p.start, &p);
        }
    const auto startsOf = [&](int channel) -> const Starts& {
        const int t = tuneOf[channel];
        if (t >= 1)
            return starts[t];
        return read.tunes.size() == 1 && read.tunes[0].channel >= 1 ? starts[read.tunes[0].channel] : starts[0];
    };

    // A channel's shift is the octave offset most of its notes could be
    // played at. Each note votes for every offset its tune has a note at;
    // a played note that could be the note of k channels (a line doubled
    // in octaves) gives each 1/k of a vote, so that one channel's notes do
    // not pull another's shift to them. Then each note takes the played
    // note nearest its shifted pitch.
    std::map<const PlayedNote*, std::uint16_t> claims; // channel bits
    for (const SourceNote& n : notes)
        if (n.channel != drumChannel)
            forCandidates(startsOf(n.channel), n,
                          [&](const PlayedNote& p) { claims[&p] |= static_cast<std::uint16_t>(1u << n.channel); });
    std::array<std::map<int, double>, 16> offsets;
    for (SourceNote& n : notes) {
        if (n.channel == drumChannel)
            continue;
        std::map<int, double> votes; // the best vote per offset
        forCandidates(startsOf(n.channel), n, [&](const PlayedNote& p) {
            double& vote = votes[p.pitch - n.pitch];
            vote = std::max(vote, 1.0 / std::popcount(claims[&p]));
        });
        for (const auto& [offset, vote] : votes)
            offsets[static_cast<std::size_t>(n.channel)][offset] += vote;
        if (!votes.empty())
            n.played = 0;
    }
    std::array<int, 16> shift{};
    for (int c = 0; c < 16; ++c) {
        double most = 0;
        for (const auto& [offset, count] : offsets[c])
            if (count > most) {
                most = count;
                shift[c] = offset;
            }
    }
    for (SourceNote& n : notes) {
        if (n.channel == drumChannel)
            continue;
        ++row.notes;
        if (n.played < 0)
            continue;
        n.played = match(startsOf(n.channel), n, n.pitch + shift[n.channel])->pitch;
        ++row.kept;
        row.inPlace += n.played == n.pitch + shift[n.channel];
    }

    // A drum is played as a pitch when a played note at its time and of its
    // pitch class belongs to no pitched note: none of that class starts
    // within a sixteenth of it or sounds on at its start (a long note the
    // tune strikes again).
    std::map<const PlayedNote*, bool> explained;
    for (const SourceNote& n : notes)
        if (n.channel != drumChannel) {
            const auto lo = static_cast<std::int64_t>(n.clock) - 1;
            const double end = 4.0 * static_cast<double>(n.end) / division + 1;
            for (auto it = starts[0].lower_bound(lo); it != starts[0].end() && static_cast<double>(it->first) <= end;
                 ++it)
                if (static_cast<double>(it->first) >= n.clock - 1 && (it->second->pitch - n.pitch) % 12 == 0)
                    explained[it->second] = true;
        }
    for (const SourceNote& n : notes)
        if (n.channel == drumChannel) {
            ++row.drums;
            const auto lo = static_cast<std::int64_t>(n.clock) - 1;
            for (auto it = starts[0].lower_bound(lo); it != starts[0].end() && it->first <= lo + 3; ++it)
                if (std::abs(static_cast<double>(it->first) - n.clock) <= 1.0 &&
                    (it->second->pitch - n.pitch) % 12 == 0 && !explained.count(it->second)) {
                    ++row.drumsPlayed;
                    break;
                }
        }

    // Pairs of pitched notes of two channels sounding together: one starts
    // while the other sounds.
    std::vector<const SourceNote*> order;
    for (const SourceNote& n : notes)
        if (n.channel != drumChannel)
            order.push_back(&n);
    std::stable_sort(order.begin(), order.end(),
                     [](const SourceNote* a, const SourceNote* b) { return a->start < b->start; });
    std::vector<const SourceNote*> sounding;
    for (const SourceNote* n : order) {
        std::erase_if(sounding, [&](const SourceNote* s) { return s->end <= n->start; });
        for (const SourceNote* s : sounding) {
            if (s->channel == n->channel || s->pitch == n->pitch || n->end <= n->start)
                continue;
            ++row.pairs;
            const SourceNote* low = s->pitch < n->pitch ? s : n;
            const SourceNote* high = s->pitch < n->pitch ? n : s;
            row.inOrder += low->played >= 0 && high->played >= 0 && low->played < high->played;
        }
        if (n->end > n->start)
            sounding.push_back(n);
    }
    row.ownNotes += result.band.notes;
    row.ownInPlace += result.band.inPlace;
    row.ownPairs += result.band.pairs;
    row.ownInOrder += result.band.pairsInOrder;
    row.songInPlace += share(row.inPlace - before.inPlace, row.notes - before.notes);
    if (row.pairs > before.pairs) {
        row.songInOrder += share(row.inOrder - before.inOrder, row.pairs - before.pairs);
        ++row.songsWithPairs;
    }
    if (each)
        std::printf("  %s: %d players, %lld of %lld kept, %lld in place, %lld of %lld pairs in order, %lld drums as "
                    "pitch, %d parts\n",
                    file.c_str(), row.players.back(), row.kept - before.kept, row.notes - before.notes,
                    row.inPlace - before.inPlace, row.inOrder - before.inOrder, row.pairs - before.pairs,
                    row.drumsPlayed - before.drumsPlayed, largest);
    if (each && commandLine.settings.players > 0)
        std::printf("    as the arrangement counts: %llu of %llu in place, %llu of %llu pairs in order\n",
                    static_cast<unsigned long long>(result.band.inPlace),
                    static_cast<unsigned long long>(result.band.notes),
                    static_cast<unsigned long long>(result.band.pairsInOrder),
                    static_cast<unsigned long long>(result.band.pairs));
}

std::string joined(const std::vector<std::string>& switches)
{
    std::string text;
    for (const std::string& s : switches)
        text += (text.empty() ? "" : " ") + s;
    return text;
}

void print(const Row& row)
{
    std::vector<int> players = row.players;
    std::sort(players.begin(), players.end());
    const std::size_t half = players.size() / 2;
    const double median = players.empty()       ? 0
                          : players.size() % 2 ? players[half]
                                               : (players[half - 1] + players[half]) / 2.0;
    std::printf("| %s | %lld | %.4g (up to %d) | %lld | %.2f%% (%lld of %lld) | %.1f%% (songs %.1f%%) ",
                row.name.c_str(), row.files, median, players.empty() ? 0 : players.back(), row.overPlayers,
                share(row.kept, row.notes), row.kept, row.notes, share(row.inPlace, row.notes),
                row.files ? row.songInPlace / row.files : 100.0);
    std::printf("| %.1f%% (songs %.1f%%; %lld pairs) | %lld of %lld | %d (%lld over 5) | %.2f s |\n",
                share(row.inOrder, row.pairs), row.songsWithPairs ? row.songInOrder / row.songsWithPairs : 100.0,
                row.pairs, row.drumsPlayed, row.drums, row.largestMacro, row.overParts, row.seconds);
}

} // namespace

int main(int argc, char** argv)
{
    std::vector<std::vector<std::string>> rows;
    std::vector<std::string> files;
    int i = 1;
    if (argc > 1 && std::string(argv[1]) == "--each") {
        each = true;
        ++i;
    }
    bool table = true;
    for (int k = i; k < argc; ++k)
        table = table && std::string(argv[k]) != "--";
    if (!table) {
        rows.emplace_back();
        for (; std::string(argv[i]) != "--"; ++i)
            rows.back().push_back(argv[i]);
        ++i;
    } else {
        for (const char* n : {"1", "2", "3", "4"})
            rows.push_back({"-P", n, "-k", "-b", "5"});
        rows.push_back({"-d", "10", "-k", "-o", "-b", "5"});
        rows.push_back({"-d", "10", "-m", "all", "-k", "-o", "-b", "5"});
    }
    // A folder stands for its MIDI files, in name order.
    for (; i < argc; ++i) {
        if (std::filesystem::is_directory(argv[i])) {
            std::vector<std::string> found;
            for (const auto& entry : std::filesystem::recursive_directory_iterator(argv[i]))
                if (entry.is_regular_file())
                    found.push_back(entry.path().string());
            std::sort(found.begin(), found.end());
            files.insert(files.end(), found.begin(), found.end());
        } else {
            files.push_back(argv[i]);
        }
    }
    std::printf("| switches | files | players (median) | over N | notes kept | in place | in order | drums as pitch | "
                "largest macro (parts) | time (CPU) |\n|---|---|---|---|---|---|---|---|---|---|\n");
    for (const auto& switches : rows) {
        Row row;
        row.name = joined(switches);
        for (const std::string& file : files)
            measure(switches, file, row);
        print(row);
        if (row.ownNotes)
            std::printf("  (as the arrangement counts: %.1f%% in place, %.1f%% in order)\n",
                        share(static_cast<long long>(row.ownInPlace), static_cast<long long>(row.ownNotes)),
                        share(static_cast<long long>(row.ownInOrder), static_cast<long long>(row.ownPairs)));
        if (row.skipped)
            for (const std::string& file : row.skippedFiles)
                std::printf("  (skipped %s)\n", file.c_str());
    }
    return 0;
}
