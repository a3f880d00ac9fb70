// Command line: options are applied to the song in command-line order, each
// confirmed by a message; the remaining arguments name the input and output.
#include "options/Options.h"

#include "arrange/Song.h"
#include "core/Message.h"

#if defined(_WIN32)
#include <getopt.h>
#else
#include <unistd.h>
#endif

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

Options* Options::_instance = nullptr;
int Options::_argc = 0;
char** Options::_argv = nullptr;

namespace {

const char* const optionString = "+ad:ehlnm:p:s:t:uv:";

bool onlyChars(const std::string& text, const char* allowed)
{
    return text.find_first_not_of(allowed) == std::string::npos;
}

// A whole signed number filling the entire argument (leading blanks allowed).
bool readWhole(const char* text, int& value)
{
    std::istringstream in(text);
    in >> value;
    return !in.fail() && in.eof();
}

// "1,2,3": reads numbers separated by commas; an item that is not a number
// (an empty item, or one too large to read) ends the list quietly.
std::vector<int> readList(const std::string& text)
{
    std::vector<int> values;
    std::istringstream in(text);
    int value = 0;
    while (in >> value) {
        values.push_back(value);
        char separator = 0;
        if (!in.get(separator) || separator != ',')
            break;
    }
    return values;
}

bool validChannel(int number)
{
    if (number >= 1 && number <= Song::channelCount)
        return true;
    Msg(0, "Invalid channel %d!\n", number);
    return false;
}

// A channel that is a merge target (it has sources) or a merge source.
bool beingMerged(const Song& song, int ch)
{
    if (!song.mergeList[ch].empty())
        return true;
    for (const auto& list : song.mergeList)
        if (std::find(list.begin(), list.end(), ch) != list.end())
            return true;
    return false;
}

// The output name for an input name given alone: the extension of the last
// path component is replaced by "txt"; a component without a "." after its
// first character gets ".txt" appended.
std::string deriveOutputName(const std::string& input)
{
    const std::size_t slash = input.find_last_of("/\\");
    const std::size_t start = (slash == std::string::npos) ? 0 : slash + 1;
    const std::size_t dot = input.rfind('.');
    if (dot != std::string::npos && dot > start)
        return input.substr(0, dot + 1) + "txt";
    return input + ".txt";
}

// True when writing `output` would overwrite the file `input`.
bool namesInput(const std::string& input, const std::string& output)
{
    if (output == "-")
        return false;
    if (output == input)
        return true;
    // False when either does not exist; another name or a hard link of the
    // same file counts as the input.
    std::error_code error;
    return std::filesystem::equivalent(input, output, error);
}

} // namespace

