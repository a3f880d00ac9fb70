#pragma once

#include "convert/AmountText.h"
#include "convert/DepartureText.h"
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
