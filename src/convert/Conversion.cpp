// The conversion from the MIDI file's bytes to the macro blocks, stage by
// stage, with its console report.
#include "convert/Conversion.h"

#include "arrange/Song.h"
#include "convert/DepartureTracer.h"
#include "core/Message.h"
#include "core/Wrap.h"
#include "midi/ParserMID.h"
#include "tune/OctaveFit.h"
#include "tune/VARN.h"

#include <array>
#include <exception>
#include <new>
#include <optional>

namespace {

using Tunes = std::array<VARN, channelCount>;

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

// One tune per used channel; a tracer gets the encoder's record of each note.
void createVARN(const Song& song, Tunes& tunes, DepartureTracer* tracer)
{
    const Settings& settings = song.settings;
    for (int ch = 0; ch < channelCount; ++ch)
        if (song.channels[ch].used)
            tunes[ch].create(song.channels[ch].elements,
                             TuneOptions{channelTranspose(song, ch, tracer), settings.triplets, settings.longChords,
                                         settings.upperC, settings.keepInStep},
                             tracer ? tracer->written(ch) : nullptr);
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
void printVARN(Tunes& tunes, const ConversionRequest& request, Message& message, Conversion& result)
{
    const bool toConsole = request.outputName == "-";
    if (!toConsole && !request.writeOutput) {
        // Room for all blocks at once: grown block by block, a macro text of
        // a few long tunes would hold up to twice its size.
        std::size_t size = 0;
        for (const VARN& tune : tunes)
            if (!tune.text.empty())
                size += macroSize(tune.text.size());
        result.macroText.reserve(size);
    }
    std::string block;
    for (int ch = 0; ch < channelCount; ++ch) {
        VARN& tune = tunes[ch];
        if (tune.text.empty())
            continue;
        Msg(Level::Output, "VARN channel %d:\n", ch + 1);
        tune.print();
        Msg(Level::Output, "Macro version:\n");
        block.clear();
        tune.printMacro(block, ch);
        if (toConsole)
            message.macro(block);
        else if (request.writeOutput)
            request.writeOutput(block);
        else
            result.macroText += block;
        tune.showStatus();
        result.tunes.push_back(TuneRecord{ch + 1, std::move(tune.text), tune.status, request.keepBlocks ? block : ""});
    }
}

int run(const ConversionRequest& request, Message& message, Conversion& result)
{
    if (!request.inputRead) {
        Msg(Level::Fatal, "Could not open \"%s\".\n", request.inputName.c_str());
        Msg(Level::Fatal, "Could not parse MIDI file.\n");
        return 1;
    }
    MidiFile file;
    const bool parsed = ParserMID().loadSong(request.midi, request.inputName, file);
    if (request.releaseInput)
        request.releaseInput();
    if (!parsed) {
        Msg(Level::Fatal, "Could not parse MIDI file.\n");
        return 1;
    }

    Song song(request.settings, std::move(file));
    song.sortToChannels();
    std::optional<DepartureTracer> tracer;
    if (request.wantDepartures)
        tracer.emplace(song.division, request.settings);
    song.smoothChannels(tracer ? &*tracer : nullptr);
    song.print();
    Tunes tunes;
    createVARN(song, tunes, tracer ? &*tracer : nullptr);
    // The channels' elements are written out; only the tracer reads them again.
    if (!tracer)
        song.releaseChannels();

    // The output is opened only now, so a failed run leaves an existing file alone.
    if (request.openOutput && !request.openOutput()) {
        Msg(Level::Fatal, "Could not open \"%s\".\n", request.outputName.c_str());
        return 1;
    }
    printVARN(tunes, request, message, result);
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
        Msg(Level::Fatal, "Out of memory.\n");
        result = Conversion{};
    } catch (const std::exception&) {
        Msg(Level::Fatal, "Conversion failed.\n");
        result = Conversion{};
    }
    message.flush();
    return result;
}
