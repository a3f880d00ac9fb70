#pragma once

// The JSON writer of the module's descriptions, and the layouts of the
// records and table rows it hands over beside the JSON text.
#include "core/Message.h"
#include "core/Settings.h"

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

