#pragma once

#include "convert/Departures.h"

#include <string>

// The name of a kind of departure in the report: "dropped", "held-late".
const char* kindName(DepartureKind kind);

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
