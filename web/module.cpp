// The converter for the web page, as a WebAssembly module with a plain C
// interface: one call runs the command-line program on a file in memory
// and keeps what it would print and write until the next call, where the
// page's script reads it.
#include "convert/Conversion.h"
#include "convert/Summary.h"
#include "options/Options.h"

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

    // Appends a piece of standard output at `level` (macro text: `macro`).
    void add(Level level, bool macro, std::string_view piece)
    {
        const auto kind = macro ? macroKind : static_cast<std::uint32_t>(level);
        if (runs_.empty() || runs_.back().kind != kind)
            runs_.push_back(Run{size32(console.size()), 0, kind});
        console.append(piece);
        runs_.back().length += size32(piece.size());
    }

    // The words the script reads: status, then address and length of the
    // standard output, standard error, file text and output name, then
    // address and count of the runs (start, length, kind: level 0..9 or 10
    // for macro text) and of the tunes (channel, status bits, tune text,
    // macro block).
    const std::uint32_t* publish()
    {
        tuneWords_.clear();
        for (const TuneRecord& tune : tunes) {
            tuneWords_.insert(tuneWords_.end(),
                              {size32(static_cast<std::size_t>(tune.channel)), static_cast<std::uint32_t>(tune.status),
                               address(tune.text.data()), size32(tune.text.size()), address(tune.block.data()),
                               size32(tune.block.size())});
        }
        words_ = {static_cast<std::uint32_t>(status),
                  address(console.data()),
                  size32(console.size()),
                  address(errors.data()),
                  size32(errors.size()),
                  address(text.data()),
                  size32(text.size()),
                  address(outputName.data()),
                  size32(outputName.size()),
                  address(runs_.data()),
                  size32(runs_.size()),
                  address(tuneWords_.data()),
                  size32(tunes.size())};
        return words_.data();
    }

private:
    static constexpr std::uint32_t macroKind = 10;
    struct Run {
        std::uint32_t start;
        std::uint32_t length;
        std::uint32_t kind;
    };
    std::vector<Run> runs_;
    std::vector<std::uint32_t> tuneWords_;
    std::vector<std::uint32_t> words_;
};

// The last run's outcome, kept for the script to read.
Outcome last;

// The program's run, as src/app/midi2varn.cpp makes it, with the input's
// bytes in memory (or none: the input could not be opened) and the output
// file's bytes kept instead of written.
void run(const std::vector<std::string>& args, const unsigned char* midi, std::size_t midiSize, bool inputRead,
         Outcome& outcome)
{
    // Without a file system the same-file check compares the names.
    const CommandLine commandLine = parseOptions(args, sameName);
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
    Conversion result =
        convert(request, [&outcome](const ConsoleText& piece) { outcome.add(piece.level, piece.macro, piece.text); });
    outcome.status = result.status;
    if (result.status == 0)
        outcome.text = std::move(result.macroText);
    outcome.tunes = std::move(result.tunes);
}

// The last summary's words, kept for the script to read.
std::uint32_t summaryWords[3 + channelCount];

} // namespace

extern "C" {

// Runs the program with the arguments after its name: `argCount` strings,
// one after the other in `argText`, with their lengths in `argLengths`.
// `midi` holds the input's bytes; `inputRead` 0 stands for an input that
// could not be opened. Returns the words that describe the outcome; they
// and what they point to stay valid until the next call.
const std::uint32_t* m2v_convert(const unsigned char* midi, std::uint32_t midiSize, int inputRead,
                                 const char* argText, const std::uint32_t* argLengths, std::uint32_t argCount)
{
    last = Outcome{};
    std::vector<std::string> args{"midi2varn"};
    std::size_t offset = 0;
    for (std::uint32_t i = 0; i < argCount; ++i) {
        args.emplace_back(argText + offset, argLengths[i]);
        offset += argLengths[i];
    }
    run(args, midi, midiSize, inputRead != 0, last);
    return last.publish();
}

// Sums up the MIDI file `midi`: readable (0 or 1), first tempo, tempo
// changes, then the notes of channels 1 to 16.
const std::uint32_t* m2v_summary(const unsigned char* midi, std::uint32_t midiSize)
{
    const MidiSummary summary = summarize(std::span(midi, midiSize));
    summaryWords[0] = summary.readable ? 1 : 0;
    summaryWords[1] = static_cast<std::uint32_t>(summary.firstTempo);
    summaryWords[2] = static_cast<std::uint32_t>(summary.tempoChanges);
    for (int ch = 0; ch < channelCount; ++ch)
        summaryWords[3 + ch] = static_cast<std::uint32_t>(summary.notes[static_cast<std::size_t>(ch)]);
    return summaryWords;
}

} // extern "C"
