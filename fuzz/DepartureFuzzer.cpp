// Fuzz target for the departure tracer: the pipeline's input (see
// PipelineInput.h) converted with every note followed through the
// conversion, then reported against the tunes as written and against the
// tunes with one letter cut out (as a player's edit would). Every index a
// departure names lies inside its tables, the counts add up, the places
// keep their order, and every line can be written.
#include "PipelineInput.h"

#include "convert/Conversion.h"
#include "convert/DepartureReport.h"
#include "tune/TuneReader.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <numeric>
#include <optional>
#include <vector>

namespace {

void check(bool condition)
{
    if (!condition)
        std::abort();
}

void checkReport(const std::vector<ChannelDepartures>& report, const DepartureTrace& trace, const TuneRead& played)
{
    check(report.size() <= trace.channels.size() + played.tunes.size());
    for (const ChannelDepartures& channel : report) {
        check(channel.channel >= 1 && channel.channel <= 16);
        check(std::accumulate(channel.counts.begin(), channel.counts.end(), std::size_t{0}) ==
              channel.departures.size());
        std::int64_t last = INT64_MIN;
        for (const Departure& d : channel.departures) {
            check(static_cast<std::size_t>(d.kind) < departureKinds);
            check(d.note == noNote || d.note < channel.notesIn);
            check(d.played == noNote || d.played < channel.notesPlayed);
            check(d.position >= last && !departurePlace(channel, d).empty() && !departureWords(channel, d).empty());
            last = d.position;
            check(!formatDeparture(channel, d).empty());
        }
        check(!formatSummary(channel).empty());
    }
    formatDepartures(report);
}

// The tunes with one letter cut out of the first one, at a place the input picks.
TuneRead edited(const std::vector<TuneRecord>& tunes, std::size_t pick)
{
    TuneRead read;
    read.macro = true;
    for (std::size_t i = 0; i < tunes.size(); ++i) {
        std::string text = tunes[i].text;
        if (i == 0 && !text.empty())
            text.erase(pick % text.size(), 1);
        readTune(text, tunes[i].channel, read);
    }
    return read;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::optional<ConversionRequest> request = pipelineRequest(data, size);
    if (!request)
        return 0;
    request->wantDepartures = true;
    const Conversion result = convert(*request, [](const ConsoleText&) {});
    if (result.status != 0) {
        check(result.tunes.empty());
        return 0;
    }
    // Every tune's channel was followed. A followed channel may have no tune:
    // split into macros, all its notes can lie past the last macro there is.
    check(result.trace.channels.size() >= result.tunes.size());
    for (const TuneRecord& tune : result.tunes)
        check(std::any_of(result.trace.channels.begin(), result.trace.channels.end(),
                          [&tune](const ChannelTrace& c) { return c.channel == tune.channel; }));
    check(result.played.tunes.size() <= result.tunes.size());
    checkReport(result.departures, result.trace, result.played);

    const TuneRead played = edited(result.tunes, size);
    checkReport(reportDepartures(result.trace, result.tunes, played), result.trace, played);
    return 0;
}
