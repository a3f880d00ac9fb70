// The converter for the web page, as a WebAssembly module with a plain C
// interface: one call runs the command-line program on a file in memory
// and keeps what it would print and write (and, for the page's piano roll,
// where each note went) until the next call, where the page's script reads
// it; others read a macro text back, as varn2midi does. Every record the
// script reads is laid out as describe.h names it, and m2v_contract hands
// the script those names with the converter's constants.
#include "contract.h"
#include "describe.h"

#include "convert/Conversion.h"
#include "convert/Summary.h"
#include "options/Options.h"
#include "tune/MacroWriter.h"
#include "tune/Preview.h"
#include "tune/TuneReader.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

static_assert(sizeof(void*) == 4, "the interface passes addresses as 32-bit words");

namespace {

std::uint32_t address(const void* p)
{
    return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(p));
}

std::uint32_t size32(std::size_t n)
{
    return static_cast<std::uint32_t>(n);
}

// A record of `layout`, written field by field.
template <const auto& layout> using Record = std::array<std::uint32_t, widthOf(layout)>;

// What one run gives: exit status, standard output, standard error, the
// output file's bytes, and the tunes. Standard output is also described as
// runs of consecutive pieces of one level (or of macro text), so that the
// page can tell the levels apart without scanning the text again.
class Outcome {
public:
    int status = 1;
    std::string console;
    std::string errors;
    std::string text;
    std::string outputName;
    std::vector<TuneRecord> tunes;
    // With the roll asked for: its description, numbers and note lists, and each
    // channel's departures, whose lines the script asks for when shown.
    std::string roll;
    std::vector<double> rollNumbers;
    ColumnStore rollColumns;
    std::vector<ChannelDepartures> departures;

    // Appends a piece of standard output at `level` (macro text: `macro`).
    void add(Level level, bool macro, std::string_view piece)
    {
        const auto kind = macro ? macroRun : static_cast<std::uint32_t>(level);
        if (runs_.empty() || runs_.back()[2] != kind)
            runs_.push_back({size32(console.size()), 0, kind});
        console.append(piece);
        runs_.back()[1] += size32(piece.size());
    }

    // The words the script reads (layouts::outcome), with the runs
    // (layouts::run) and the tunes (layouts::tune: one entry per macro of a
    // split channel).
    const std::uint32_t* publish();

private:
    std::vector<std::array<std::uint32_t, widthOf(layouts::run)>> runs_;
    std::vector<std::uint32_t> tuneWords_;
    Record<layouts::outcome> words_;

    // One entry of the tunes: macro `macro` of the tune (0: the whole tune).
    void addTune(const TuneRecord& tune, std::string_view text, std::string_view block, std::size_t macro)
    {
        Record<layouts::tune> entry;
        entry[fieldAt(layouts::tune, "channel")] = size32(static_cast<std::size_t>(tune.channel));
        entry[fieldAt(layouts::tune, "status")] = bitsOf(tune.status);
        entry[fieldAt(layouts::tune, "textAt")] = address(text.data());
        entry[fieldAt(layouts::tune, "textLength")] = size32(text.size());
        entry[fieldAt(layouts::tune, "blockAt")] = address(block.data());
        entry[fieldAt(layouts::tune, "blockLength")] = size32(block.size());
        entry[fieldAt(layouts::tune, "macro")] = size32(macro);
        entry[fieldAt(layouts::tune, "macros")] = size32(macro == 0 ? 0 : tune.pieces.size());
        entry[fieldAt(layouts::tune, "parts")] = size32(static_cast<std::size_t>(std::max(0, partsOf(text))));
        tuneWords_.insert(tuneWords_.end(), entry.begin(), entry.end());
    }
};

