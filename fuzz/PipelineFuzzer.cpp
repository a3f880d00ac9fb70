// Fuzz target over the whole conversion: bytes -> MIDI reader -> song stages
// -> tune encoder -> macro writer. The first bytes of the input choose the
// settings the command line could have made; the rest is the MIDI file.
//
// Layout of the settings prefix (missing bytes count as 0):
//   0  flags: 1 auto-transpose, 2 long chords, 4 upper c, 8 identical-note
//      removal, 16 no triplets; bits 5..7 pick the verbosity
//   1  polyphony: bits 0..2 pick the limit, bit 3 applies it to one channel
//      (bits 4..7) instead of all
//   2  transposition (signed byte; -128 and 127 stand for the int limits)
//   3  merges: bits 0..1 none / all into channel 1 / one target (bits 4..7)
//      with the sources of bytes 4 and 5; bits 2 and 3 both set let a long
//      song of a short file through to the encoder (see below)
//   4, 5  merge sources, one bit per channel
//   6, 7  disabled channels, one bit per channel (applied before the merge,
//      as "-d ... -m ..." would)
#include "arrange/Song.h"
#include "core/Message.h"
#include "core/Note.h"
#include "midi/ParserMID.h"
#include "tune/VARN.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

constexpr std::size_t prefixSize = 8;
constexpr std::size_t maxTuneText = 4950000;

// Songs longer than this many 24ths (about 100,000 quarters) are encoded
// only when the settings ask for it and the file is short: their tunes run
// into the text cap, megabytes per channel, and would otherwise take most
// of the fuzzing time.
constexpr std::int64_t longSong = 400000;
constexpr std::size_t shortFile = 96;

std::string inputPath;
FILE* sink = nullptr;

std::uint8_t at(const std::uint8_t* data, std::size_t size, std::size_t i)
{
    return i < size ? data[i] : 0;
}

int verbosityFor(int pick)
{
    // Mostly quiet, but every level is reached.
    static const int levels[8] = {0, 1, 3, 4, 5, 7, 8, 9};
    return levels[pick & 7];
}

int polyphonyFor(int pick)
{
    static const int limits[8] = {0, 1, 2, 3, 4, 7, 1000, INT_MAX};
    return limits[pick & 7];
}

int transposeFor(std::uint8_t value)
{
    const int t = static_cast<std::int8_t>(value);
    if (t == -128)
        return INT_MIN;
    if (t == 127)
        return INT_MAX;
    return t;
}

// Sets up the song as a valid command line would.
void configure(Song& song, const std::uint8_t* data, std::size_t size)
{
    const int flags = at(data, size, 0);
    song.autoTranspose = (flags & 1) != 0;
    song.longChords = (flags & 2) != 0;
    song.upperC = (flags & 4) != 0;
    song.eliminateIdentical = (flags & 8) != 0;
    song.triplets = (flags & 16) == 0;
    Message::instance()->msgLevel = verbosityFor(flags >> 5);

    const int poly = at(data, size, 1);
    const int limit = polyphonyFor(poly);
    if ((poly & 8) != 0)
        song.polyphony[poly >> 4] = limit;
    else
        song.polyphony.fill(limit);

    song.transpose = transposeFor(at(data, size, 2));

    const unsigned disabled = at(data, size, 6) | (at(data, size, 7) << 8);
    for (int ch = 0; ch < Song::channelCount; ++ch)
        if ((disabled >> ch) & 1)
            song.active[ch] = false;

    const int merge = at(data, size, 3);
    if ((merge & 3) == 1) {
        for (int ch = 1; ch < Song::channelCount; ++ch)
            song.mergeList[0].push_back(ch);
        song.active[0] = true;
    } else if ((merge & 3) >= 2) {
        const int target = merge >> 4;
        const unsigned sources = at(data, size, 4) | (at(data, size, 5) << 8);
        for (int ch = 0; ch < Song::channelCount; ++ch)
            if (ch != target && ((sources >> ch) & 1))
                song.mergeList[target].push_back(ch);
        if (!song.mergeList[target].empty())
            song.active[target] = true;
    }

    // Long chords are refused when an active channel may sound one note only.
    if (song.longChords)
        for (int ch = 0; ch < Song::channelCount; ++ch)
            if (song.active[ch] && song.polyphony[ch] == 1)
                song.polyphony[ch] = 2;
}

// The grid span of the longest channel, in 24ths.
std::int64_t songSpan(const Song& song)
{
    std::int64_t longest = 0;
    for (const auto& channel : song.channels) {
        std::int64_t pos = 0;
        std::int64_t end = 0;
        for (const auto& element : channel->elements) {
            pos += std::llabs(element->delta);
            std::int64_t stop = pos;
            if (const auto* note = dynamic_cast<const Note*>(element.get()))
                stop += std::llabs(note->length);
            end = std::max(end, stop);
        }
        longest = std::max(longest, end);
    }
    return longest;
}

bool writeInput(const std::uint8_t* data, std::size_t size)
{
    FILE* f = std::fopen(inputPath.c_str(), "wb");
    if (f == nullptr)
        return false;
    const bool ok = size == 0 || std::fwrite(data, 1, size, f) == size;
    return std::fclose(f) == 0 && ok;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // The diagnostics go to standard output; the fuzzer reports on stderr.
    const int null = open("/dev/null", O_WRONLY);
    if (null >= 0) {
        dup2(null, STDOUT_FILENO);
        close(null);
    }
    sink = std::fopen("/dev/null", "w");
    const char* dir = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    inputPath = std::string(dir) + "/midi2varn-fuzz-" + std::to_string(getpid()) + ".mid";
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::size_t skip = size < prefixSize ? size : prefixSize;
    if (!writeInput(data + skip, size - skip))
        return 0;

    Song song;
    configure(song, data, size);

    ParserMID parser;
    const bool loaded = parser.loadSong(inputPath, &song);
    unlink(inputPath.c_str());
    if (!loaded)
        return 0;

    song.sortToChannels();
    song.smoothChannels();
    const bool longAllowed = (at(data, size, 3) & 0x0C) == 0x0C && size - skip <= shortFile;
    if (!longAllowed && songSpan(song) > longSong)
        return 0;
    song.print();
    song.createVARN();
    for (const VARN& tune : song.tunes)
        if (tune.text.size() > maxTuneText)
            __builtin_trap();
    song.printVARN(sink);
    std::fflush(sink);
    return 0;
}
