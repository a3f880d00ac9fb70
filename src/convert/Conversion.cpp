// The conversion from the MIDI file's bytes to the macro blocks, stage by
// stage, with its console report.
#include "convert/Conversion.h"

#include "arrange/Song.h"
#include "convert/DepartureReport.h"
#include "convert/DepartureTracer.h"
#include "convert/Split.h"
#include "core/LargeMemory.h"
#include "core/Message.h"
#include "core/OrderedTasks.h"
#include "core/Wrap.h"
#include "midi/MidiReader.h"
#include "tune/MacroWriter.h"
#include "tune/OctaveFit.h"
#include "tune/TuneEncoder.h"

#include <array>
#include <exception>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace {

using Tunes = std::array<TuneEncoder, channelCount>;
using Starts = std::array<std::vector<std::size_t>, channelCount>;
using Blocks = std::array<std::string, channelCount>;

// The most characters a tune of `textSize` characters takes as a macro
// block: its lines' frames, and pieces of at least 494 characters.
std::size_t macroSize(std::size_t textSize)
{
    constexpr std::size_t frame = 48;     // "/playthis", braces, channel line, blank line
    constexpr std::size_t perLine = 20;   // two blanks, quotes, "/use ", "/part ", "\r", line end
    return frame + textSize + (textSize / 494 + 1) * perLine;
}

// The transposition of channel `ch`'s tune: the song's, plus with -o the
// octaves that fit the channel into the range. A tracer learns the fit
// either way, for the report's hint.
int channelTranspose(const Song& song, int ch, DepartureTracer* tracer)
{
    const Settings& settings = song.settings;
    if (!settings.fitOctaves && !tracer)
        return song.transpose;
    const OctaveFit fit = fitOctaves(song.channels[ch].elements, song.transpose, settings.upperC);
    if (tracer)
        tracer->fitted(ch, fit);
    if (!settings.fitOctaves || fit.octaves == 0)
        return song.transpose;
    Msg(Level::Output, "Transposing channel %d by %d to fit the range.\n", ch + 1, 12 * fit.octaves);
    return addWrap(song.transpose, 12 * fit.octaves);
}

// One tune per used channel (with -b, its macros joined, and where each
// begins; else with its macro block); a tracer gets the encoder's record
// of each note. A channel's
// elements are freed once its tune is made, so that the tunes do not add
// to the memory the song holds.
void encodeTunes(Song& song, Tunes& tunes, Starts& starts, Blocks& blocks, DepartureTracer* tracer)
{
    const Settings& settings = song.settings;
    // Each channel's options are made right before its tune, so that -o's
    // line stands there; a split song needs them all first.
    const auto optionsOf = [&](int ch) {
        return TuneOptions{channelTranspose(song, ch, tracer), settings.triplets, settings.longChords,
                           settings.upperC, settings.keepInStep};
    };
    ChannelTuneOptions options;
    const bool split = settings.splitParts > 0;
    if (split) {
        for (int ch = 0; ch < channelCount; ++ch)
            if (song.channels[ch].used)
                options[ch] = optionsOf(ch);
        SplitSong pieces = splitSong(song, options, settings.splitParts, tracer);
        // A song with no length to cut (its times wrapped past the int range)
        // gives no pieces: it is written whole rather than lost.
        if (!pieces.cuts.empty()) {
            for (int ch = 0; ch < channelCount; ++ch) {
                tunes[ch].text = std::move(pieces.tunes[ch].text);
                tunes[ch].status = pieces.tunes[ch].status;
                starts[ch] = std::move(pieces.tunes[ch].starts);
            }
            return;
        }
    }
    std::vector<int> used;
    for (int ch = 0; ch < channelCount; ++ch)
        if (song.channels[ch].used)
            used.push_back(ch);
    const auto encodeChannel = [&](std::size_t k) {
        const int ch = used[k];
        tunes[ch].encode(song.channels[ch].elements, split ? options[ch] : optionsOf(ch),
                         tracer ? tracer->written(ch) : nullptr);
        releaseLarge(song.channels[ch].elements);
        // The macro block is made here, beside the other channels' tunes.
        blocks[ch].reserve(macroSize(tunes[ch].text.size()));
        appendMacro(blocks[ch], tunes[ch], ch);
    };
    // The channels' tunes are independent: side by side, unless a tracer
    // follows the notes through them.
    if (tracer)
        for (std::size_t k = 0; k < used.size(); ++k)
            encodeChannel(k);
    else
        runLargestFirst(song.channelSizes(used), encodeChannel);
}

// The text of macro `k` of a split tune.
std::string_view macroText(const std::string& text, const std::vector<std::size_t>& starts, std::size_t k)
{
    const std::size_t end = k + 1 < starts.size() ? starts[k + 1] : text.size();
    return std::string_view(text).substr(starts[k], end - starts[k]);
}

