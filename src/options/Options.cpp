// Command line: switches are applied in command-line order, each confirmed
// by a message; the remaining arguments name the input and output.
#include "options/Options.h"

#include "options/SwitchNumbers.h"
#include "options/ChannelSwitches.h"
#include "options/FileNames.h"
#include "options/Scanner.h"
#include "options/Usage.h"

#include <algorithm>
#include <cstddef>
#include <sstream>
#include <string>
#include <vector>

namespace {

const char* const banner = "MIDI-to-VARN converter v2.1 - converts Standard MIDI to Varnholt Tune Format\n";

// Started as C:\tools\conv.exe, the program calls itself conv.exe. Only the
// backslash separates here: on POSIX systems the usage line has always shown
// the name as it was started, folders and all.
std::string programName(const std::vector<std::string>& args)
{
    if (args.empty())
        return "";
    const std::size_t slash = args[0].rfind('\\');
    return slash == std::string::npos ? args[0] : args[0].substr(slash + 1);
}

// Arguments reach a program as C strings: each ends at its first zero byte.
std::vector<std::string> asArguments(const std::vector<std::string>& args)
{
    std::vector<std::string> result;
    result.reserve(args.size());
    for (const std::string& arg : args)
        result.emplace_back(arg.c_str());
    return result;
}

// One reading of a command line. Every handler returns false when the run
// stops there, having printed why.
class Parser {
public:
    Parser(const std::vector<std::string>& args, const SameFileCheck& sameFile, Message& recorder,
           CommandLine& result)
        : args_(args), sameFile_(sameFile), recorder_(recorder), result_(result), settings_(result.settings),
          program_(programName(args))
    {
    }

    bool run();

private:
    const std::vector<std::string>& args_;
    const SameFileCheck& sameFile_;
    Message& recorder_;
    CommandLine& result_;
    Settings& settings_;
    std::string program_;

    bool apply(int letter, const std::string& arg);
    bool refuse();
    bool listDone(ListEnd end);

