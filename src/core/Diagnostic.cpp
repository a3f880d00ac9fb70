#include "core/Diagnostic.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr Level F = Level::Fatal;
constexpr Level E = Level::Error;
constexpr Level M = Level::Format;
constexpr Level W = Level::Warn;

} // namespace

const CodeInfo codeTable[codeCount] = {
    {"CannotOpenInput", F, "Could not open \"%s\".\n", false, false},
    {"Empty", F, "Not a MIDI File.\n", false, false},
    {"HeaderCutShort", F, "Not a MIDI File.\n", false, false},
    {"NotMidi", F, "Not a MIDI File.\n", false, false},
    {"CannotParse", F, "Could not parse MIDI file.\n", false, false},
    {"InvalidMidiType", M, "Warning! Found invalid MIDI type %hu!\n", false, false},
    {"MidiType2", W, "Note: MIDI type 2 probably not supported.\n", false, false},
    {"SmpteDivision", W, "Warning! SMPTE time division found (%d fps, %d tps), using %d.\n", false, false},
    {"UnsupportedDivision", W, "Warning! Time division of %hu not supported!\n", false, false},
    {"InvalidDivision", F, "Invalid time division %d!\n", false, false},
    {"NotTrack", M, "Not a MIDI Track.\n", false, false},
    {"TrackTooShort", E, "Warning! Track is %d bytes too short!\n", false, false},
    {"UnknownTrackToken", W, "Time %s: Unknown track token %02x ignored.\n", false, false},
    {"UnknownController", W, "Time %s: Unknown controller event %02x on channel %d ignored.\n", false, false},
    {"SysExIgnored", W, "Time %s: SysEx event ignored.\n", false, false},
    {"UnknownSystemToken", W, "Time %s: Unknown system token %02x ignored.\n", false, false},
    {"InvalidByte", M, "Time %s: Invalid byte value ignored.\n", false, false},
    {"UnknownEvent", W, "Time %s: Unknown event token %02x ignored.\n", false, false},
    {"InvalidTempo", M, "Time %s: Invalid tempo 0 ignored.\n", false, false},
    {"InvalidKey", M, "Time %s: Warning! Invalid key %d ignored!\n", false, false},
    {"NoActiveNote", M, "Warning, did not find an active note for %d ch %d note %d.\n", false, false},
    {"NoteNotReleased", M, "Warning, note %d hasn't been released yet!\n", false, false},
    {"ZeroLength", W, "Warning! Setting note length to 0!\n", false, false},
    {"ThirtySecondRaised", W, "Warning! 1/32 not yet supported! Increasing to 1/16!\n", false, false},
    {"TripletsClamped", W, "Warning! Triplets not yet supported! Clamping to nearest 1/16!\n", false, false},
    {"LengthOffGrid", W, "Warning! Note length %d is off the grid! Rounding to nearest 1/16!\n", false, false},
    {"TripletsNotWritten", W, "Triplets NYI! (found %d)\n", false, false},
    {"TooLow", E, "Some notes were too low!\n", false, false},
    {"TooHigh", E, "Some notes were too high!\n", false, false},
    {"TooShort", E, "Some notes were too short!\n", false, false},
    {"TooLong", W, "Some notes were too long!\n", false, false},
    {"TempoTooSlow", W, "Tempo was too slow!\n", false, false},
    {"TempoTooFast", W, "Tempo was too fast!\n", false, false},
    {"TooManyParts", E, "The resulting macro has too many parts!\n", false, false},
    {"CutAtCap", E, "Tune is too long! Cut after %d characters.\n", false, false},
    {"MacroOverrun", W, "Channel %d, macro %d runs %d sixteenths past its end.\n", false, false},
    {"NotesAcrossEnd", W, "Channel %d: %d note%s sounding across %s end%s there and start%s again in macro %d.\n",
     false, false},
    {"BarDoesNotFit", E, "Channel %d, macro %d of %d takes %d parts: the bar at %s does not fit in %d.\n", false,
     false},
    {"CannotOpenOutput", F, "Could not open \"%s\".\n", false, false},
    {"OutputIsMidi", F, "Output file \"%s\" is a MIDI file; not overwriting it.\n", false, false},
    {"CannotWriteOutput", F, "Could not write \"%s\".\n", false, false},
    {"OutOfMemory", F, "Out of memory.\n", false, false},
    {"ConversionFailed", F, "Conversion failed.\n", false, false},
    {"Usage", F, "%s", true, false},
    {"InvalidChannel", F, "Invalid channel %d!\n", false, false},
    {"MergedTwice", F, "Channel %d is already being merged!\n", false, false},
    {"MergeIntoItself", F, "Cannot merge channel %d into itself!\n", false, false},
    {"MergeTargetDeactivated", W, "Deactivating merge target %d...\n", false, false},
    {"LongChordsWithoutPolyphony", F, "Cannot use long chords without polyphony! Aborting.\n", false, false},
    {"OutputIsInput", F, "Cannot write output to the input file \"%s\"! Aborting.\n", false, false},
    {"InternalTriplet", F, "BUG! Triplet found! (found %d)\n", false, true},
    {"InternalPolyphony", F, "BUG! Wrong polyphony after pass 1!\n", false, true},
};
// The table's size is codeCount: a code without its entry would be left
// zeroed, which the test of the names finds.


bool codeNamed(std::string_view name, Code& code)
{
    for (std::size_t i = 0; i < codeCount; ++i) {
        if (codeTable[i].name == name) {
            code = static_cast<Code>(i);
            return true;
        }
    }
    return false;
}

void Diagnostics::append(const Diagnostics& later)
{
    // Each code keeps its first few, in order, wherever they came from.
    std::array<std::uint32_t, codeCount> kept = counts_;
    for (const Diagnostic& d : later.kept_)
        if (++kept[static_cast<std::size_t>(d.code)] <= keptPerCode)
            kept_.push_back(d);
    for (std::size_t i = 0; i < codeCount; ++i)
        counts_[i] += later.counts_[i];
}

const Diagnostic* Diagnostics::first(Code code) const
{
    const auto found = std::find_if(kept_.begin(), kept_.end(), [code](const Diagnostic& d) { return d.code == code; });
    return found == kept_.end() ? nullptr : &*found;
}

std::vector<Code> Diagnostics::codes() const
{
    std::vector<Code> result;
    for (const Diagnostic& d : kept_)
        if (std::find(result.begin(), result.end(), d.code) == result.end())
            result.push_back(d.code);
    return result;
}

void takeIntegers(Diagnostic& diagnostic, const char* fmt, va_list args)
{
    for (const char* p = std::strchr(fmt, '%'); p != nullptr; p = std::strchr(p + 1, '%')) {
        ++p;
        while (*p != '\0' && std::strchr("0123456789h", *p) != nullptr)
            ++p;
        if (*p == 's') {
            va_arg(args, const char*);
        } else if (*p == 'd' || *p == 'u' || *p == 'x') {
            const int value = va_arg(args, int);
            if (diagnostic.argCount < Diagnostic::maxArgs)
                diagnostic.values[diagnostic.argCount++] = value;
        } else if (*p == '\0') {
            return;
        }
    }
}
