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
#include "rollnotes.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// One named field of a record or a table's row, and the words (or numbers)
// it takes.
struct Field {
    std::string_view name;
    std::size_t words = 1;
};

// A layout: the fields of a record or a row, in order.
using Layout = std::span<const Field>;

// The width of a layout, in words.
constexpr std::size_t widthOf(Layout layout)
{
    std::size_t width = 0;
    for (const Field& field : layout)
        width += field.words;
    return width;
}

// Where field `name` begins in a record of `layout`; no build when the
// layout has no such field.
consteval std::size_t fieldAt(Layout layout, std::string_view name)
{
    std::size_t at = 0;
    for (const Field& field : layout) {
        if (field.name == name)
            return at;
        at += field.words;
    }
    throw "no such field";
}

// The kind of a run of standard output that holds macro text, after the
// levels' kinds.
inline constexpr std::uint32_t macroRun = static_cast<std::uint32_t>(Level::All) + 1;
// The flags of a played note.
inline constexpr unsigned heldFlag = 1;
inline constexpr unsigned stuckFlag = 2;

namespace layouts {
// What a conversion gives (m2v_convert's words).
inline constexpr Field outcome[] = {
    {"status"},       {"consoleAt"}, {"consoleLength"}, {"errorsAt"}, {"errorsLength"}, {"textAt"},
    {"textLength"},   {"nameAt"},    {"nameLength"},    {"runsAt"},   {"runsCount"},    {"tunesAt"},
    {"tunesCount"},   {"rollAt"},    {"rollLength"},    {"rollNumbersAt"}, {"rollNumbersCount"},
    {"rollColumnsAt"}, {"rollColumnsLength"}};
// A run of standard output of one level, or of macro text.
inline constexpr Field run[] = {{"start"}, {"length"}, {"kind"}};
// A tune, or one macro of a split channel.
inline constexpr Field tune[] = {{"channel"},     {"status"}, {"textAt"}, {"textLength"}, {"blockAt"},
                                 {"blockLength"}, {"macro"},  {"macros"}, {"parts"}};
// What a MIDI file holds before any switch (m2v_summary's words).
inline constexpr Field summary[] = {{"readable"}, {"firstTempo"}, {"tempoChanges"}, {"notes", channelCount}};
// A description in JSON with its numbers (m2v_preview's, m2v_departures').
inline constexpr Field description[] = {{"at"}, {"length"}, {"numbersAt"}, {"numbersCount"}};
// A preview file with its remarks (m2v_preview_file's words).
inline constexpr Field previewFile[] = {{"bytesAt"}, {"bytesLength"}, {"remarksAt"}, {"remarksLength"}};
// A note a tune plays, in sixteenths and in seconds by its tempo marks.
inline constexpr Field played[] = {{"start"},   {"length"},   {"pitch"}, {"velocity"},
                                   {"seconds"}, {"duration"}, {"flags"}};
// A departure: its kind, its place in ticks, and its notes by row (or -1).
inline constexpr Field departure[] = {{"kind"}, {"at"}, {"note"}, {"played"}};
} // namespace layouts

// A description being written: its JSON text and its numbers.
class Description {
public:
    std::string json;
    std::vector<double> numbers;

    void raw(std::string_view text) { json += text; }
    void number(double value);
    void integer(std::int64_t value) { json += std::to_string(value); }
    void boolean(bool value) { json += value ? "true" : "false"; }
    // A string as JSON: ASCII as it is, other bytes read as Latin-1.
    void string(std::string_view text);
    // A key of an object, after a comma where one is due.
    void key(std::string_view name);
    // An array, after a comma where one is due: "[", what `items` writes, "]".
    template <typename Items> void array(Items items)
    {
        open('[');
        items();
        json += ']';
    }
    // An object, after a comma where one is due: "{", what `fields` writes, "}".
    template <typename Fields> void object(Fields fields)
    {
        open('{');
        fields();
        json += '}';
    }
    // Starts a table of rows of `layout`; rows follow with row().
    void table(Layout layout);
    // A row of a table; its width is that of the table's layout.
    template <std::size_t N> void row(const std::array<double, N>& values)
    {
        for (const double value : values)
            numbers.push_back(value);
    }
    // Ends the table as its [offset, rows].
    void tableEnd();

private:
    std::size_t columns_ = 1;
    std::size_t first_ = 0;

    void open(char bracket);
};

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