const std::uint32_t* Outcome::publish()
{
    static_assert(sizeof(runs_[0]) == 4 * widthOf(layouts::run));
    tuneWords_.clear();
    for (const TuneRecord& tune : tunes) {
        if (tune.pieces.empty() || tune.blocks.size() != tune.pieces.size()) {
            addTune(tune, tune.text, tune.block, 0);
            continue;
        }
        for (std::size_t k = 0; k < tune.pieces.size(); ++k) {
            const std::size_t text = k + 1 < tune.pieces.size() ? tune.pieces[k + 1] : tune.text.size();
            const std::size_t block = k + 1 < tune.blocks.size() ? tune.blocks[k + 1] : tune.block.size();
            addTune(tune, std::string_view(tune.text).substr(tune.pieces[k], text - tune.pieces[k]),
                    std::string_view(tune.block).substr(tune.blocks[k], block - tune.blocks[k]), k + 1);
        }
    }
    words_[fieldAt(layouts::outcome, "status")] = static_cast<std::uint32_t>(status);
    words_[fieldAt(layouts::outcome, "consoleAt")] = address(console.data());
    words_[fieldAt(layouts::outcome, "consoleLength")] = size32(console.size());
    words_[fieldAt(layouts::outcome, "errorsAt")] = address(errors.data());
    words_[fieldAt(layouts::outcome, "errorsLength")] = size32(errors.size());
    words_[fieldAt(layouts::outcome, "textAt")] = address(text.data());
    words_[fieldAt(layouts::outcome, "textLength")] = size32(text.size());
    words_[fieldAt(layouts::outcome, "nameAt")] = address(outputName.data());
    words_[fieldAt(layouts::outcome, "nameLength")] = size32(outputName.size());
    words_[fieldAt(layouts::outcome, "runsAt")] = address(runs_.data());
    words_[fieldAt(layouts::outcome, "runsCount")] = size32(runs_.size());
    words_[fieldAt(layouts::outcome, "tunesAt")] = address(tuneWords_.data());
    words_[fieldAt(layouts::outcome, "tunesCount")] = size32(tuneWords_.size() / widthOf(layouts::tune));
    words_[fieldAt(layouts::outcome, "rollAt")] = address(roll.data());
    words_[fieldAt(layouts::outcome, "rollLength")] = size32(roll.size());
    words_[fieldAt(layouts::outcome, "rollNumbersAt")] = address(rollNumbers.data());
    words_[fieldAt(layouts::outcome, "rollNumbersCount")] = size32(rollNumbers.size());
    words_[fieldAt(layouts::outcome, "rollColumnsAt")] = address(rollColumns.data());
    words_[fieldAt(layouts::outcome, "rollColumnsLength")] = size32(rollColumns.size());
    return words_.data();
}

// The last run's outcome, kept for the script to read.
Outcome last;

// The last run's diagnostics (those of its command line, then those of its
// conversion), kept for the script to read.
Diagnostics lastDiagnostics;

// The program's run, as src/app/midi2varn.cpp makes it, with the input's
// bytes in memory (or none: the input could not be opened) and the output
// file's bytes kept instead of written.
void run(const std::vector<std::string>& args, const unsigned char* midi, std::size_t midiSize, bool inputRead,
         bool wantRoll, Outcome& outcome)
{
    // Without a file system the same-file check compares the names.
    const CommandLine commandLine = parseOptions(args, sameName);
    lastDiagnostics = commandLine.diagnostics;
    outcome.errors = commandLine.errors;
    if (!commandLine.proceed) {
        for (const ConsoleLine& line : commandLine.lines)
            outcome.add(line.level, false, line.text);
        outcome.status = commandLine.status;
        return;
    }
    outcome.outputName = commandLine.outputName;
    ConversionRequest request;
    request.settings = commandLine.settings;
    request.inputName = commandLine.inputName;
    request.outputName = commandLine.outputName;
    request.inputRead = inputRead;
    if (inputRead)
        request.midi = std::span(midi, midiSize);
    request.preamble = commandLine.lines;
    request.keepBlocks = true; // the page offers each channel's block on its own
    request.wantDepartures = wantRoll;
    Conversion result =
        convert(request, [&outcome](const ConsoleText& piece) { outcome.add(piece.level, piece.macro, piece.text); });
    outcome.status = result.status;
    lastDiagnostics.append(result.diagnostics);
    if (wantRoll && result.status == 0) {
        outcome.roll = describeRoll(result, commandLine.settings, commandLine.outputName, outcome.rollNumbers,
                                    outcome.rollColumns);
        outcome.departures = std::move(result.departures);
    }
    if (result.status == 0)
        outcome.text = std::move(result.macroText);
    outcome.tunes = std::move(result.tunes);
}

// The last summary's words, kept for the script to read.
Record<layouts::summary> summaryWords;

// The last description (contract, preview, departures) and its numbers, or
// preview file and its remarks, kept for the script to read.
std::string descriptionText;
std::vector<double> descriptionNumbers;
std::string previewRemarks;
Record<layouts::description> descriptionWords;
Record<layouts::previewFile> previewFileWords;

const std::uint32_t* publishDescription()
{
    descriptionWords[fieldAt(layouts::description, "at")] = address(descriptionText.data());
    descriptionWords[fieldAt(layouts::description, "length")] = size32(descriptionText.size());
    descriptionWords[fieldAt(layouts::description, "numbersAt")] = address(descriptionNumbers.data());
    descriptionWords[fieldAt(layouts::description, "numbersCount")] = size32(descriptionNumbers.size());
    return descriptionWords.data();
}

} // namespace

