#include "tune/TuneWriter.h"

#include "core/Element.h"
#include "support/Capture.h"
#include "tune/TuneText.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

namespace {

// A channel's elements built by hand with the grid values the encoder reads.
class Tune {
public:
    Tune& note(int delta, int pitch, int length, int velocity = 100, int channel = 0)
    {
        Element n = Element::makeNote(0, channel, pitch, velocity);
        n.delta = delta;
        n.length = length;
        elements_.push_back(n);
        return *this;
    }
    Tune& tempo(int delta, int bpm)
    {
        Element t = Element::makeTempo(0, 0, bpm);
        t.delta = delta;
        elements_.push_back(t);
        return *this;
    }
    Tune& volume(int delta, int value, int channel = 0)
    {
        Element v = Element::makeVolume(0, channel, value);
        v.delta = delta;
        elements_.push_back(v);
        return *this;
    }
    const std::vector<Element>& elements() const { return elements_; }

    struct Result {
        std::string text;
        TuneStatus status;
        std::string console;
    };

    Result encode(int transpose = 0, bool triplets = true, bool longChords = false, bool upperC = false) const
    {
        TuneEncoder encoder;
        ConsoleCapture capture;
        encoder.encode(elements_, transpose, triplets, longChords, upperC);
        return {encoder.text, encoder.status, capture.take()};
    }

private:
    std::vector<Element> elements_;
};

class TuneWriterTest : public ::testing::Test {
protected:
    void SetUp() override { setVerbosity(4); }
    void TearDown() override { setVerbosity(4); }
};

TEST_F(TuneWriterTest, SingleNotesOfEveryLength)
{
    const struct {
        int length;
        const char* text;
    } cases[] = {{6, "c1"},  {12, "c"},  {18, "c3"}, {24, "C"},  {30, "c5"},
                 {36, "c6"}, {42, "c7"}, {48, "c8"}, {54, "c9"}};
    for (const auto& c : cases) {
        Tune tune;
        tune.note(0, 60, c.length);
        const auto r = tune.encode();
        EXPECT_EQ(r.text, c.text) << c.length;
        EXPECT_EQ(r.status, TuneStatus::None) << c.length;
        EXPECT_EQ(r.console, "") << c.length;
    }
}

TEST_F(TuneWriterTest, WorkedExamples)
{
    const struct {
        const char* name;
        Tune tune;
        const char* text;
        TuneStatus status;
    } cases[] = {
        {"low octave backslash", Tune().note(0, 48, 24).note(24, 60, 24), "\\C=C", TuneStatus::None},
        {"leading rest", Tune().note(24, 60, 24), "p4C", TuneStatus::None},
        {"chord with rest",
         Tune().note(0, 60, 24).note(0, 64, 24).note(0, 67, 24).note(48, 60, 24), "[ce]Gp4C", TuneStatus::None},
        {"whole note", Tune().note(0, 60, 96), "c9", TuneStatus::TooLong},
        {"velocity 64", Tune().note(0, 60, 24, 64), "%6C", TuneStatus::None},
        {"tempo 90 first", Tune().tempo(0, 90).note(0, 60, 24), "@90C", TuneStatus::None},
    };
    for (const auto& c : cases) {
        const auto r = c.tune.encode();
        EXPECT_EQ(r.text, c.text) << c.name;
        EXPECT_EQ(r.status, c.status) << c.name;
    }
}

TEST_F(TuneWriterTest, WholeNoteWithLongChordsIsHeld)
{
    const auto r = Tune().note(0, 60, 96).encode(0, true, true);
    EXPECT_EQ(r.text, "[c]$p8p8[c]$");
    EXPECT_EQ(r.status, TuneStatus::None);
}

TEST_F(TuneWriterTest, PitchRange)
{
    const struct {
        int pitch;
        bool upperC;
        const char* text;
        TuneStatus status;
    } cases[] = {
        {47, false, "\\B", TuneStatus::TooLow}, {48, false, "\\C", TuneStatus::None},
        {83, false, "/B", TuneStatus::None},    {84, false, "/C", TuneStatus::TooHigh},
        {84, true, "/B#", TuneStatus::None},    {85, true, "/C#", TuneStatus::TooHigh},
        {85, false, "/C#", TuneStatus::TooHigh},  {127, false, "/G", TuneStatus::TooHigh},
        {0, false, "\\C", TuneStatus::TooLow},
    };
    for (const auto& c : cases) {
        const auto r = Tune().note(0, c.pitch, 24).encode(0, true, false, c.upperC);
        EXPECT_EQ(r.text, c.text) << c.pitch << " " << c.upperC;
        EXPECT_EQ(r.status, c.status) << c.pitch << " " << c.upperC;
    }
    // Lowercase names in the high octave and below the range, too.
    EXPECT_EQ(Tune().note(0, 84, 12).encode().text, "/c");
    EXPECT_EQ(Tune().note(0, 84, 12).encode(0, true, false, true).text, "/b#");
}

TEST_F(TuneWriterTest, TranspositionBelowZeroAndWrapping)
{
    // 60 - 70 = -10: low octave, letter of -10 mod 12 = 2 (d).
    auto r = Tune().note(0, 60, 24).encode(-70);
    EXPECT_EQ(r.text, "\\D");
    EXPECT_EQ(r.status, TuneStatus::TooLow);
    // 1 + INT_MAX wraps to INT_MIN, whose letter is INT_MIN mod 12 = 4 (e).
    r = Tune().note(0, 1, 24).encode(INT_MAX);
    EXPECT_EQ(r.text, "\\E");
    EXPECT_EQ(r.status, TuneStatus::TooLow);
    r = Tune().note(0, 60, 24).encode(12);
    EXPECT_EQ(r.text, "/C");
    EXPECT_EQ(r.status, TuneStatus::None);
}

TEST_F(TuneWriterTest, LengthCorrections)
{
    const struct {
        int length;
        bool longChords;
        const char* text;
        TuneStatus status;
        const char* console;
    } cases[] = {
        {4, false, "c1", TuneStatus::TooShort, "WARN:   Triplets NYI! (found 4)\n"},
        {5, false, "c1", TuneStatus::TooShort, "WARN:   Triplets NYI! (found 5)\n"},
        {8, false, "c1", TuneStatus::None, "WARN:   Triplets NYI! (found 8)\n"},
        {3, false, "c1", TuneStatus::TooShort, ""},
        {0, false, "c1", TuneStatus::TooShort, ""},
        {54, false, "c9", TuneStatus::None, ""},
        {60, false, "c9", TuneStatus::TooLong, ""},
        {60, true, "[c]$p8p[c]$", TuneStatus::None, ""},
        {59, true, "c9", TuneStatus::None, "WARN:   Triplets NYI! (found 59)\n"},
        {57, true, "c9", TuneStatus::None, ""},
        {55, true, "c9", TuneStatus::None, "WARN:   Triplets NYI! (found 55)\n"},
        {56, false, "c9", TuneStatus::TooLong, "WARN:   Triplets NYI! (found 56)\n"},
        {28, false, "C", TuneStatus::None, "WARN:   Triplets NYI! (found 28)\n"},
    };
    for (const auto& c : cases) {
        const auto r = Tune().note(0, 60, c.length).encode(0, true, c.longChords);
        EXPECT_EQ(r.text, c.text) << c.length;
        EXPECT_EQ(r.status, c.status) << c.length;
        EXPECT_EQ(r.console, c.console) << c.length;
    }
}

TEST_F(TuneWriterTest, TripletWithoutTripletGridIsABug)
{
    const auto r = Tune().note(0, 60, 4).encode(0, false);
    EXPECT_EQ(r.console, "FATAL:  BUG! Triplet found! (found 4)\n");
    EXPECT_EQ(r.text, "c1");
    setVerbosity(2);
    EXPECT_EQ(Tune().note(0, 60, 4).encode().console, "");
}

TEST_F(TuneWriterTest, TempoMarks)
{
    const struct {
        const char* name;
        Tune tune;
        const char* text;
        TuneStatus status;
    } cases[] = {
        {"59", Tune().tempo(0, 59).note(0, 60, 24), "@60C", TuneStatus::TempoTooSlow},
        {"60", Tune().tempo(0, 60).note(0, 60, 24), "@60C", TuneStatus::None},
        {"180", Tune().tempo(0, 180).note(0, 60, 24), "@180C", TuneStatus::None},
        {"181", Tune().tempo(0, 181).note(0, 60, 24), "@180C", TuneStatus::TempoTooFast},
        {"120 first", Tune().tempo(0, 120).note(0, 60, 24), "C", TuneStatus::None},
        {"back to 120", Tune().tempo(0, 59).note(0, 60, 24).tempo(24, 120).note(0, 60, 24), "@60C@C",
         TuneStatus::TempoTooSlow},
        {"repeated", Tune().tempo(0, 90).tempo(0, 90).note(0, 60, 24), "@90C", TuneStatus::None},
        {"both bits", Tune().tempo(0, 10).tempo(0, 999).note(0, 60, 24), "@60@180C",
         TuneStatus::TempoTooSlow | TuneStatus::TempoTooFast},
        {"no notes", Tune().tempo(0, 120).volume(0, 50), "", TuneStatus::None},
        {"only tempo", Tune().tempo(0, 100).tempo(24, 100), "@100", TuneStatus::None},
    };
    for (const auto& c : cases) {
        const auto r = c.tune.encode();
        EXPECT_EQ(r.text, c.text) << c.name;
        EXPECT_EQ(r.status, c.status) << c.name;
    }
}

TEST_F(TuneWriterTest, VolumeOfNotes)
{
    const struct {
        const char* name;
        Tune tune;
        const char* text;
    } cases[] = {
        {"6 then 7", Tune().note(0, 60, 24, 60).note(24, 60, 24, 70), "%6C}C"},
        {"7 then 5", Tune().note(0, 60, 24, 70).note(24, 60, 24, 50), "%7C%5C"},
        {"5 then 10", Tune().note(0, 60, 24, 50).note(24, 60, 24, 127), "%5C%C"},
        {"rounding", Tune().note(0, 60, 24, 54).note(24, 60, 24, 55), "%5C}C"},
        {"never 0", Tune().note(0, 60, 24, 1), "%1C"},
        {"channel volume", Tune().volume(0, 50).note(0, 60, 24, 100), "%5C"},
        {"volume 0", Tune().volume(0, 0).note(0, 60, 24, 100), "%1C"},
        {"loud channel", Tune().volume(0, 127).note(0, 60, 24, 127), "C"},
        // Merged channels keep their own channel volumes.
        {"per channel", Tune().volume(0, 50, 3).note(0, 60, 24, 100, 3).note(24, 60, 24, 100, 4), "%5C%C"},
        // Volumes outside the channel table are ignored; such notes use 100.
        {"bad channels", Tune().volume(0, 50, 16).volume(0, 50, -1).note(0, 60, 24, 100, 99), "C"},
        {"negative velocity", Tune().note(0, 60, 24, -100), "%1C"},
        {"huge velocity", Tune().volume(0, INT_MAX).note(0, 60, 24, INT_MAX), "C"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.tune.encode().text, c.text) << c.name;
}

TEST_F(TuneWriterTest, VolumeChangeInsideChordOpensNewGroup)
{
    // Group and single-note volumes are kept apart.
    const auto r = Tune().note(0, 60, 24, 100).note(0, 64, 24, 50).note(0, 67, 24, 50).encode();
    EXPECT_EQ(r.text, "[c][%5e]%5G");
    // A change of length inside a run of simultaneous notes does the same.
    EXPECT_EQ(Tune().note(0, 60, 12).note(0, 64, 24).note(0, 67, 24).encode().text, "[c]2[e]G");
}

TEST_F(TuneWriterTest, RestsBetweenNotes)
{
    // Between notes: a quarter, then the next note 2, 10 and 16 sixteenths after its end.
    EXPECT_EQ(Tune().note(0, 60, 24).note(36, 60, 24).encode().text, "CpC");
    EXPECT_EQ(Tune().note(0, 60, 24).note(84, 60, 24).encode().text, "Cp8pC");
    EXPECT_EQ(Tune().note(0, 60, 24).note(120, 60, 24).encode().text, "Cp8p8C");
    // A distance that is not a whole number of sixteenths is cut down.
    EXPECT_EQ(Tune().note(0, 60, 24).note(35, 60, 24).encode().text, "Cp1C");
}

TEST_F(TuneWriterTest, TempoAndVolumeBetweenNotes)
{
    const struct {
        const char* name;
        Tune tune;
        const char* text;
    } cases[] = {
        {"tempo after the rest", Tune().note(0, 60, 24).tempo(12, 90).note(36, 60, 24), "Cp4@90C"},
        {"volume after the rest", Tune().note(0, 60, 24).volume(12, 50).note(36, 60, 24), "Cp4%5C"},
        {"several between", Tune().note(0, 60, 24).tempo(6, 90).volume(6, 50).tempo(6, 80).note(30, 60, 24),
         "Cp4@90@80%5C"},
        {"tempo before the leading rest", Tune().tempo(24, 90).note(24, 60, 24), "@90p8C"},
        {"volume before the first note", Tune().volume(24, 50).note(24, 60, 24), "p8%5C"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.tune.encode().text, c.text) << c.name;
}

TEST_F(TuneWriterTest, OrderOfSimultaneousNotes)
{
    EXPECT_EQ(Tune().note(0, 60, 48).note(0, 64, 24).note(24, 67, 24).encode().text, "[c]8EG");
    EXPECT_EQ(Tune().note(0, 64, 24).note(0, 60, 48).note(24, 67, 24).encode().text, "[e][c]8p4G");
}

TEST_F(TuneWriterTest, HeldNotes)
{
    const struct {
        const char* name;
        Tune tune;
        const char* text;
    } cases[] = {
        {"under single notes", Tune().note(0, 60, 96).note(0, 64, 24).note(24, 67, 24), "[c]$EGp8[c]$"},
        {"ended inside a gap", Tune().note(0, 60, 72).note(0, 64, 24).note(96, 65, 24), "[c]$Ep8[c]$p4F"},
        {"run out before the gap", Tune().note(0, 60, 60).note(0, 62, 54).note(54, 64, 6).note(18, 65, 24),
         "[c]$d9e1[c]$pF"},
        {"octave marks", Tune().note(0, 48, 60).note(0, 64, 24), "[\\c]$=Ep6[\\c]$"},
        {"two ending together", Tune().note(0, 60, 72).note(0, 64, 72).note(0, 67, 24), "[ce]$Gp8[ce]$"},
        {"ending one after another", Tune().note(0, 60, 96).note(0, 64, 72).note(0, 67, 24),
         "[c]$[e]$Gp8[e]$p4[c]$"},
        {"with a chord", Tune().note(0, 60, 96).note(0, 64, 24).note(0, 67, 24).note(24, 72, 24),
         "[c]$[e]G/Cp8[=c]$"},
        {"nine sixteenths under a held note", Tune().note(0, 60, 96).note(0, 64, 57).note(0, 67, 24),
         "[c]$[e]9Gp8p4[c]$"},
    };
    for (const auto& c : cases) {
        const auto r = c.tune.encode(0, true, true);
        EXPECT_EQ(r.text, c.text) << c.name;
        EXPECT_EQ(r.status, TuneStatus::None) << c.name;
    }
}

TEST_F(TuneWriterTest, StatusIsResetAndEmptyChannelKeepsText)
{
    TuneEncoder encoder;
    Tune loud;
    loud.note(0, 30, 24);
    const std::vector<Element> empty;
    ConsoleCapture capture;
    encoder.encode(empty, 0, true, false, false);
    EXPECT_EQ(encoder.text, "");
    encoder.status = TuneStatus::MacroTooLong;
    encoder.encode(empty, 0, true, false, false);
    EXPECT_EQ(encoder.status, TuneStatus::None);
    encoder.text = "keep";
    encoder.encode(empty, 0, true, false, false);
    EXPECT_EQ(encoder.text, "keep");
    // Elements that write nothing (the default tempo and a volume) keep it too.
    encoder.encode(Tune().tempo(0, 120).volume(0, 50).elements(), 0, true, false, false);
    EXPECT_EQ(encoder.text, "keep");
    EXPECT_EQ(capture.take(), "");
}

TEST_F(TuneWriterTest, HostileValuesStayDefined)
{
    auto r = Tune().note(INT_MIN, 60, INT_MIN).note(INT_MIN, 60, 24).encode();
    EXPECT_EQ(r.status, TuneStatus::TooShort);
    EXPECT_EQ(r.console, "WARN:   Triplets NYI! (found -2147483648)\n");
    // Negative distances put the notes in groups but never rest.
    EXPECT_EQ(r.text, "[c]1C");
    // A leading rest of INT_MAX 24ths is cut before the note is examined.
    r = Tune().note(INT_MAX, 60, INT_MAX).note(INT_MAX, 60, 24).encode(0, true, false);
    EXPECT_EQ(r.status, TuneStatus::MacroTooLong);
    EXPECT_EQ(r.text.size(), 4950000u);
}

// Rests of huge delta times are cut once the text reaches 4,950,000 characters.
TEST_F(TuneWriterTest, TextIsCappedAfterHugeRest)
{
    // About 10^9 sixteenths before a second note that would set TuneStatus::TooLow.
    const auto r = Tune().note(0, 60, 24).volume(2000000000, 100).volume(2000000000, 100)
                       .note(2000000000, 30, 5).note(0, 40, 24).encode();
    ASSERT_EQ(r.text.size(), 4950000u);
    EXPECT_EQ(r.text.substr(0, 7), "Cp8p8p8");
    // "C" and then "p8" tokens: the last one is cut in half.
    EXPECT_EQ(r.text.substr(r.text.size() - 4), "8p8p");
    EXPECT_EQ(r.status, TuneStatus::MacroTooLong);
    EXPECT_EQ(r.console, "ERROR:  Tune is too long! Cut after 4950000 characters.\n");
}

TEST_F(TuneWriterTest, TextIsCappedInLeadingRestAndHeldNotes)
{
    // The leading rest is cut: the note itself is never examined.
    auto r = Tune().volume(2000000000, 100).volume(2000000000, 100).note(2000000000, 30, 5).encode();
    ASSERT_EQ(r.text.size(), 4950000u);
    EXPECT_EQ(r.status, TuneStatus::MacroTooLong);
    EXPECT_EQ(r.console, "ERROR:  Tune is too long! Cut after 4950000 characters.\n");
    // A held note of nearly INT_MAX 24ths is cut at the end of the channel.
    r = Tune().tempo(0, 59).note(0, 60, INT_MAX - 1).encode(0, true, true);
    ASSERT_EQ(r.text.size(), 4950000u);
    EXPECT_EQ(r.text.substr(0, 11), "@60[c]$p8p8");
    EXPECT_EQ(r.status, TuneStatus::MacroTooLong | TuneStatus::TempoTooSlow);
}

} // namespace

namespace {

// A shuffle (quantised starts 0, 16, 24, 40 and 48 24ths, each note 6 long):
// gaps rounded one by one lose time; measured from the grid positions with
// keepInStep they do not. On the sixteenth grid both agree.
TEST_F(TuneWriterTest, KeepInStepMeasuresGapsFromTheGridPositions)
{
    const struct {
        std::vector<int> deltas;
        bool keepInStep;
        const char* text;
    } cases[] = {
        {{0, 16, 8, 16, 8}, false, "c1p1d1e1p1f1g1"},
        {{0, 16, 8, 16, 8}, true, "c1p1d1p1e1p1f1p1g1"},
        {{0, 12, 12, 12, 12}, false, "c1p1d1p1e1p1f1p1g1"},
        {{0, 12, 12, 12, 12}, true, "c1p1d1p1e1p1f1p1g1"},
        // Starts 3, 19, 27, 43, 51: rounded down to 0, 3, 4, 7, 8 sixteenths.
        {{3, 16, 8, 16, 8}, true, "c1pd1e1pf1g1"},
    };
    const int pitches[] = {60, 62, 64, 65, 67};
    for (const auto& c : cases) {
        Tune tune;
        for (std::size_t i = 0; i < c.deltas.size(); ++i)
            tune.note(c.deltas[i], pitches[i], 6);
        TuneEncoder encoder;
        encoder.encode(tune.elements(), TuneOptions{0, true, false, false, c.keepInStep});
        EXPECT_EQ(encoder.text, c.text) << c.keepInStep << " " << c.deltas[0] << "," << c.deltas[1];
    }
}

} // namespace