    bool enable(bool& setting, bool value, Code confirmation);
    bool polyphony(const std::string& arg);
    bool transpose(const std::string& arg);
    bool verbosity(const std::string& arg);
    bool split(const std::string& arg);
    bool players(const std::string& arg);
    bool finish(std::size_t first);
};

bool Parser::run()
{
    // Without even a program name there is nothing to scan.
    if (args_.empty())
        return refuse();

    Scanner scanner(args_, switchLetters, program_);
    bool going = true;
    int letter = 0;
    while (going && (letter = scanner.next()) != Scanner::end)
        going = apply(letter, scanner.argument());
    result_.errors = scanner.errors();
    return going && finish(scanner.index());
}

bool Parser::apply(int letter, const std::string& arg)
{
    switch (letter) {
    case 'a':
        return enable(settings_.autoTranspose, true, Code::AutoTranspose);
    case 'b':
        return split(arg);
    case 'c':
        return enable(settings_.keepOuterVoices, true, Code::KeepOuterVoices);
    case 'd':
        if (arg == "all") {
            deactivateAll(settings_);
            return true;
        }
        return listDone(deactivateChannels(settings_, arg));
    case 'e':
        return enable(settings_.eliminateIdentical, true, Code::EliminateIdentical);
    case 'h':
        return refuse();
    case 'k':
        return enable(settings_.keepInStep, true, Code::KeepInStep);
    case 'l':
        return enable(settings_.longChords, true, Code::LongChords);
    case 'm':
        return arg == "all" ? mergeAll(settings_) : listDone(mergeChannels(settings_, arg));
    case 'n':
        return enable(settings_.triplets, false, Code::NoTriplets);
    case 'o':
        return enable(settings_.fitOctaves, true, Code::FitOctaves);
    case 'p':
        return polyphony(arg);
    case 'P':
        return players(arg);
    case 's':
        return listDone(activateChannels(settings_, arg));
    case 't':
        return transpose(arg);
    case 'u':
        return enable(settings_.upperC, true, Code::UpperC);
    case 'v':
        return verbosity(arg);
    default: // an unknown letter or a missing argument; the scanner has complained
        return refuse();
    }
}

// Prints the usage text and stops.
bool Parser::refuse()
{
    report(Code::Usage, noChannel, usageText(program_).c_str());
    return false;
}

bool Parser::listDone(ListEnd end)
{
    if (end == ListEnd::Malformed)
        return refuse();
    return end == ListEnd::Done;
}

// -a, -c, -e, -l, -n, -u
bool Parser::enable(bool& setting, bool value, Code confirmation)
{
    setting = value;
    tell(confirmation);
    return true;
}

// -p N, -p C@N
bool Parser::polyphony(const std::string& arg)
{
    if (!onlyChars(arg, "0123456789@"))
        return refuse();
    std::istringstream in(arg);
    int first = 0;
    if (!(in >> first))
        return refuse();
    int channel = 0; // 1-based; 0 for all channels
    int limit = first;
    if (!in.eof()) {
        channel = first;
        if (!validChannel(channel))
            return false;
        in.get(); // the "@"
        if (!(in >> limit))
            return refuse();
    }
    if (!in.eof())
        return refuse();
    if (channel == 0) {
        settings_.polyphony.fill(limit);
        tell(Code::PolyphonyOfAll);
    } else {
        settings_.polyphony[channel - 1] = limit;
        tell(Code::PolyphonyOfChannel, channel);
    }
    if (limit == 0)
        tell(Code::PolyphonyUnlimited);
    else
        tell(Code::PolyphonyLimit, limit);
    return true;
}

// -t N
bool Parser::transpose(const std::string& arg)
{
    int value = 0;
    if (!readWhole(arg, value))
        return refuse();
    settings_.transpose = value;
    tell(Code::Transposing, value);
    return true;
}

// -v N: the confirmation passes the level in force before the change.
bool Parser::verbosity(const std::string& arg)
{
    int level = 0;
    if (!readWhole(arg, level) || level < 0 || level > 9)
        return refuse();
    // The label without its trailing colon names the level.
    std::string name(levelTable[level].label);
    name.pop_back();
    const std::string output(levelTable[static_cast<int>(Level::Output)].label);
    tell(Code::VerbositySet, output.c_str(), name.c_str());
    recorder_.msgLevel = static_cast<Level>(level);
    settings_.verbosity = recorder_.msgLevel;
    return true;
}

// -b N
bool Parser::split(const std::string& arg)
{
    int parts = 0;
    if (!readWhole(arg, parts) || parts < 1 || parts > maxSplitParts)
        return refuse();
    settings_.splitParts = parts;
    tell(Code::Splitting, parts);
    return true;
}

// -P N
bool Parser::players(const std::string& arg)
{
    int players = 0;
    if (!readWhole(arg, players) || players < 1 || players > channelCount)
        return refuse();
    settings_.players = players;
    tell(Code::Players, players);
    return true;
}

// After the switches: the checks that need all of them, then the file names
// from the arguments at `first` on.
bool Parser::finish(std::size_t first)
{
    if (settings_.longChords) {
        for (int ch = 0; ch < channelCount; ++ch) {
            if (settings_.active[ch] && settings_.polyphony[ch] == 1) {
                report(Code::LongChordsWithoutPolyphony, ch + 1);
                return false;
            }
        }
    }

    // The arrangement makes the merges itself.
    if (settings_.players != 0 &&
        std::any_of(settings_.mergeList.begin(), settings_.mergeList.end(), [](const auto& l) { return !l.empty(); }))
        return refuse();

    const std::size_t remaining = args_.size() - first;
    if (remaining < 1 || remaining > 2)
        return refuse();
    result_.inputName = args_[first];
    result_.outputName = (remaining == 2) ? args_[first + 1] : withExtension(result_.inputName, ".txt");

    // Writing over the input would destroy the MIDI file before it is read.
    if (sameFile_(result_.inputName, result_.outputName)) {
        report(Code::OutputIsInput, noChannel, result_.outputName.c_str());
        return false;
    }
    return true;
}

} // namespace

bool sameName(const std::string& input, const std::string& output)
{
    return output != "-" && output == input;
}

CommandLine parseOptions(const std::vector<std::string>& args, const SameFileCheck& sameFile)
{
    CommandLine result;
    const std::vector<std::string> arguments = asArguments(args);
    {
        // Everything printed is kept in the result, filtered at the verbosity
        // the switches set, for the caller to replay.
        Message recorder(
            [&lines = result.lines](const ConsoleText& piece) {
                lines.push_back(ConsoleLine{piece.level, std::string(piece.text)});
            },
            Level::Output);
        MessageScope scope(recorder);
        MsgText(Level::Fatal, banner);
        result.proceed = Parser(arguments, sameFile, recorder, result).run();
        recorder.flush();
        result.diagnostics = std::move(recorder.diagnostics);
    }
    result.status = result.proceed ? 0 : 1;
    return result;
}
