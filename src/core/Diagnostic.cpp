#include "core/Diagnostic.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr Level F = Level::Fatal;
constexpr Level E = Level::Error;
constexpr Level M = Level::Format;
constexpr Level W = Level::Warn;
constexpr Level O = Level::Output;
constexpr Level I = Level::Info;
constexpr Level N = Level::Notice;
constexpr Level D = Level::Debug;
constexpr Level G = Level::Ignore;
constexpr bool continues = true;

} // namespace

const CodeInfo codeTable[codeCount] = {
    {"CannotOpenInput", F, "Could not open \"%s\".\n"},
    {"Empty", F, "Not a MIDI File.\n"},
    {"HeaderCutShort", F, "Not a MIDI File.\n"},
    {"NotMidi", F, "Not a MIDI File.\n"},
    {"CannotParse", F, "Could not parse MIDI file.\n"},
    {"InvalidMidiType", M, "Warning! Found invalid MIDI type %hu!\n"},
    {"MidiType2", W, "Note: MIDI type 2 probably not supported.\n"},
    {"SmpteDivision", W, "Warning! SMPTE time division found (%d fps, %d tps), using %d.\n"},
    {"UnsupportedDivision", W, "Warning! Time division of %hu not supported!\n"},
    {"InvalidDivision", F, "Invalid time division %d!\n"},
    {"NotTrack", M, "Not a MIDI Track.\n"},
    {"TrackTooShort", E, "Warning! Track is %d bytes too short!\n"},
    {"UnknownTrackToken", W, "Time %s: Unknown track token %02x ignored.\n"},
    {"UnknownController", W, "Time %s: Unknown controller event %02x on channel %d ignored.\n"},
    {"SysExIgnored", W, "Time %s: SysEx event ignored.\n"},
    {"UnknownSystemToken", W, "Time %s: Unknown system token %02x ignored.\n"},
    {"InvalidByte", M, "Time %s: Invalid byte value ignored.\n"},
    {"UnknownEvent", W, "Time %s: Unknown event token %02x ignored.\n"},
    {"InvalidTempo", M, "Time %s: Invalid tempo 0 ignored.\n"},
    {"InvalidKey", M, "Time %s: Warning! Invalid key %d ignored!\n"},
    {"NoActiveNote", M, "Warning, did not find an active note for %d ch %d note %d.\n"},
    {"NoteNotReleased", M, "Warning, note %d hasn't been released yet!\n"},
    {"ZeroLength", W, "Warning! Setting note length to 0!\n"},
    {"ThirtySecondRaised", W, "Warning! 1/32 not yet supported! Increasing to 1/16!\n"},
    {"TripletsClamped", W, "Warning! Triplets not yet supported! Clamping to nearest 1/16!\n"},
    {"LengthOffGrid", W, "Warning! Note length %d is off the grid! Rounding to nearest 1/16!\n"},
    {"TripletsNotWritten", W, "Triplets NYI! (found %d)\n"},
    {"TooLow", E, "Some notes were too low!\n"},
    {"TooHigh", E, "Some notes were too high!\n"},
    {"TooShort", E, "Some notes were too short!\n"},
    {"TooLong", W, "Some notes were too long!\n"},
    {"TempoTooSlow", W, "Tempo was too slow!\n"},
    {"TempoTooFast", W, "Tempo was too fast!\n"},
    {"TooManyParts", E, "The resulting macro has too many parts!\n"},
    {"CutAtCap", E, "Tune is too long! Cut after %d characters.\n"},
    {"MacroOverrun", W, "Channel %d, macro %d runs %d sixteenths past its end.\n"},
    {"NotesAcrossEnd", W, "Channel %d: %d note%s sounding across %s end%s there and start%s again in macro %d.\n"},
    {"BarDoesNotFit", E, "Channel %d, macro %d of %d takes %d parts: the bar at %s does not fit in %d.\n"},
    {"CannotOpenOutput", F, "Could not open \"%s\".\n"},
    {"OutputIsMidi", F, "Output file \"%s\" is a MIDI file; not overwriting it.\n"},
    {"CannotWriteOutput", F, "Could not write \"%s\".\n"},
    {"OutOfMemory", F, "Out of memory.\n"},
    {"ConversionFailed", F, "Conversion failed.\n"},
    {"Usage", F, "%s", continues},
    {"InvalidChannel", F, "Invalid channel %d!\n"},
    {"MergedTwice", F, "Channel %d is already being merged!\n"},
    {"MergeIntoItself", F, "Cannot merge channel %d into itself!\n"},
    {"MergeTargetDeactivated", W, "Deactivating merge target %d...\n"},
    {"LongChordsWithoutPolyphony", F, "Cannot use long chords without polyphony! Aborting.\n"},
    {"OutputIsInput", F, "Cannot write output to the input file \"%s\"! Aborting.\n"},
    {"InternalTriplet", F, "BUG! Triplet found! (found %d)\n", false, true},
    {"InternalPolyphony", F, "BUG! Wrong polyphony after pass 1!\n", false, true},
    {"Parsing", O, "Parsing \"%s\"...\n"},
    {"MidiType", I, "Found MIDI Type %hu.\n"},
    {"TrackCount", I, "Found %hu Track%s.\n"},
    {"TimeDivision", I, "Time division is %hu.\n"},
    {"TrackUsesNoChannels", I, "Track uses no channels.\n"},
    {"TrackUsesChannels", I, "Track uses channel"},
    {"TrackChannel", I, " %d", continues},
    {"TrackChannelsEnd", I, ".\n", continues},
    {"NoteAftertouch", G, "Time %s: Note aftertouch on channel %d ignored.\n"},
    {"ProgramChange", G, "Time %s: Program change %d on channel %d ignored.\n"},
    {"ChannelAftertouch", G, "Time %s: Channel aftertouch on channel %d ignored.\n"},
    {"PitchBend", G, "Time %s: Pitch bend %d on channel %d ignored.\n"},
    {"NoteOff", D, "Time %s: Note %d(%d) off on channel %d.\n"},
    {"NoteOn", N, "Time %s: Note %d(%d) on on channel %d.\n"},
    {"BankSelect", G, "Time %s: Bank select to %d on channel %d ignored.\n"},
    {"ChannelVolume", N, "Time %s: Channel volume to %d%% on channel %d.\n"},
    {"Panning", G, "Time %s: Panning to %d on channel %d ignored.\n"},
    {"Sustain", D, "Time %s: Sustain ignored on channel %d ignored.\n"},
    {"AllSoundOff", I, "Time %s: All sound off on channel %d.\n"},
    {"ResetControllers", D, "Time %s: Reset controllers on channel %d ignored.\n"},
    {"AllNotesOff", I, "Time %s: All notes off on channel %d.\n"},
    {"PolyModeOn", I, "Time %s: Poly mode on (and all notes off) on channel %d.\n"},
    {"PortPrefix", G, "Time %s: Port prefix %02x ignored.\n"},
    {"TextEvent", I, "Time %s: %s\"%s\".\n"},
    {"TrackComplete", I, "Time %s: Track complete.\n"},
    {"Tempo", N, "Time %s: Tempo is %g.\n"},
    {"TimeSignature", I, "Time %s: Time signature %d %d %d %d ignored.\n"},
    {"Key", I, "Time %s: Key is %s %s.\n"},
    {"ElementTime", I, "Time %s"},
    {"ElementDelta", I, " (%s)", continues},
    {"ElementChannel", I, "Channel %d: ", continues},
    {"ElementNote", I, "Note %d, Velocity %d, Duration %s (%s)\n", continues},
    {"ElementTempo", I, "Tempo %d\n", continues},
    {"ElementVolume", I, "Volume %d\n", continues},
    {"PolyphonyA", D, "polyphonyA %d @ %g\n"},
    {"PolyphonyB", D, "polyphonyB %d @ %g\n"},
    {"PolyphonyPeak", O, "Current polyphony on channel %d: %d\n"},
    {"BlankLine", I, "\n"},
    {"Song", I, "Song!\n"},
    {"SongTempo", O, "Tempo %d\n"},
    {"SongTracks", O, "%d/%d tracks:\n"},
    {"SongChannels", O, "%d channels.\n"},
    {"SongChannel", I, "Channel %d:\n"},
    {"Player", O, "Player %d: %s%s.\n"},
    {"LeftOut", O, "Left out: %s.\n"},
    {"Converted", I, "VARN conversion was successful!\n"},
    {"OctaveFit", O, "Transposing channel %d by %d to fit the range.\n"},
    {"VarnChannel", O, "VARN channel %d:\n"},
    {"MacroVersion", O, "Macro version:\n"},
    {"MergingChannels", O, "Merging channel%s "},
    {"MergeSource", O, "%d", continues},
    {"MergeSourceInactive", O, "(%d)", continues},
    {"MergeSeparator", O, ",", continues},
    {"MergeTarget", O, " into channel %d.\n", continues},
    {"AllDeactivated", O, "Deactivating all channels.\n"},
    {"Deactivating", O, "Deactivating channel %d.\n"},
    {"AlreadyDeactivated", N, "Deactivating already disabled channel %d.\n"},
    {"Activating", O, "Activating channel %d.\n"},
    {"AlreadyActive", N, "Activating already active channel %d.\n"},
    {"ReactivatingFirst", O, "Reactivating channel 1 as merge target.\n"},
    {"MergingAll", O, "Merging all channels into channel 1.\n"},
    {"Reactivating", O, "Reactivating channel %d as merge target.\n"},
    {"AutoTranspose", O, "Auto-transposing enabled.\n"},
    {"KeepOuterVoices", O, "Keeping the highest and lowest notes of chords.\n"},
    {"EliminateIdentical", O, "Eliminating all but one instance of identical notes.\n"},
    {"KeepInStep", O, "Keeping channels in step.\n"},
    {"LongChords", O, "Enabling [...]$.\n"},
    {"NoTriplets", O, "Triplet detection disabled.\n"},
    {"FitOctaves", O, "Fitting each channel into the range by octaves.\n"},
    {"UpperC", O, "Enabling /b#.\n"},
    {"PolyphonyOfAll", O, "Setting polyphony of all channels to "},
    {"PolyphonyOfChannel", O, "Setting polyphony of channel %d to "},
    {"PolyphonyUnlimited", O, "unlimited.\n", continues},
    {"PolyphonyLimit", O, "%d.\n", continues},
    {"Transposing", O, "Transposing input by %d.\n"},
    {"VerbositySet", E, "%s Setting verbosity to \"%s\".\n", continues},
    {"Splitting", O, "Splitting channels into macros of at most %d parts.\n"},
    {"Players", O, "Arranging the song for %d players.\n"},
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
        } else if (*p == 'g') {
            va_arg(args, double);
        } else if (*p == 'd' || *p == 'u' || *p == 'x') {
            const int value = va_arg(args, int);
            if (diagnostic.argCount < Diagnostic::maxArgs)
                diagnostic.values[diagnostic.argCount++] = value;
        } else if (*p == '\0') {
            return;
        }
    }
}