bool Options::parseOptions(Song* song)
{
    // Started as C:\tools\conv.exe, the usage line shows conv.exe.
    if (_argc > 0 && _argv != nullptr && _argv[0] != nullptr) {
        if (char* name = std::strrchr(_argv[0], '\\'))
            _argv[0] = name + 1;
    }

    song->active.fill(true);

    // Without even a program name there is nothing to scan.
    if (_argc < 1 || _argv == nullptr) {
        printUsage();
        return false;
    }

    int option;
    while ((option = getopt(_argc, _argv, optionString)) != -1) {
        const std::string arg = (optarg != nullptr) ? optarg : "";
        switch (option) {
        case 'a':
            song->autoTranspose = true;
            Msg(4, "Auto-transposing enabled.\n");
            break;

        case 'd':
            if (arg == "all") {
                for (int ch = 0; ch < Song::channelCount; ++ch)
                    if (!song->mergeList[ch].empty())
                        Msg(3, "Deactivating merge target %d...\n", ch + 1);
                song->active.fill(false);
                Msg(4, "Deactivating all channels.\n");
                break;
            }
            if (!onlyChars(arg, "0123456789,")) {
                printUsage();
                return false;
            }
            for (int n : readList(arg)) {
                if (!validChannel(n))
                    return false;
                if (song->active[n - 1])
                    Msg(4, "Deactivating channel %d.\n", n);
                else
                    Msg(6, "Deactivating already disabled channel %d.\n", n);
                if (!song->mergeList[n - 1].empty())
                    Msg(3, "Deactivating merge target %d...\n", n);
                song->active[n - 1] = false;
            }
            break;

        case 'e':
            song->eliminateIdentical = true;
            Msg(4, "Eliminating all but one instance of identical notes.\n");
            break;

        case 'h':
            printUsage();
            return false;

        case 'l':
            song->longChords = true;
            Msg(4, "Enabling [...]$.\n");
            break;

        case 'm': {
            if (arg == "all") {
                for (int ch = 0; ch < Song::channelCount; ++ch) {
                    if (beingMerged(*song, ch)) {
                        Msg(0, "Channel %d is already being merged!\n", ch + 1);
                        return false;
                    }
                }
                for (int ch = 1; ch < Song::channelCount; ++ch)
                    song->mergeList[0].push_back(ch);
                if (!song->active[0])
                    Msg(4, "Reactivating channel 1 as merge target.\n");
                song->active[0] = true;
                Msg(4, "Merging all channels into channel 1.\n");
                break;
            }
            if (!onlyChars(arg, "0123456789,") || arg.find(',') == std::string::npos) {
                printUsage();
                return false;
            }
            int target = 0; // 1-based; 0 until the first number is read
            for (int n : readList(arg)) {
                if (!validChannel(n))
                    return false;
                if (target != 0 && n == target) {
                    Msg(0, "Cannot merge channel %d into itself!\n", n);
                    return false;
                }
                if (beingMerged(*song, n - 1)) {
                    Msg(0, "Channel %d is already being merged!\n", n);
                    return false;
                }
                if (target == 0)
                    target = n;
                else
                    song->mergeList[target - 1].push_back(n - 1);
            }
            if (target == 0 || song->mergeList[target - 1].empty()) {
                printUsage();
                return false;
            }
            if (!song->active[target - 1])
                Msg(4, "Reactivating channel %d as merge target.\n", target);
            song->active[target - 1] = true;

            const std::vector<int>& sources = song->mergeList[target - 1];
            Msg(4, "Merging channel%s ", sources.size() > 1 ? "s" : "");
            for (std::size_t i = 0; i < sources.size(); ++i) {
                const int source = sources[i];
                MsgSilent(4, song->active[source] ? "%d" : "(%d)", source + 1);
                if (i + 1 < sources.size())
                    MsgSilent(4, ",");
            }
            MsgSilent(4, " into channel %d.\n", target);
            break;
        }

        case 'n':
            song->triplets = false;
            Msg(4, "Triplet detection disabled.\n");
            break;

        case 'p': {
            if (!onlyChars(arg, "0123456789@")) {
                printUsage();
                return false;
            }
            std::istringstream in(arg);
            int first = 0;
            if (!(in >> first)) {
                printUsage();
                return false;
            }
            int channel = 0; // 1-based; 0 for all channels
            int limit = first;
            if (!in.eof()) {
                channel = first;
                if (!validChannel(channel))
                    return false;
                in.get(); // the "@"
                if (!(in >> limit)) {
                    printUsage();
                    return false;
                }
            }
            if (!in.eof()) {
                printUsage();
                return false;
            }
            if (channel == 0) {
                song->polyphony.fill(limit);
                Msg(4, "Setting polyphony of all channels to ");
            } else {
                song->polyphony[channel - 1] = limit;
                Msg(4, "Setting polyphony of channel %d to ", channel);
            }
            if (limit == 0)
                MsgSilent(4, "unlimited.\n");
            else
                MsgSilent(4, "%d.\n", limit);
            break;
        }

        case 's':
            if (!onlyChars(arg, "0123456789,")) {
                printUsage();
                return false;
            }
            for (int n : readList(arg)) {
                if (!validChannel(n))
                    return false;
                if (song->active[n - 1])
                    Msg(6, "Activating already active channel %d.\n", n);
                else
                    Msg(4, "Activating channel %d.\n", n);
                song->active[n - 1] = true;
            }
            break;

        case 't': {
            int value = 0;
            if (!readWhole(arg.c_str(), value)) {
                printUsage();
                return false;
            }
            song->transpose = value;
            Msg(4, "Transposing input by %d.\n", value);
            break;
        }

        case 'u':
            song->upperC = true;
            Msg(4, "Enabling /b#.\n");
            break;

        case 'v': {
            int level = 0;
            if (!readWhole(arg.c_str(), level) || level < 0 || level > 9) {
                printUsage();
                return false;
            }
            // The label without its trailing colon names the level.
            std::string name = Message::msgString[level];
            name.pop_back();
            MsgSilent(1, "%s Setting verbosity to \"%s\".\n", Message::msgString[4], name.c_str());
            Message::instance()->msgLevel = level;
            break;
        }

        default: // unknown letter or missing argument; getopt has complained
            printUsage();
            return false;
        }
    }

    if (song->longChords) {
        for (int ch = 0; ch < Song::channelCount; ++ch) {
            if (song->active[ch] && song->polyphony[ch] == 1) {
                Msg(0, "Cannot use long chords without polyphony! Aborting.\n");
                return false;
            }
        }
    }

    const int remaining = _argc - optind;
    if (remaining < 1 || remaining > 2) {
        printUsage();
        return false;
    }
    inputName = _argv[optind];
    outputName = (remaining == 2) ? std::string(_argv[optind + 1]) : deriveOutputName(inputName);

    // Writing over the input would destroy the MIDI file before it is read.
    if (namesInput(inputName, outputName)) {
        Msg(0, "Cannot write output to the input file \"%s\"! Aborting.\n", outputName.c_str());
        return false;
    }
    return true;
}

