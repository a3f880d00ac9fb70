#include "rollnotes.h"

#include "tune/Preview.h"

#include <algorithm>

namespace {

// The name of the typed array that reads a column of T.
template <typename T> constexpr std::string_view arrayType();
template <> constexpr std::string_view arrayType<double>() { return "Float64"; }
template <> constexpr std::string_view arrayType<std::int16_t>() { return "Int16"; }
template <> constexpr std::string_view arrayType<std::uint8_t>() { return "Uint8"; }
template <> constexpr std::string_view arrayType<std::uint16_t>() { return "Uint16"; }
template <> constexpr std::string_view arrayType<std::int32_t>() { return "Int32"; }

// Where column `name` stands in columns::noteList.
consteval std::size_t columnAt(std::string_view name)
{
    for (std::size_t k = 0; k < std::size(columns::noteList); ++k)
        if (columns::noteList[k].name == name)
            return k;
    throw "no such column";
}

// A note of a list: where it starts and its pitch, by which the list is
// ordered, and its row.
struct Entry {
    double start;
    int pitch;
    std::uint32_t row;

    bool operator<(const Entry& other) const
    {
        if (start != other.start)
            return start < other.start;
        return pitch != other.pitch ? pitch < other.pitch : row < other.row;
    }
};

// Sorts entries that come nearly in order, as a tune's and a channel's
// notes do (chords in any order of pitch): by insertion, unless that takes
// too many moves.
void sortNearlySorted(std::vector<Entry>& entries)
{
    const std::size_t budget = 8 * entries.size();
    std::size_t moves = 0;
    for (std::size_t i = 1; i < entries.size() && moves < budget; ++i) {
        const Entry e = entries[i];
        std::size_t k = i;
        for (; k > 0 && e < entries[k - 1]; --k, ++moves)
            entries[k] = entries[k - 1];
        entries[k] = e;
    }
    if (moves >= budget)
        std::sort(entries.begin(), entries.end());
}

// A list being written: its columns' places in the store.
class ListWriter {
public:
    ListWriter(ColumnStore& store, std::size_t count) : store_(store)
    {
        place_.count = count;
        add<columnAt("start"), double>();
        add<columnAt("end"), double>();
        add<columnAt("pitch"), std::int16_t>();
        add<columnAt("velocity"), std::uint8_t>();
        add<columnAt("kinds"), std::uint16_t>();
        add<columnAt("index"), std::int32_t>();
    }

    // Note `k` of the list, in order.
    void note(std::size_t k, double start, double end, int pitch, int velocity, std::uint16_t kinds, std::uint32_t row)
    {
        set<columnAt("start")>(k, start);
        set<columnAt("end")>(k, end);
        set<columnAt("pitch")>(k, static_cast<std::int16_t>(std::clamp(pitch, -32768, 32767)));
        set<columnAt("velocity")>(k, static_cast<std::uint8_t>(std::clamp(velocity, 0, 255)));
        set<columnAt("kinds")>(k, kinds);
        set<columnAt("index")>(k, static_cast<std::int32_t>(row));
    }

    const NoteListPlace& place() const { return place_; }

private:
    ColumnStore& store_;
    NoteListPlace place_;

    // Every column is written as the page reads it.
    template <std::size_t K, typename T> void add()
    {
        static_assert(columns::noteList[K].type == arrayType<T>());
        place_.offsets[K] = store_.column<T>(place_.count);
    }
    template <std::size_t K, typename T> void set(std::size_t k, T value)
    {
        static_assert(columns::noteList[K].type == arrayType<T>());
        store_.set<T>(place_.offsets[K], k, value);
    }
};

// The departure kinds that name each note, as bits: by the file's notes
// (`ofPlayed` false) or the tune's.
std::vector<std::uint16_t> kindsOf(const ChannelDepartures& departures, std::size_t count, bool ofPlayed)
{
    std::vector<std::uint16_t> kinds(count, 0);
    for (const Departure& d : departures.departures) {
        const std::size_t note = ofPlayed ? d.played : d.note;
        if (note < count)
            kinds[note] |= static_cast<std::uint16_t>(1U << static_cast<unsigned>(d.kind));
    }
    return kinds;
}

} // namespace

NoteListPlace tuneList(const PlayedTune& tune, int division, const ChannelDepartures& departures, ColumnStore& store)
{
    const double ticksPerSixteenth = division / 4.0;
    std::vector<Entry> entries;
    entries.reserve(tune.notes.size());
    for (std::size_t i = 0; i < tune.notes.size(); ++i)
        if (tune.notes[i].length > 0) // a letter of no length sounds nothing
            entries.push_back(Entry{static_cast<double>(tune.notes[i].start) * ticksPerSixteenth,
                                    tune.notes[i].pitch, static_cast<std::uint32_t>(i)});
    sortNearlySorted(entries);
    const std::vector<std::uint16_t> kinds = kindsOf(departures, tune.notes.size(), true);
    ListWriter list(store, entries.size());
    for (std::size_t k = 0; k < entries.size(); ++k) {
        const PlayedNote& n = tune.notes[entries[k].row];
        list.note(k, entries[k].start, static_cast<double>(n.start + n.length) * ticksPerSixteenth, n.pitch,
                  previewVelocity(n.volume), kinds[entries[k].row], entries[k].row);
    }
    return list.place();
}

NoteListPlace sourceList(const ChannelTrace& trace, const ChannelDepartures& departures, ColumnStore& store)
{
    std::vector<Entry> entries;
    entries.reserve(trace.notes.size());
    for (std::size_t i = 0; i < trace.notes.size(); ++i)
        entries.push_back(Entry{static_cast<double>(trace.notes[i].tick), trace.notes[i].pitch,
                                static_cast<std::uint32_t>(i)});
    sortNearlySorted(entries);
    const std::vector<std::uint16_t> kinds = kindsOf(departures, trace.notes.size(), false);
    const auto dropped = static_cast<std::uint16_t>(1U << static_cast<unsigned>(DepartureKind::Dropped));
    constexpr int sounding = 100; // the file's notes all sound alike
    ListWriter list(store, entries.size());
    for (std::size_t k = 0; k < entries.size(); ++k) {
        const TracedNote& n = trace.notes[entries[k].row];
        const auto bits = static_cast<std::uint16_t>(kinds[entries[k].row] | (n.fate != Fate::Written ? dropped : 0));
        list.note(k, entries[k].start, entries[k].start + n.ticks, n.pitch, sounding, bits, entries[k].row);
    }
    return list.place();
}