// The tune line of the report and the macro block of channel `ch`: one of
// each per macro when the tune is split (with where each block begins); a
// whole tune's block is made with the tune, where it was encoded.
std::vector<std::size_t> writeTune(TuneEncoder& tune, int ch, const std::vector<std::size_t>& starts, std::string& block)
{
    std::vector<std::size_t> blocks;
    if (starts.empty()) {
        printTune(tune);
        Msg(Level::Output, "Macro version:\n");
        if (block.empty())
            appendMacro(block, tune, ch);
        return blocks;
    }
    for (std::size_t k = 0; k < starts.size(); ++k) {
        MsgText(Level::Output, macroText(tune.text, starts, k));
        MsgText(Level::Output, "\n");
    }
    Msg(Level::Output, "Macro version:\n");
    const std::string channel = "Channel " + std::to_string(ch + 1) + ", macro ";
    const std::string of = " of " + std::to_string(starts.size());
    for (std::size_t k = 0; k < starts.size(); ++k) {
        blocks.push_back(block.size());
        appendBlock(block, macroText(tune.text, starts, k), channel + std::to_string(k + 1) + of);
    }
    return blocks;
}

// The tunes written, read back.
TuneRead readBack(const std::vector<TuneRecord>& tunes)
{
    TuneRead played;
    played.macro = true;
    for (const TuneRecord& tune : tunes)
        readTune(tune.text, tune.channel, played);
    return played;
}

// Each tune's report and macro block, in channel order; the blocks go into
// the console stream for the output "-", else to the request's writer or
// the result, and into the tune records when the request keeps them.
void writeMacros(Tunes& tunes, Starts& starts, Blocks& made, const ConversionRequest& request, Message& message,
                 Conversion& result)
{
    const bool toConsole = request.outputName == "-";
    if (!toConsole && !request.writeOutput) {
        // Room for all blocks at once: grown block by block, a macro text of
        // a few long tunes would hold up to twice its size.
        std::size_t size = 0;
        for (const TuneEncoder& tune : tunes)
            if (!tune.text.empty())
                size += macroSize(tune.text.size());
        for (const auto& macros : starts)
            size += macros.size() * macroSize(0);
        result.macroText.reserve(size);
    }
    std::string block;
    for (int ch = 0; ch < channelCount; ++ch) {
        TuneEncoder& tune = tunes[ch];
        if (tune.text.empty())
            continue;
        Msg(Level::Output, "VARN channel %d:\n", ch + 1);
        block = std::move(made[ch]);
        std::vector<std::size_t> blocks = writeTune(tune, ch, starts[ch], block);
        if (toConsole)
            message.macro(block);
        else if (request.writeOutput)
            request.writeOutput(block);
        else
            result.macroText += block;
        showStatus(tune, ch + 1);
        result.tunes.push_back(TuneRecord{ch + 1, std::move(tune.text), tune.status, request.keepBlocks ? block : "",
                                          std::move(starts[ch]), request.keepBlocks ? std::move(blocks) : std::vector<std::size_t>{}});
    }
}

int run(const ConversionRequest& request, Message& message, Conversion& result)
{
    if (!request.inputRead) {
        report(Code::CannotOpenInput, noChannel, request.inputName.c_str());
        report(Code::CannotParse, noChannel);
        return 1;
    }
    MidiFile file;
    MidiReader reader;
    reader.passed = request.releaseRead;
    const bool parsed = reader.loadSong(request.midi, request.inputName, file);
    if (request.releaseInput)
        request.releaseInput();
    if (!parsed) {
        report(Code::CannotParse, noChannel);
        return 1;
    }

    // The stages in order: arranged into channels, quantised, reported,
    // encoded; the channels' elements are freed once their tunes are made.
    std::optional<DepartureTracer> tracer;
    if (request.wantDepartures)
        tracer.emplace(file.division, request.settings);
    Song song = quantiseChannels(Song(request.settings, std::move(file)), tracer ? &*tracer : nullptr);
    song.print();
    Tunes tunes;
    Starts starts;
    Blocks blocks;
    encodeTunes(song, tunes, starts, blocks, tracer ? &*tracer : nullptr);
    song.releaseChannels();

    // The output is opened only now, so a failed run leaves an existing file alone.
    if (request.openOutput && !request.openOutput()) {
        report(Code::CannotOpenOutput, noChannel, request.outputName.c_str());
        return 1;
    }
    writeMacros(tunes, starts, blocks, request, message, result);
    if (tracer) {
        result.trace = tracer->finish(song);
        result.played = readBack(result.tunes);
        result.departures = reportDepartures(result.trace, result.tunes, result.played);
    }
    return 0;
}

} // namespace

Conversion convert(const ConversionRequest& request, const ConsoleSink& sink)
{
    Conversion result;
    Message message(sink, request.settings.verbosity);
    MessageScope scope(message);
    try {
        for (const ConsoleLine& line : request.preamble)
            if (sink)
                sink(ConsoleText{line.level, false, line.text});
        result.status = run(request, message, result);
    } catch (const std::bad_alloc&) {
        report(Code::OutOfMemory, noChannel);
        result = Conversion{};
    } catch (const std::exception&) {
        report(Code::ConversionFailed, noChannel);
        result = Conversion{};
    }
    message.flush();
    result.diagnostics = std::move(message.diagnostics);
    return result;
}
