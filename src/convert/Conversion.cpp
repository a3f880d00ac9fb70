// The conversion from the MIDI file's bytes to the macro blocks, stage by
// stage, with its console report.
#include "convert/Conversion.h"

#include "arrange/Song.h"
#include "core/Message.h"
#include "midi/ParserMID.h"
#include "tune/VARN.h"

#include <array>
#include <exception>
#include <new>

namespace {

using Tunes = std::array<VARN, channelCount>;

// One tune per used channel.
void createVARN(const Song& song, Tunes& tunes)
{
    const Settings& settings = song.settings;
    for (int ch = 0; ch < channelCount; ++ch)
        if (song.channels[ch].used)
            tunes[ch].create(song.channels[ch].elements, TuneOptions{song.transpose, settings.triplets,
                                                                     settings.longChords, settings.upperC,
                                                                     settings.keepInStep});
}

// Each tune's report and macro block, in channel order; the blocks go into
// the console stream for the output "-", else to the request's writer or
// the result, and into the tune records when the request keeps them.
void printVARN(Tunes& tunes, const ConversionRequest& request, Message& message, Conversion& result)
{
    const bool toConsole = request.outputName == "-";
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
    if (!ParserMID().loadSong(request.midi, request.inputName, file)) {
        Msg(Level::Fatal, "Could not parse MIDI file.\n");
        return 1;
    }

    Song song(request.settings, std::move(file));
    song.sortToChannels();
    song.smoothChannels();
    song.print();
    Tunes tunes;
    createVARN(song, tunes);

    // The output is opened only now, so a failed run leaves an existing file alone.
    if (request.openOutput && !request.openOutput()) {
        Msg(Level::Fatal, "Could not open \"%s\".\n", request.outputName.c_str());
        return 1;
    }
    printVARN(tunes, request, message, result);
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