void Options::printUsage()
{
    const char* program = "";
    if (_argc > 0 && _argv != nullptr && _argv[0] != nullptr)
        program = _argv[0];

    MsgSilent(0, "Usage: %s [OPTIONS] <INPUT.MID> [OUTPUT.TXT]\n", program);
    MsgSilent(0, "If the output file is missing, the input name with a .TXT extension will be used.\n");
    MsgSilent(0, "If the output file is \"-\", stdout is used.\n");
    MsgSilent(0, "Valid channel numbers are 1..%d.\n", Song::channelCount);
    MsgSilent(0, "Options can appear more than once.\n");
    MsgSilent(0, "\nValid options:\n");
    MsgSilent(0, "  -a              auto-transpose: transpose the lowest note found to \\c\n");
    MsgSilent(0, "  -d C1[,C2...]   disable channels C1..CN\n");
    MsgSilent(0, "  -d all          disable all channels (for combination with -s, obviously)\n");
    MsgSilent(0, "  -e              eliminate identical notes\n");
    MsgSilent(0, "  -h              print this text and exit\n");
    MsgSilent(0, "  -l              allow long chords (as [...]$)\n");
    MsgSilent(0, "  -n              do not use triplets (default: allow triplets)\n");
    MsgSilent(0, "  -m T,C1[,C2...] merge channels C1..CN into target channel T\n");
    MsgSilent(0, "  -m all          merge all channels into target channel 1\n");
    MsgSilent(0, "  -p N | C@N      set number of allowed simultaneous notes to N\n");
    MsgSilent(0, "                  (for all channels/for channel C)\n");
    MsgSilent(0, "                  N=0: unlimited (default: unlimited for all channels)\n");
    MsgSilent(0, "  -s C1[,C2...]   output channels C1..CN only (default: all)\n");
    MsgSilent(0, "  -t N            transpose input by N (can be combined with -a)\n");
    MsgSilent(0, "  -u              allow upper c (as /b#)\n");
    MsgSilent(0, "  -v N            set verbosity level to N (0..%d, default==%d)\n", 9,
              Message::msgLevelDefault);
}
