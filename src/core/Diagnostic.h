#pragma once

#include <array>
#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// What a run reports, as values: a code with its integer arguments, its
// level and the channel it concerns. The console line of a diagnostic is
// made from these values by the code's format (see Message).

// The ten verbosity levels; a message is shown when the current level is at
// least its own.
enum class Level : int { Fatal, Error, Format, Warn, Output, Info, Notice, Debug, Ignore, All };

// What a level is called: its name (as the page knows it) and the label its
// console lines begin with.
struct LevelInfo {
    std::string_view name;  // "fatal" .. "all"
    std::string_view label; // "FATAL:" .. "All:"
};

// The levels, in order: the one table of their names and labels.
inline constexpr LevelInfo levelTable[] = {
    {"fatal", "FATAL:"}, {"error", "ERROR:"}, {"format", "FORMAT:"}, {"warn", "WARN:"},     {"output", "Output:"},
    {"info", "Info:"},   {"notice", "Notice:"}, {"debug", "Debug:"}, {"ignore", "Ignore:"}, {"all", "All:"},
};
inline constexpr std::size_t levelCount = std::size(levelTable);

// The width a line's label is padded to with blanks.
inline constexpr std::size_t labelWidth = 8;

// Everything a run prints: first the problems, which are also kept as
// values, then the informational lines (from Parsing on), which are only
// printed. The names are published to the web page as they stand here.
enum class Code : std::uint8_t {
    // Reading the file
    CannotOpenInput,  // the input could not be opened or read
    Empty,            // the file has no bytes
    HeaderCutShort,   // the file ends inside its header
    NotMidi,          // the file does not begin with a MIDI header
    CannotParse,      // the conversion stops: the file could not be read
    InvalidMidiType,  // args: the type
    MidiType2,        // type 2 (independent songs) is read as type 1
    SmpteDivision,    // args: frames per second, ticks per frame, the division used
    UnsupportedDivision, // args: the division (not a multiple of 24)
    InvalidDivision,  // args: the division (0)
    NotTrack,         // a chunk that is not a track was skipped
    TrackTooShort,    // args: missing bytes (negative: bytes read past the end)
    // Events of a track
    UnknownTrackToken,   // args: the token
    UnknownController,   // args: the controller; channel
    SysExIgnored,
    UnknownSystemToken,  // args: the token
    InvalidByte,         // a data byte of 128 or more
    UnknownEvent,        // args: the meta event's type
    InvalidTempo,        // a tempo of 0
    InvalidKey,          // args: the key's sharps or flats
    NoActiveNote,        // args: time, channel, pitch
    NoteNotReleased,     // args: pitch
    // Quantisation
    ZeroLength,
    ThirtySecondRaised,
    TripletsClamped,
    LengthOffGrid,       // args: the length (a cut between grid positions)
    // The tunes
    TripletsNotWritten,  // args: the length
    TooLow,              // channel
    TooHigh,             // channel
    TooShort,            // channel
    TooLong,             // channel
    TempoTooSlow,        // channel
    TempoTooFast,        // channel
    TooManyParts,        // channel
    CutAtCap,            // args: the cap in characters
    MacroOverrun,        // args: channel, macro, sixteenths; channel
    NotesAcrossEnd,      // args: channel, notes, macro; channel
    BarDoesNotFit,       // args: channel, macro, macros, parts, limit; channel
    // Writing
    CannotOpenOutput,
    OutputIsMidi,         // the output named is a MIDI file: not overwritten
    CannotWriteOutput,    // the output could not be written whole
    OutOfMemory,
    ConversionFailed,
    // The switches
    Usage,                // the usage text was printed instead of a run
    InvalidChannel,       // args: the number
    MergedTwice,          // args: the channel; channel
    MergeIntoItself,      // args: the channel; channel
    MergeTargetDeactivated, // args: the channel; channel
    LongChordsWithoutPolyphony,
    OutputIsInput,
    // Internal checks: the converter's own invariants failed
    InternalTriplet,      // args: the length
    InternalPolyphony,
    // Informational lines, by the unit that prints them; the formats say
    // what they tell. Reading the file:
    Parsing, MidiType, TrackCount, TimeDivision, TrackUsesNoChannels, TrackUsesChannels, TrackChannel,
    TrackChannelsEnd,
    // Events of a track
    NoteAftertouch, ProgramChange, ChannelAftertouch, PitchBend, NoteOff, NoteOn, BankSelect, ChannelVolume,
    Panning, Sustain, AllSoundOff, ResetControllers, AllNotesOff, PolyModeOn, PortPrefix, TextEvent,
    TrackComplete, Tempo, TimeSignature, Key,
    // The element dump: a begin, then its continuations
    ElementTime, ElementDelta, ElementChannel, ElementNote, ElementTempo, ElementVolume,
    // The song
    PolyphonyA, PolyphonyB, PolyphonyPeak, BlankLine, Song, SongTempo, SongTracks, SongChannels, SongChannel,
    Player, LeftOut,
    // The tunes
    Converted, OctaveFit, VarnChannel, MacroVersion,
    // The switches' confirmations
    MergingChannels, MergeSource, MergeSourceInactive, MergeSeparator, MergeTarget, AllDeactivated, Deactivating,
    AlreadyDeactivated, Activating, AlreadyActive, ReactivatingFirst, MergingAll, Reactivating, AutoTranspose,
    KeepOuterVoices, EliminateIdentical, KeepInStep, LongChords, NoTriplets, FitOctaves, UpperC, PolyphonyOfAll,
    PolyphonyOfChannel, PolyphonyUnlimited, PolyphonyLimit, Transposing, VerbositySet, Splitting, Players,
};

