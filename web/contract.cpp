#include "contract.h"

#include "describe.h"

#include "convert/AmountText.h"
#include "convert/Departures.h"
#include "core/Element.h"
#include "core/Settings.h"
#include "core/Message.h"
#include "tune/MacroWriter.h"
#include "tune/TuneText.h"

#include <array>
#include <iterator>
#include <utility>

namespace {

// The names the page knows the converter's values by.
constexpr std::pair<std::string_view, TuneStatus> statusNames[] = {
    {"tooLow", TuneStatus::TooLow},          {"tooHigh", TuneStatus::TooHigh},
    {"tempoTooSlow", TuneStatus::TempoTooSlow}, {"tempoTooFast", TuneStatus::TempoTooFast},
    {"tooShort", TuneStatus::TooShort},      {"tooLong", TuneStatus::TooLong},
    {"macroTooLong", TuneStatus::MacroTooLong}};
constexpr std::pair<std::string_view, DepartureKind> kindNames[] = {
    {"dropped", DepartureKind::Dropped}, {"start", DepartureKind::Start},       {"length", DepartureKind::Length},
    {"pitch", DepartureKind::Pitch},     {"heldLate", DepartureKind::HeldLate}, {"stuck", DepartureKind::Stuck},
    {"tempo", DepartureKind::Tempo},     {"added", DepartureKind::Added},       {"drum", DepartureKind::Drum}};
static_assert(std::size(kindNames) == departureKinds);
constexpr std::pair<std::string_view, Fate> fateNames[] = {
    {"written", Fate::Written}, {"identical", Fate::Identical}, {"polyphony", Fate::Polyphony}, {"cut", Fate::Cut}};
static_assert(macroRun == levelCount);

constexpr std::pair<std::string_view, Layout> allLayouts[] = {
    {"outcome", layouts::outcome}, {"run", layouts::run},
    {"tune", layouts::tune},       {"summary", layouts::summary},
    {"description", layouts::description}, {"previewFile", layouts::previewFile},
    {"played", layouts::played},   {"departure", layouts::departure}};

// An object of names and values.
template <typename Pairs> void namedValues(Description& out, std::string_view name, const Pairs& pairs)
{
    out.key(name);
    out.object([&] {
        for (const auto& [key, value] : pairs) {
            out.key(key);
            out.integer(static_cast<std::int64_t>(value));
        }
    });
}

void contractLevels(Description& out)
{
    out.key("levels");
    out.array([&] {
        for (const LevelInfo& level : levelTable)
            out.object([&] {
                out.key("name");
                out.string(level.name);
                out.key("label");
                out.string(level.label);
            });
    });
    out.key("macroRun");
    out.integer(macroRun);
    out.key("layouts");
    out.object([&] {
        for (const auto& [name, fields] : allLayouts) {
            out.key(name);
            // Not every compiler used here lets a lambda capture a structured binding.
            const Layout layout = fields;
            out.array([&] {
                for (const Field& field : layout)
                    out.array([&] {
                        out.string(field.name);
                        out.raw("," + std::to_string(field.words));
                    });
            });
        }
    });
    out.key("columns");
    out.object([&] {
        out.key("noteList");
        out.array([&] {
            for (const Column& column : columns::noteList)
                out.array([&] {
                    out.string(column.name);
                    out.raw(",");
                    out.string(column.type);
                });
        });
    });
}

} // namespace

// Constants the page uses: the channels and the drum channel, the notation's range (with and
// without the upper c), the parts a macro plays, the most parts -b takes,
// the text cap, the tempi and longest note the notation plays, the default
// verbosity, the names of the tune's status flags, the departure kinds, the
// fates of a note, a played note's flags, the levels with their labels, the
// layouts and the note lists' columns, and the names of the diagnostics'
// codes.
std::string describeContract()
{
    Description out;
    out.object([&] {
        out.key("channels");
        out.integer(channelCount);
        out.key("drumChannel");
        out.integer(drumChannel);
        out.key("range");
        out.object([&] {
            out.key("lowest");
            out.integer(lowestNote);
            out.key("highest");
            out.integer(highestNote);
            out.key("highestUpperC");
            out.integer(highestNote + 1);
        });
        out.key("partLimit");
        out.integer(gameParts);
        out.key("maxSplitParts");
        out.integer(maxSplitParts);
        out.key("textCap");
        out.integer(TuneText::maxText);
        out.key("tempo");
        out.object([&] {
            out.key("slowest");
            out.integer(slowestTempo);
            out.key("fastest");
            out.integer(fastestTempo);
            out.key("plain");
            out.integer(plainTempo);
        });
        out.key("longestSixteenths");
        out.integer(longestSixteenths);
        out.key("defaults");
        out.object([&] {
            out.key("verbosity");
            out.integer(static_cast<int>(Settings{}.verbosity));
        });
        namedValues(out, "status", statusNames);
        namedValues(out, "departureKinds", kindNames);
        namedValues(out, "fates", fateNames);
        namedValues(out, "noteFlags", std::to_array<std::pair<std::string_view, unsigned>>({{"held", heldFlag},
                                                                                          {"stuck", stuckFlag}}));
        out.key("pitchClassNames");
        out.array([&] {
            for (std::size_t i = 0; i < pitchClassNames.size(); ++i) {
                if (i)
                    out.raw(",");
                out.string(pitchClassNames[i]);
            }
        });
        contractLevels(out);
        out.key("codes");
        out.array([&] {
            for (std::size_t i = 0; i < codeCount; ++i) {
                if (i)
                    out.raw(",");
                out.string(codeTable[i].name);
            }
        });
    });
    return std::move(out.json);
}
