#pragma once

// What the converter's WebAssembly module tells the page's script, by name:
// the contract (every constant of the converter the page uses, and the
// layout of every record and table it hands over) and the descriptions of
// a conversion's roll, its departures and a macro text's notes. Small
// things go as a JSON text; large tables as rows of numbers in one array,
// named in the JSON as [offset in the numbers, count of rows].
#include "convert/Conversion.h"
#include "convert/Fidelity.h"
#include "core/Message.h"
#include "core/Settings.h"
#include "description.h"
#include "rollnotes.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// What the page's piano roll shows of a conversion (see describe.cpp):
// its tables' rows in `numbers`, its note lists in `store`.
std::string describeRoll(const Conversion& result, const Settings& settings, const std::string& outputName,
                         std::vector<double>& numbers, ColumnStore& store);

// A song's fidelity figures as the fields of an object: notes, asWritten,
// played, macros, parts, playsWhole, drums (drum notes played as pitches),
// and the shares as the report shows them, asWrittenShare and playedShare
// ("96%", or "-" without pitched notes).
void songFigures(Description& out, const SongFidelity& song);

// The report lines and plain words of departures `indices` of `channel`:
// {"lines": [...], "words": [...]}, an index out of range giving empty ones.
std::string describeDepartures(const ChannelDepartures& channel, std::span<const std::uint32_t> indices);

// The notes each tune of `text` plays, with the reader's messages.
std::string describePreview(std::string_view text, std::vector<double>& numbers);

// The diagnostics as a JSON array, one object per occurrence kept, in
// order: {code: the code's name, level, channel (0: none), args: the
// integer arguments, count: how often the code occurred in the run,
// internal: whether it is an internal check, text: the console line}.
std::string describeDiagnostics(const Diagnostics& diagnostics);