// The number of codes.
inline constexpr std::size_t codeCount = static_cast<std::size_t>(Code::Players) + 1;

// Whether `code` is a problem, counted and kept as a diagnostic; the
// informational lines are only printed.
inline constexpr bool isProblem(Code code)
{
    return code < Code::Parsing;
}

// What a code is: its name, level and console format. The format is a
// printf format over the arguments the reporting site passes, in order:
// integers (a problem's are kept as the diagnostic's arguments), texts and,
// for a tempo or a position, doubles (these two for the console only).
struct CodeInfo {
    std::string_view name;  // the enumerator's name
    Level level;            // the level it is reported at
    const char* format;     // its console text, after the level's label
    bool continuesLine = false; // printed without a label, continuing the line
    bool internal = false;      // an internal check, not a problem of the input
};

// The descriptions, one per code in the order of the enumeration.
extern const CodeInfo codeTable[codeCount];

// The description of `code`.
inline const CodeInfo& codeInfo(Code code)
{
    return codeTable[static_cast<std::size_t>(code)];
}

// The code named `name` (as codeInfo gives it); false when none is.
bool codeNamed(std::string_view name, Code& code);

// A diagnostic without a channel.
inline constexpr int noChannel = 0;

// One occurrence of a code.
struct Diagnostic {
    static constexpr std::size_t maxArgs = 6;

    Code code = Code::Usage;
    Level level = Level::Fatal;
    int channel = noChannel;           // 1..16, or noChannel
    std::array<int, maxArgs> values{}; // the integer arguments, in order
    std::uint8_t argCount = 0;
    std::string text;                  // the console line, label and all, without its line end

    // The integer arguments.
    std::span<const int> args() const { return std::span(values.data(), argCount); }
};

// Adds the integers among `args`, the values of the printf format `fmt`
// (%d, %u, %x and their widths), to the diagnostic's arguments, in order;
// texts (%s) and doubles (%g) are passed over.
void takeIntegers(Diagnostic& diagnostic, const char* fmt, va_list args);

// The diagnostics of a run: how often each code occurred, and the first few
// occurrences of each with their values, in the order they happened. A
// large file repeats some warnings hundreds of thousands of times; only a
// count grows then.
class Diagnostics {
public:
    // Occurrences kept per code.
    static constexpr std::uint32_t keptPerCode = 8;

    // Counts one occurrence of `code`; true when it is to be kept.
    bool tally(Code code) { return ++counts_[static_cast<std::size_t>(code)] <= keptPerCode; }
    // Counts `times` occurrences of `code`, none of them to be kept.
    void tallyUnkept(Code code, std::uint32_t times) { counts_[static_cast<std::size_t>(code)] += times; }
    // Whether the next occurrence of `code` is to be kept.
    bool keepsNext(Code code) const { return counts_[static_cast<std::size_t>(code)] < keptPerCode; }
    // Keeps an occurrence counted with `tally`.
    void keep(Diagnostic diagnostic) { kept_.push_back(std::move(diagnostic)); }
    // Adds the occurrences of `later`, as if they followed these.
    void append(const Diagnostics& later);

    // How often `code` occurred.
    std::uint32_t count(Code code) const { return counts_[static_cast<std::size_t>(code)]; }
    bool has(Code code) const { return count(code) > 0; }
    // The first occurrence of `code`, or null.
    const Diagnostic* first(Code code) const;
    // The occurrences kept, in order.
    const std::vector<Diagnostic>& kept() const { return kept_; }
    // The codes that occurred, in the order of their first occurrence.
    std::vector<Code> codes() const;

private:
    std::array<std::uint32_t, codeCount> counts_{};
    std::vector<Diagnostic> kept_;
};
