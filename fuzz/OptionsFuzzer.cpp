// Fuzz target for the command line: the input, split at zero bytes, is the
// argument vector after the program name. Every accepted command line must
// leave the song in a state the later stages rely on.
#include "arrange/Song.h"
#include "core/Message.h"
#include "options/Options.h"

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace {

constexpr std::size_t maxArgs = 64;

// Merge lists name each channel at most once, never a target as a source.
bool mergesValid(const Song& song)
{
    std::array<int, Song::channelCount> seen{};
    for (int t = 0; t < Song::channelCount; ++t) {
        for (int source : song.mergeList[t]) {
            if (source < 0 || source >= Song::channelCount || source == t)
                return false;
            if (++seen[source] > 1 || !song.mergeList[source].empty())
                return false;
        }
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    const int null = open("/dev/null", O_WRONLY);
    if (null >= 0) {
        dup2(null, STDOUT_FILENO);
        close(null);
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::vector<std::string> args{"midi2varn"};
    std::string current;
    for (std::size_t i = 0; i < size && args.size() < maxArgs; ++i) {
        if (data[i] == 0) {
            args.push_back(current);
            current.clear();
        } else {
            current.push_back(static_cast<char>(data[i]));
        }
    }
    if (args.size() < maxArgs && (size == 0 || data[size - 1] != 0))
        args.push_back(current);

    std::vector<char*> argv;
    for (auto& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);

    Message::instance()->msgLevel = Message::msgLevelDefault;
    optind = 0; // restart the scanner
    opterr = 0; // keep its complaints off the fuzzer's log
    Options::_argc = static_cast<int>(args.size());
    Options::_argv = argv.data();
    Options options;
    Options::_instance = &options;
    Song song;
    const bool accepted = options.parseOptions(&song);
    Options::_instance = nullptr;

    if (accepted) {
        const int level = Message::instance()->msgLevel;
        if (level < 0 || level > 9 || !mergesValid(song))
            __builtin_trap();
        for (int ch = 0; ch < Song::channelCount; ++ch) {
            if (song.polyphony[ch] < 0)
                __builtin_trap();
            if (song.longChords && song.active[ch] && song.polyphony[ch] == 1)
                __builtin_trap();
        }
    }
    return 0;
}
