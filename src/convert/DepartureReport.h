#pragma once

#include "convert/Amounts.h"
#include "convert/Departures.h"
#include "tune/TuneReader.h"

#include <string>
#include <vector>

struct TuneRecord;

// Compares `played` (read-back tunes, matched to channels by number) with
// the trace of the conversion that wrote `written`. A played tune whose
// text differs from the written one is matched letter by letter around the
// change; what the change adds is "added", what it removes is dropped.
std::vector<ChannelDepartures> reportDepartures(const DepartureTrace& trace, const std::vector<TuneRecord>& written,
                                                const TuneRead& played);

// The report as text: per channel one summary line, then its departures,
// one per line, and last the song line (the format the README describes).
std::string formatDepartures(const std::vector<ChannelDepartures>& report);

// A channel's summary line of the report, without its line end.
std::string formatSummary(const ChannelDepartures& channel);

// A departure's line of the report, without its indent and line end:
// "1:1 dropped C4 (polyphony)". Its texts are made only when asked.
std::string formatDeparture(const ChannelDepartures& channel, const Departure& departure);

// Of a departure of `channel`: its place, "BAR:BEAT" or "BAR:BEAT+N/D" (a
// fraction of a beat); its detail, the note and the amounts ("C4 -1/3
// (rounding -1/3, drift 0)"); and what happened in plain words ("dropped by
// the polyphony limit of 3").
std::string departurePlace(const ChannelDepartures& channel, const Departure& departure);
std::string departureDetail(const ChannelDepartures& channel, const Departure& departure);
std::string departureWords(const ChannelDepartures& channel, const Departure& departure);
