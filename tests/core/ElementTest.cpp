#include "core/Element.h"

#include "arrange/Channel.h"
#include "core/Message.h"
#include "core/TimeString.h"
#include "support/Capture.h"

#include <gtest/gtest.h>

#include <climits>

namespace {

TEST(TimeStringTest, WholeQuartersFractionsAndMixed)
{
    struct Case {
        int value, units;
        const char* text;
    };
    const Case cases[] = {
        {0, 480, "  0    "},   {480, 480, "  1    "},   {120, 480, "1/4"},
        {720, 480, "  1+1/2"}, {1000, 480, "  2+1/12"}, {18, 24, "3/4"},
        {30, 24, "  1+1/4"},   {2400, 480, "  5    "},  {48000, 480, "100    "},
        {1, 96, "1/96"},       {0, 24, "  0    "},
    };
    for (const Case& c : cases)
        EXPECT_EQ(timeString(c.value, c.units), c.text) << c.value << "/" << c.units;
}

TEST(TimeStringTest, ExtremeValuesStayDefined)
{
    // Wrapped running times may be negative; nothing may overflow.
    EXPECT_EQ(timeString(INT_MIN, 1), "-2147483648    ");
    EXPECT_EQ(timeString(INT_MAX, 2), "1073741823+1/2");
    EXPECT_EQ(timeString(-6, 24), "1/-4");
}

TEST(ElementFactoryTest, EachKindCarriesItsOwnValues)
{
    const Element note = Element::makeNote(10, 3, 60, 100);
    EXPECT_EQ(note.kind, ElementKind::Note);
    EXPECT_TRUE(note.isNote());
    EXPECT_EQ(note.time, 10);
    EXPECT_EQ(note.channel, 3);
    EXPECT_EQ(note.pitch, 60);
    EXPECT_EQ(note.velocity, 100);
    EXPECT_EQ(note.duration, 0);
    EXPECT_EQ(note.length, 0);
    EXPECT_EQ(note.delta, 0);

    const Element tempo = Element::makeTempo(20, 15, 140);
    EXPECT_EQ(tempo.kind, ElementKind::Tempo);
    EXPECT_FALSE(tempo.isNote());
    EXPECT_EQ(tempo.time, 20);
    EXPECT_EQ(tempo.channel, 15);
    EXPECT_EQ(tempo.bpm, 140);

    const Element volume = Element::makeVolume(30, 2, 90);
    EXPECT_EQ(volume.kind, ElementKind::Volume);
    EXPECT_FALSE(volume.isNote());
    EXPECT_EQ(volume.time, 30);
    EXPECT_EQ(volume.channel, 2);
    EXPECT_EQ(volume.volume, 90);
}

class ElementDumpTest : public ::testing::Test {
protected:
    void SetUp() override { setVerbosity(5); }
    void TearDown() override { setVerbosity(Message::msgLevelDefault); }
};

TEST_F(ElementDumpTest, NoteLineAfterQuantisation)
{
    Element note = Element::makeNote(720, 0, 60, 100);
    note.delta = 12;
    note.duration = 240;
    note.length = 12;
    ConsoleCapture capture;
    note.print(480);
    EXPECT_EQ(capture.take(),
              "Info:   Time   1+1/2 (1/2)Channel 1: Note 60, Velocity 100, Duration 1/2 (1/2)\n");
}

TEST_F(ElementDumpTest, UnquantisedNoteShowsZeroLengthAndNoDelta)
{
    const Element note = Element::makeNote(0, 9, 36, 1);
    ConsoleCapture capture;
    note.print(96);
    EXPECT_EQ(capture.take(), "Info:   Time   0    Channel 10: Note 36, Velocity 1, Duration   0     (  0    )\n");
}

TEST_F(ElementDumpTest, TempoAndVolumeLines)
{
    Element tempo = Element::makeTempo(960, 15, 140);
    tempo.delta = 48;
    const Element volume = Element::makeVolume(1200, 2, 100);
    ConsoleCapture capture;
    tempo.print(480);
    volume.print(480);
    EXPECT_EQ(capture.take(), "Info:   Time   2     (  2    )Channel 16: Tempo 140\n"
                              "Info:   Time   2+1/2Channel 3: Volume 100\n");
}

TEST_F(ElementDumpTest, DeltaBelowOneTickIsNotShown)
{
    // With 12 ticks to the quarter a delta of one 24th is half a tick.
    Element volume = Element::makeVolume(0, 0, 5);
    volume.delta = 1;
    ConsoleCapture capture;
    volume.print(12);
    volume.delta = 2;
    volume.print(12);
    EXPECT_EQ(capture.take(), "Info:   Time   0    Channel 1: Volume 5\n"
                              "Info:   Time   0     (1/12)Channel 1: Volume 5\n");
}

TEST_F(ElementDumpTest, HiddenBelowLevelFive)
{
    setVerbosity(4);
    const Element note = Element::makeNote(0, 0, 60, 64);
    ConsoleCapture capture;
    note.print(96);
    EXPECT_EQ(capture.take(), "");
}

TEST_F(ElementDumpTest, HugeDeltaWrapsInTheTickTest)
{
    // delta x division passes 2^31: the test wraps instead of overflowing.
    Element tempo = Element::makeTempo(0, 15, 120);
    tempo.delta = INT_MAX;
    ConsoleCapture capture;
    tempo.print(480);
    EXPECT_NE(capture.take().find("Tempo 120\n"), std::string::npos);
}

TEST(TempoCopyTest, CopyCarriesItsOwnChannel)
{
    // The per-channel tempo copies are made by the channel.
    Element original = Element::makeTempo(100, 15, 90);
    original.delta = 6;
    Channel channel;
    channel.copyTempo(original, 3);
    ASSERT_EQ(channel.elements.size(), 1u);
    const Element& copy = channel.elements[0];
    EXPECT_EQ(copy.kind, ElementKind::Tempo);
    EXPECT_EQ(copy.time, 100);
    EXPECT_EQ(copy.delta, 6);
    EXPECT_EQ(copy.bpm, 90);
    EXPECT_EQ(copy.channel, 3);
    EXPECT_EQ(original.channel, 15);
}

} // namespace