extern "C" {

// The contract, as a description (layouts::description) without numbers:
// the converter's constants the page uses and the layouts of what it reads.
const std::uint32_t* m2v_contract()
{
    descriptionNumbers.clear();
    descriptionText = describeContract();
    return publishDescription();
}

// Runs the program with the arguments after its name: `argCount` strings,
// one after the other in `argText`, with their lengths in `argLengths`.
// `midi` holds the input's bytes; `inputRead` 0 stands for an input that
// could not be opened. Returns the words that describe the outcome; they
// and what they point to stay valid until the next call.
// With `wantRoll`, every note is also followed through the conversion for
// the piano roll (see describeRoll).
const std::uint32_t* m2v_convert(const unsigned char* midi, std::uint32_t midiSize, int inputRead,
                                 const char* argText, const std::uint32_t* argLengths, std::uint32_t argCount,
                                 int wantRoll)
{
    last = Outcome{};
    std::vector<std::string> args{"midi2varn"};
    std::size_t offset = 0;
    for (std::uint32_t i = 0; i < argCount; ++i) {
        args.emplace_back(argText + offset, argLengths[i]);
        offset += argLengths[i];
    }
    run(args, midi, midiSize, inputRead != 0, wantRoll != 0, last);
    return last.publish();
}

// The report lines and words of departures `indices` (`count` of them) of
// the last conversion's channel `channel`, as a description; none when the
// channel has no departures.
const std::uint32_t* m2v_departures(std::uint32_t channel, const std::uint32_t* indices, std::uint32_t count)
{
    descriptionNumbers.clear();
    descriptionText.clear();
    const auto found = std::find_if(last.departures.begin(), last.departures.end(),
                                    [channel](const ChannelDepartures& c) { return c.channel == int(channel); });
    if (found != last.departures.end())
        descriptionText = describeDepartures(*found, std::span(indices, count));
    return publishDescription();
}

// The last run's diagnostics, as a description without numbers (see
// describeDiagnostics).
const std::uint32_t* m2v_diagnostics()
{
    descriptionNumbers.clear();
    descriptionText = describeDiagnostics(lastDiagnostics);
    return publishDescription();
}

// Sums up the MIDI file `midi` (layouts::summary).
const std::uint32_t* m2v_summary(const unsigned char* midi, std::uint32_t midiSize)
{
    const MidiSummary summary = summarize(std::span(midi, midiSize));
    summaryWords[fieldAt(layouts::summary, "readable")] = summary.readable ? 1 : 0;
    summaryWords[fieldAt(layouts::summary, "firstTempo")] = static_cast<std::uint32_t>(summary.firstTempo);
    summaryWords[fieldAt(layouts::summary, "tempoChanges")] = static_cast<std::uint32_t>(summary.tempoChanges);
    constexpr std::size_t notes = fieldAt(layouts::summary, "notes");
    for (std::size_t ch = 0; ch < summary.notes.size(); ++ch)
        summaryWords[notes + ch] = static_cast<std::uint32_t>(summary.notes[ch]);
    return summaryWords.data();
}

// The notes a macro text (or a bare tune text) plays, tune by tune, as a
// description (see describePreview).
const std::uint32_t* m2v_preview(const char* text, std::uint32_t size)
{
    descriptionNumbers.clear();
    descriptionText = describePreview(std::string_view(text, size), descriptionNumbers);
    return publishDescription();
}

// The preview file varn2midi writes for a macro text (layouts::previewFile):
// its bytes (none when the text holds no tune or is too long for a MIDI
// file), then its remarks, one a line.
const std::uint32_t* m2v_preview_file(const char* text, std::uint32_t size)
{
    const TuneRead read = readTunes(std::string_view(text, size));
    Preview preview;
    if (!read.tunes.empty())
        preview = makePreview(read);
    else
        preview.remarks.push_back("The text holds no tune.");
    descriptionText = std::move(preview.midi);
    previewRemarks.clear();
    for (const std::string& remark : preview.remarks)
        previewRemarks += remark + "\n";
    previewFileWords[fieldAt(layouts::previewFile, "bytesAt")] = address(descriptionText.data());
    previewFileWords[fieldAt(layouts::previewFile, "bytesLength")] = size32(descriptionText.size());
    previewFileWords[fieldAt(layouts::previewFile, "remarksAt")] = address(previewRemarks.data());
    previewFileWords[fieldAt(layouts::previewFile, "remarksLength")] = size32(previewRemarks.size());
    return previewFileWords.data();
}

} // extern "C"
