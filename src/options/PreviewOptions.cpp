// varn2midi's command line: the preview's file names, or --against with the
// converter's own switches.
#include "options/PreviewOptions.h"

#include "arrange/Band.h"
#include "options/FileNames.h"
#include "options/SwitchNumbers.h"

#include <cstddef>

namespace {

PreviewCommandLine refused(const std::string& program, const std::string& why)
{
    PreviewCommandLine result;
    result.errors = program + ": " + why + "\n" + "Try \"" + program + " -h\".\n";
    return result;
}

// Reads the converter's `switches` for `result.songName` as its own command
// line would read them, into `result`; a refusal goes to its errors.
PreviewCommandLine& readSwitches(PreviewCommandLine& result, const std::vector<std::string>& switches,
                                 const std::string& program, const char* option)
{
    std::vector<std::string> converter{"midi2varn"};
    converter.insert(converter.end(), switches.begin(), switches.end());
    converter.push_back(result.songName);
    converter.push_back("-"); // nothing is written: no output name can be refused
    const CommandLine line = parseOptions(converter);
    if (!line.proceed) {
        result.errors = line.errors;
        // The banner and confirmations stay out; the refusal and usage stay in.
        for (std::size_t i = 1; i < line.lines.size(); ++i)
            if (line.lines[i].level == Level::Fatal)
                result.errors += line.lines[i].text;
        result.errors += program + ": the converter's switches after " + option + " were refused.\n";
        return result;
    }
    result.settings = line.settings;
    result.proceed = true;
    result.status = 0;
    return result;
}

// --against SONG.mid [switches] INPUT.txt: a report of INPUT against SONG.
PreviewCommandLine againstLine(const std::vector<std::string>& args, const std::string& program)
{
    if (args.size() < 4)
        return refused(program, "--against needs a MIDI file and then the macro file");
    PreviewCommandLine result;
    result.against = true;
    result.songName = args[2];
    result.inputName = args.back();
    return readSwitches(result, std::vector<std::string>(args.begin() + 3, args.end() - 1), program, "--against");
}

// --suggest SONG.mid [switches]: the switches are kept as given, for the
// candidates built on them.
PreviewCommandLine suggestLine(const std::vector<std::string>& args, const std::string& program)
{
    if (args.size() < 3)
        return refused(program, "--suggest needs a MIDI file");
    PreviewCommandLine result;
    result.suggest = true;
    result.songName = args[2];
    std::size_t first = 3;
    if (args.size() > first && args[first] == "--players") {
        int players = 0;
        if (args.size() <= first + 1 || !readWhole(args[first + 1], players) || players < 1 || players > maxPlayers)
            return refused(program, "--players needs a number of players from 1 to " + std::to_string(maxPlayers));
        result.players = players;
        first += 2;
    }
    result.switches.assign(args.begin() + static_cast<std::ptrdiff_t>(first), args.end());
    return readSwitches(result, result.switches, program, "--suggest");
}

} // namespace

PreviewCommandLine parsePreviewOptions(const std::vector<std::string>& args, const SameFileCheck& sameFile)
{
    const std::string program = args.empty() ? "varn2midi" : fileNamePart(args[0]);
    if (args.size() < 2)
        return refused(program, "no input file");
    if (args[1] == "-h" || args[1] == "--help") {
        PreviewCommandLine result;
        result.out = previewUsage(program);
        result.status = 0;
        return result;
    }
    if (args[1] == "--against")
        return againstLine(args, program);
    if (args[1] == "--suggest")
        return suggestLine(args, program);
    std::size_t first = 1;
    if (args[1] == "--")
        ++first;
    else if (args[1].size() > 1 && args[1][0] == '-')
        return refused(program, "unknown option \"" + args[1] + "\"");
    const std::size_t names = args.size() - first;
    if (names < 1)
        return refused(program, "no input file");
    if (names > 2)
        return refused(program, "too many arguments (one input file, at most one output file)");
    PreviewCommandLine result;
    result.inputName = args[first];
    result.outputName = names == 2 ? args[first + 1] : withExtension(result.inputName, previewExtension);
    // The input is never written over, whatever name it goes by.
    if (result.outputName == result.inputName || sameFile(result.inputName, result.outputName))
        return refused(program, "the output \"" + result.outputName + "\" would overwrite the input");
    result.proceed = true;
    result.status = 0;
    return result;
}

std::string previewUsage(const std::string& program)
{
    return "Usage: " + program + " [-h] <INPUT.TXT> [OUTPUT.MID]\n" +
           "       " + program + " --against <SONG.MID> [CONVERTER OPTIONS] <INPUT.TXT>\n" +
           "       " + program + " --suggest <SONG.MID> [--players N] [CONVERTER OPTIONS]\n"
           "Writes what the tunes of a macro file (or a bare tune text) play as a MIDI file.\n"
           "If the output file is missing, the input name with a .preview.mid extension is used.\n"
           "\n"
           "Options:\n"
           "  -h              print this text and exit\n"
           "  --against SONG  convert SONG with the converter's options (see midi2varn -h) and\n"
           "                  report, per channel and note, where the tunes of INPUT depart from\n"
           "                  SONG; no file is written\n"
           "  --suggest SONG  convert SONG under a few sets of switches built on the given ones\n"
           "                  and rank them by the share of notes played as written; the last\n"
           "                  line is the best set alone (empty: no switches); no file is\n"
           "                  written\n"
           "  --players N     with --suggest: rank only sets that need at most N players, and\n"
           "                  add sets with -P N; a set without -P needs one player per\n"
           "                  channel it writes\n";
}
