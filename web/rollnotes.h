#pragma once

// The piano roll's note lists, made in the module so that the page only
// wraps them: per channel the notes the tune plays and the MIDI file's
// notes, each sorted by start, then pitch, as columns of typed numbers.
#include "convert/Departures.h"
#include "tune/TuneReader.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string_view>
#include <vector>

// A column of a list: its name and the typed array the page reads it with.
struct Column {
    std::string_view name;
    std::string_view type;
};

namespace columns {
// A note list, one entry a note: where it starts and ends (ticks of the
// MIDI file), its pitch and velocity, the departure kinds that concern it
// (bits by kind; a note of the file that is not written counts as dropped)
// and its row (the note's index in its tune or its channel).
inline constexpr Column noteList[] = {{"start", "Float64"}, {"end", "Float64"},  {"pitch", "Int16"},
                                      {"velocity", "Uint8"}, {"kinds", "Uint16"}, {"index", "Int32"}};
} // namespace columns

// Columns of numbers one after the other in one block, each on an 8-byte
// boundary, so that the page reads every column in place.
class ColumnStore {
public:
    // Room for `lists` more note lists of `notes` notes in all without moving the block.
    void reserveNotes(std::size_t lists, std::size_t notes)
    {
        bytes_.reserve(bytes_.size() + notes * noteBytes + lists * padding);
    }
    // A new column of `count` values of T, zero; gives its byte offset.
    template <typename T> std::size_t column(std::size_t count)
    {
        const std::size_t offset = bytes_.size();
        bytes_.resize(offset + (count * sizeof(T) + 7) / 8 * 8);
        return offset;
    }
    // Sets value `k` of the column of T at byte `offset`.
    template <typename T> void set(std::size_t offset, std::size_t k, T value)
    {
        std::memcpy(bytes_.data() + offset + k * sizeof(T), &value, sizeof(T));
    }
    const unsigned char* data() const { return bytes_.data(); }
    std::size_t size() const { return bytes_.size(); }

private:
    // A note's bytes in all columns, and the most padding of a list's columns.
    static constexpr std::size_t noteBytes = 2 * 8 + 2 + 1 + 2 + 4;
    static constexpr std::size_t padding = 4 * 7;
    std::vector<unsigned char> bytes_;
};

// One list: its notes' count and, per column of columns::noteList, its byte
// offset in the store.
struct NoteListPlace {
    std::size_t count = 0;
    std::size_t offsets[std::size(columns::noteList)] = {};
};

// The notes `tune` plays (those of some length), with the kinds of `departures`' departures that name them.
NoteListPlace tuneList(const PlayedTune& tune, int division, const ChannelDepartures& departures,
                       ColumnStore& store);

// The notes of the MIDI file in `trace`, with the kinds of `departures`'
// departures that name them.
NoteListPlace sourceList(const ChannelTrace& trace, const ChannelDepartures& departures, ColumnStore& store);
