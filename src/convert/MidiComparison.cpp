// A departure report against a given text: the MIDI file is converted in
// memory, and the text's tunes are compared with what that conversion meant.
#include "convert/MidiComparison.h"

#include "convert/Conversion.h"
#include "convert/DepartureReport.h"

#include <algorithm>

namespace {

// The channels whose tune in `played` is not the one the conversion wrote.
std::string editedChannels(const std::vector<TuneRecord>& written, const TuneRead& played)
{
    std::string list;
    for (int channel = 1; channel <= 16; ++channel) {
        const auto w = std::find_if(written.begin(), written.end(),
                                    [&](const TuneRecord& r) { return r.channel == channel; });
        const auto p = std::find_if(played.tunes.begin(), played.tunes.end(),
                                    [&](const PlayedTune& t) { return t.channel == channel; });
        const bool inWritten = w != written.end();
        const bool inPlayed = p != played.tunes.end();
        if (inWritten != inPlayed || (inWritten && w->text != p->text))
            list += (list.empty() ? "" : ", ") + std::to_string(channel);
    }
    return list;
}

} // namespace

AgainstReport reportAgainstMidi(const Settings& settings, const std::string& songName,
                                std::span<const unsigned char> midi, const std::string& inputName,
                                const TuneRead& played)
{
    AgainstReport report;
    ConversionRequest request;
    request.settings = settings;
    request.inputName = songName;
    request.midi = midi;
    request.wantDepartures = true;
    // Only why a conversion failed is shown; the rest of its console stays quiet.
    const Conversion conversion = convert(request, [&report](const ConsoleText& piece) {
        if (piece.level == Level::Fatal && !piece.macro)
            report.console += piece.text;
    });
    if (conversion.status != 0) {
        report.console += "varn2midi: could not convert \"" + songName + "\".\n";
        return report;
    }
    report.converted = true;
    report.console.clear();
    const std::string edited = editedChannels(conversion.tunes, played);
    if (!edited.empty())
        report.console += "varn2midi: \"" + inputName + "\" differs from the conversion of \"" + songName +
                          "\" (channel " + edited + "); the report is against \"" + inputName + "\".\n";
    report.text = formatDepartures(reportDepartures(conversion.trace, conversion.tunes, played));
    return report;
}
