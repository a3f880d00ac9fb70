// The preview program: reads a macro file (or a bare tune text) and writes
// what its tunes play as a MIDI file; with --against, converts the MIDI
// file in memory and reports where the tunes depart from it; with
// --suggest, ranks switch sets for the MIDI file.
#include "app/FileAccess.h"
#include "app/InputFile.h"
#include "app/OutputFile.h"
#include "convert/MidiComparison.h"
#include "options/PreviewOptions.h"
#include "options/Suggest.h"
#include "tune/Preview.h"
#include "tune/TuneReader.h"

#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace {

// Larger inputs are refused: a macro the game plays is a few kilobytes, and
// the converter's own largest output is far below this.
constexpr std::size_t maxInputBytes = 128u << 20;

void say(std::FILE* to, const std::string& text)
{
    std::fwrite(text.data(), 1, text.size(), to);
}

// The whole file, or nothing, with a message, when it cannot be read or is
// too large.
std::optional<std::vector<unsigned char>> readInput(const std::string& name)
{
    InputBytes input = readInputFile(name, maxInputBytes);
    if (!input.opened || !input.complete) {
        say(stderr, "varn2midi: could not read \"" + name + "\"" +
                        (input.tooLarge ? " (larger than " + std::to_string(maxInputBytes >> 20) + " MB)" : "") +
                        ".\n");
        return std::nullopt;
    }
    return std::move(input.bytes);
}

// The reader's issues on standard error, placed in the input.
void showIssues(const std::string& name, const TuneRead& read)
{
    for (const ReadIssue& issue : read.issues)
        say(stderr, formatIssue(name, issue));
    const std::size_t all = read.errors + read.warnings;
    if (all > read.issues.size())
        say(stderr, name + ": " + std::to_string(all - read.issues.size()) + " more issues not shown.\n");
}

// Writes the whole file or, failing, leaves the old one as it was.
bool writeFile(const std::string& name, const std::string& bytes)
{
    OutputFile file("varn2midi");
    if (!file.open(name, "wb"))
        return false;
    if (std::fwrite(bytes.data(), 1, bytes.size(), file.stream()) != bytes.size())
        return false;
    return file.commit();
}

int writePreview(const PreviewCommandLine& line, const TuneRead& read)
{
    const Preview preview = makePreview(read);
    for (const std::string& remark : preview.remarks)
        say(stderr, "varn2midi: " + remark + "\n");
    if (preview.midi.empty())
        return 1;
    if (!writeFile(line.outputName, preview.midi)) {
        say(stderr, "varn2midi: could not write \"" + line.outputName + "\".\n");
        return 1;
    }
    std::size_t notes = 0;
    for (const PlayedTune& tune : read.tunes)
        notes += tune.notes.size();
    say(stdout, "Wrote \"" + line.outputName + "\": " + std::to_string(read.tunes.size()) +
                    (read.tunes.size() == 1 ? " tune, " : " tunes, ") + std::to_string(notes) + " notes.\n");
    return 0;
}

// Converts the song as the switches say and reports against the input's
// tunes; the report goes to standard output.
int reportAgainst(const PreviewCommandLine& line, const TuneRead& read)
{
    const std::optional<std::vector<unsigned char>> song = readInput(line.songName);
    if (!song)
        return 1;
    const AgainstReport report = reportAgainstMidi(line.settings, line.songName, *song, line.inputName, read);
    say(stderr, report.console);
    if (!report.converted)
        return 1;
    say(stdout, report.text);
    return 0;
}

// Ranks switch sets for the song; the table goes to standard output.
int suggestSwitches(const PreviewCommandLine& line)
{
    const std::optional<std::vector<unsigned char>> song = readInput(line.songName);
    if (!song)
        return 1;
    SuggestRequest request;
    request.switches = line.switches;
    request.players = line.players;
    request.midi = *song;
    const Suggestions suggestions = suggest(request);
    if (!suggestions.converted) {
        say(stderr, suggestions.errors + "varn2midi: could not convert \"" + line.songName + "\".\n");
        return 1;
    }
    say(stdout, formatSuggestions(suggestions));
    return 0;
}

} // namespace

int main(int argc, char* argv[])
{
    const Utf8Console console;
    const std::vector<std::string> args = programArguments(argc, argv);
    const PreviewCommandLine line = parsePreviewOptions(args, namesSameFile);
    say(stdout, line.out);
    say(stderr, line.errors);
    if (!line.proceed)
        return line.status;
    if (line.suggest)
        return suggestSwitches(line);

    const std::optional<std::vector<unsigned char>> text = readInput(line.inputName);
    if (!text)
        return 1;
    const TuneRead read = readTunes(std::string_view(reinterpret_cast<const char*>(text->data()), text->size()));
    showIssues(line.inputName, read);
    if (read.tunes.empty()) {
        say(stderr, "varn2midi: no tune in \"" + line.inputName + "\".\n");
        return 1;
    }
    return line.against ? reportAgainst(line, read) : writePreview(line, read);
}
