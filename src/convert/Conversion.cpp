// The conversion from the MIDI file's bytes to the macro blocks, stage by
// stage, with its console report.
#include "convert/Conversion.h"

#include "arrange/Song.h"
#include "convert/DepartureReport.h"
#include "convert/DepartureTracer.h"
#include "convert/Split.h"
#include "core/Message.h"
#include "core/WrappingArithmetic.h"
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

// One channel's tune: its text and status, and with -b where each of its
// macros begins in the text (empty when the channel is written whole).
struct ChannelTune {
    TuneEncoder tune;
    std::vector<std::size_t> starts;
};
using Tunes = std::array<ChannelTune, channelCount>;

// Reads the request's MIDI file into `file`; false, with its report, when
// there is none to convert.
bool readMidi(const ConversionRequest& request, MidiFile& file)
{
    if (!request.inputRead) {
        report(Code::CannotOpenInput, noChannel, request.inputName.c_str());
        report(Code::CannotParse, noChannel);
        return false;
    }
    MidiReader reader;
    if (!reader.loadSong(request.midi, request.inputName, file)) {
        report(Code::CannotParse, noChannel);
        return false;
    }
    return true;
}

// The encoder's options of channel `ch`: the song's transposition, with -o
// moved by the octaves that fit the channel into the range. A tracer is
// told the fit either way, for the report's hint.
TuneOptions fitToRange(const Song& song, int ch, DepartureTracer* tracer)
{
    const Settings& settings = song.settings;
    const std::vector<Element>& elements = song.channels[ch].elements;
    if (tracer)
        tracer->fitted(ch, fitOctaves(elements, song.transpose, settings.upperC));
    TuneOptions options{song.transpose, settings.triplets, settings.longChords, settings.upperC, settings.keepInStep};
    // With -P the arrangement has moved each channel already.
    if (!settings.fitOctaves || settings.players != 0)
        return options;
    const OctaveFit fit = fitOctaves(elements, song.transpose, settings.upperC);
    if (fit.octaves != 0) {
        tell(Code::OctaveFit, ch + 1, 12 * fit.octaves);
        options.transpose = addWrap(song.transpose, 12 * fit.octaves);
    }
    return options;
}

// With -b: the used channels cut at the same places into macros, each
// channel's options made first. None for a song with no length to cut (its
// times wrapped past the int range): it is written whole rather than lost.
std::optional<Tunes> encodeSplit(const Song& song, ChannelTuneOptions& options, DepartureTracer* tracer)
{
    for (int ch = 0; ch < channelCount; ++ch)
        if (song.channels[ch].used)
            options[ch] = fitToRange(song, ch, tracer);
    SplitSong pieces = splitSong(song, options, song.settings.splitParts, tracer);
    if (pieces.cuts.empty())
        return std::nullopt;
    Tunes tunes;
    for (int ch = 0; ch < channelCount; ++ch) {
        tunes[ch].tune.text = std::move(pieces.tunes[ch].text);
        tunes[ch].tune.status = pieces.tunes[ch].status;
        tunes[ch].starts = std::move(pieces.tunes[ch].starts);
    }
    return tunes;
}

// One tune per used channel, each channel's options made right before it
// (so that -o's line stands there) unless `options` holds them already. A
// channel's elements are freed once its tune is made.
Tunes encodeWhole(Song& song, const ChannelTuneOptions* options, DepartureTracer* tracer)
{
    Tunes tunes;
    for (int ch = 0; ch < channelCount; ++ch) {
        if (!song.channels[ch].used)
            continue;
        tunes[ch].tune.encode(song.channels[ch].elements, options ? (*options)[ch] : fitToRange(song, ch, tracer),
                              tracer ? tracer->written(ch) : nullptr);
        song.channels[ch].elements = std::vector<Element>();
    }
    return tunes;
}

// The octave fit and the encoding of every used channel, with -b split
// into macros.
Tunes encodeTunes(Song& song, DepartureTracer* tracer)
{
    if (song.settings.splitParts == 0)
        return encodeWhole(song, nullptr, tracer);
    ChannelTuneOptions options;
    std::optional<Tunes> split = encodeSplit(song, options, tracer);
    return split ? std::move(*split) : encodeWhole(song, &options, tracer);
}

// The text of macro `k` of a split tune.
std::string_view macroText(const std::string& text, const std::vector<std::size_t>& starts, std::size_t k)
{
    const std::size_t end = k + 1 < starts.size() ? starts[k + 1] : text.size();
    return std::string_view(text).substr(starts[k], end - starts[k]);
}

// The tune line of the report and the macro block of channel `ch`, into
// `block`: one of each per macro when the tune is split. With -P the block
// is its player's. Returns where each macro's block begins (none for a
// whole tune).
std::vector<std::size_t> writeTune(ChannelTune& channel, int ch, const BandPlan& band, std::string& block)
{
    TuneEncoder& tune = channel.tune;
    const std::vector<std::size_t>& starts = channel.starts;
    std::vector<int> members;
    int player = 0;
    if (band.playerOf[static_cast<std::size_t>(ch)] >= 0) {
        player = band.playerOf[static_cast<std::size_t>(ch)] + 1;
        for (int member : band.players[static_cast<std::size_t>(player - 1)].channels)
            members.push_back(member + 1);
    }
    std::vector<std::size_t> blocks;
    if (starts.empty()) {
        printTune(tune);
        tell(Code::MacroVersion);
        appendMacro(block, tune, blockComment(ch + 1, 0, 0, player, members));
        return blocks;
    }
    for (std::size_t k = 0; k < starts.size(); ++k) {
        MsgText(Level::Output, macroText(tune.text, starts, k));
        MsgText(Level::Output, "\n");
    }
    tell(Code::MacroVersion);
    const int macros = static_cast<int>(starts.size());
    for (std::size_t k = 0; k < starts.size(); ++k) {
        blocks.push_back(block.size());
        appendBlock(block, macroText(tune.text, starts, k),
                    blockComment(ch + 1, static_cast<int>(k) + 1, macros, player, members));
    }
    return blocks;
}

// Each tune's report and macro block, in channel order; the blocks go into
// the console stream for the output "-", else to the request's writer or
// the result, and into the tune records when the request keeps them.
void writeBlocks(Tunes& tunes, const BandPlan& band, const ConversionRequest& request, Message& message,
                 Conversion& result)
{
    // One block's room serves every channel in turn.
    std::string block;
    for (int ch = 0; ch < channelCount; ++ch) {
        ChannelTune& channel = tunes[ch];
        if (channel.tune.text.empty())
            continue;
        tell(Code::VarnChannel, ch + 1);
        block.clear();
        std::vector<std::size_t> blocks = writeTune(channel, ch, band, block);
        if (request.outputName == "-")
            message.macro(block);
        else if (request.writeOutput)
            request.writeOutput(block);
        else
            result.macroText += block;
        showStatus(channel.tune, ch + 1);
        if (!request.keepBlocks)
            blocks.clear();
        result.tunes.push_back(TuneRecord{ch + 1, std::move(channel.tune.text), channel.tune.status,
                                          request.keepBlocks ? block : std::string(), std::move(channel.starts),
                                          std::move(blocks)});
    }
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

int run(ConversionRequest& request, Message& message, Conversion& result)
{
    MidiFile file;
    const bool read = readMidi(request, file);
    request.midi = {};
    request.midiBytes = std::vector<unsigned char>();
    if (!read)
        return 1;
    // The departure tracer only watches each stage's result: the work is
    // the same with it or without.
    std::optional<DepartureTracer> tracer;
    if (request.wantDepartures)
        tracer.emplace(file.division, request.settings);
    DepartureTracer* const observer = tracer ? &*tracer : nullptr;

    Song song(request.settings, std::move(file));
    for (int ch = 0; ch < channelCount; ++ch) {
        if (!song.channels[ch].used)
            continue;
        quantiseChannel(song, ch, observer);
        removeIdenticalNotes(song, ch, observer);
        limitPolyphony(song, ch, observer);
    }
    song.print();
    Tunes tunes = encodeTunes(song, observer);
    song.releaseChannels();
    // The output is opened only now, so a failed run leaves an existing file alone.
    if (request.openOutput && !request.openOutput()) {
        report(Code::CannotOpenOutput, noChannel, request.outputName.c_str());
        return 1;
    }
    writeBlocks(tunes, song.band, request, message, result);
    result.band = song.band;
    if (tracer) {
        result.trace = tracer->finish(song);
        result.played = readBack(result.tunes);
        result.departures = reportDepartures(result.trace, result.tunes, result.played);
        result.fidelity = songFidelity(result.departures);
    }
    return 0;
}

} // namespace

Conversion convert(ConversionRequest request, const ConsoleSink& sink)
{
    if (!request.midiBytes.empty())
        request.midi = request.midiBytes;
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
